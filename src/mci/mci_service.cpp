#include "mci/mci_service.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstring>
#include <filesystem>
#include <string_view>

#include "command_parser.h"
#include "mci/mci_errors.h"

namespace mci {
namespace {

using audio::Engine;

// Extensions a device opened without a type is recognised by.
constexpr std::array<std::string_view, 16> kKnownExtensions = {".wav",  ".mp3",  ".ogg", ".oga", ".opus", ".flac",
                                                               ".aif",  ".aiff", ".m4a", ".mp4", ".mov",  ".mkv",
                                                               ".webm", ".wma",  ".asf", ".aac"};

void WriteReply(std::string_view text, char* reply, std::uint32_t replySize) {
    if (reply == nullptr || replySize == 0) return;
    const std::size_t n = std::min<std::size_t>(text.size(), replySize - 1);
    std::memcpy(reply, text.data(), n);
    reply[n] = '\0';
}

bool HasKnownExtension(const std::string& path) {
    const std::u8string utf8(path.begin(), path.end());
    const std::u8string ext = std::filesystem::path(utf8).extension().u8string();
    const std::string folded = FoldCase(std::string(ext.begin(), ext.end()));
    return std::find(kKnownExtensions.begin(), kKnownExtensions.end(), folded) != kKnownExtensions.end();
}

std::atomic<Service*> g_installed{nullptr};

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// Reads the next word of `text` from `at` on (after blanks); empty at the end.
std::string_view NextWord(std::string_view text, std::size_t& at) {
    while (at < text.size() && IsBlank(text[at])) ++at;
    const std::size_t start = at;
    while (at < text.size() && !IsBlank(text[at])) ++at;
    return text.substr(start, at - start);
}

bool SameLetters(std::string_view word, std::string_view keyword) {
    if (word.size() != keyword.size()) return false;
    for (std::size_t i = 0; i < word.size(); ++i) {
        const char c = word[i] >= 'A' && word[i] <= 'Z' ? static_cast<char>(word[i] - 'A' + 'a') : word[i];
        if (c != keyword[i]) return false;
    }
    return true;
}

// The board asks every slot with a sound for its mode ten times a second. That one command,
// `status NAME mode` with NAME unquoted, is recognised here without splitting it into words; it
// then means exactly what the full parse would make of it.
bool IsModeQuery(std::string_view command, std::string_view& name) {
    std::size_t at = 0;
    if (!SameLetters(NextWord(command, at), "status")) return false;
    name = NextWord(command, at);
    if (name.empty() || name.front() == '"') return false;
    const std::string_view keyword = NextWord(command, at);
    // A quote inside a word only matters at its start, so "mode" and the end settle it.
    return SameLetters(keyword, "mode") && NextWord(command, at).empty();
}

const char* ErrorMeaning(std::uint32_t code) {
    switch (code) {
        case kOk:
            return "The command succeeded";
        case kErrUnrecognizedKeyword:
            return "A word of the command is not understood";
        case kErrUnrecognizedCommand:
            return "The command is not understood";
        case kErrInvalidDeviceName:
            return "No device is open under that name, or the device type is unknown";
        case kErrMissingCommandString:
            return "No command was given";
        case kErrBadInteger:
            return "A number of the command is not a whole number";
        case kErrMissingParameter:
            return "The command lacks a value";
        case kErrFileNotFound:
            return "The file was not found";
        case kErrNoFreeVoice:
            return "Every device is in use: close one first";
        case kErrNoFreeTake:
            return "The device cannot move yet: it is still ending the sound where it was; try again";
        case kErrInternal:
            return "The file holds no sound that can be played";
        case kErrExtensionNotFound:
            return "The file name's extension says no known type";
        case kErrOutOfRange:
            return "A value of the command is out of range";
        case kErrDuplicateAlias:
            return "A device is already open under that name";
        case kErrMissingDeviceName:
            return "The command names no device";
        case kErrNoClosingQuote:
            return "A quoted name has no closing quotation mark";
        case kErrExtraCharacters:
            return "The command goes on after its end";
        default:
            return nullptr;
    }
}

}  // namespace

Service::Service(OutputKind output) : m_engine(std::make_unique<Engine>(output)) {}
Service::Service(std::unique_ptr<audio::Engine> engine) : m_engine(std::move(engine)) {}
Service::~Service() = default;

std::uint32_t Service::send(const char* command, char* reply, std::uint32_t replySize) {
    if (reply != nullptr && replySize > 0) reply[0] = '\0';
    {
        std::lock_guard lock(m_mutex);
        m_lastOpenError = kOk;  // an open that fails now sets it again
    }
    if (command == nullptr) return kErrMissingCommandString;
    if (std::string_view name; IsModeQuery(command, name)) return modeQuery(name, reply, replySize);
    std::vector<Word> words;
    if (const std::uint32_t rc = SplitWords(command, words); rc != kOk) return rc;
    if (words.empty()) return kErrMissingCommandString;

    const std::string verb = words[0].quoted ? std::string() : FoldCase(words[0].text);
    const bool known = verb == "open" || verb == "close" || verb == "play" || verb == "stop" || verb == "seek" ||
                       verb == "status" || verb == "setaudio";
    if (!known) return kErrUnrecognizedCommand;
    if (words.size() < 2) return kErrMissingDeviceName;

    std::lock_guard lock(m_mutex);
    if (verb == "open") return open(words);

    const std::string name = FoldCase(words[1].text);
    if (name == "all" && !words[1].quoted && (verb == "close" || verb == "stop")) {
        if (words.size() > 2) return kErrUnrecognizedKeyword;
        return closeOrStopAll(verb == "close");
    }
    const auto alias = m_aliases.find(name);
    if (alias == m_aliases.end()) return kErrInvalidDeviceName;
    const Engine::VoiceId id = alias->second;

    if (verb == "seek") return seek(id, words);
    if (verb == "status") {
        std::string text;
        const std::uint32_t rc = status(id, words, text);
        if (rc == kOk) WriteReply(text, reply, replySize);
        return rc;
    }
    if (verb == "setaudio") return setAudio(id, words);
    if (words.size() > 2) return kErrUnrecognizedKeyword;
    if (verb == "play") {
        m_engine->play(id);
    } else if (verb == "stop") {
        m_engine->stop(id);
    } else {  // close
        m_engine->close(id);
        m_aliases.erase(alias);
    }
    return kOk;
}

std::uint32_t Service::open(const std::vector<Word>& words) {
    std::string why;
    const std::uint32_t rc = openDevice(words, why);
    if (rc != kOk) {
        m_lastOpenError = rc;
        m_lastOpenReason = why;
    }
    return rc;
}

std::uint32_t Service::openDevice(const std::vector<Word>& words, std::string& why) {
    const std::string& path = words[1].text;
    std::string alias;
    bool typed = false;
    for (std::size_t i = 2; i < words.size(); i += 2) {
        const bool isAlias = IsKeyword(words[i], "alias");
        if (!isAlias && !IsKeyword(words[i], "type")) return kErrUnrecognizedKeyword;
        if (i + 1 >= words.size()) return kErrMissingParameter;
        if (isAlias) {
            alias = words[i + 1].text;
        } else {
            // One device type plays every sound and video file.
            if (FoldCase(words[i + 1].text) != "mpegvideo") return kErrInvalidDeviceName;
            typed = true;
        }
    }
    // Without an alias the device is addressed by the name it was opened with.
    const std::string key = FoldCase(alias.empty() ? path : alias);
    if (key.empty()) return kErrMissingDeviceName;
    if (m_aliases.count(key) != 0) return kErrDuplicateAlias;
    if (!typed && !HasKnownExtension(path)) return kErrExtensionNotFound;

    Engine::VoiceId id = -1;
    switch (m_engine->open(path, id, &why)) {
        case audio::OpenResult::Ok:
            m_aliases.emplace(key, id);
            return kOk;
        case audio::OpenResult::FileNotFound:
            return kErrFileNotFound;
        case audio::OpenResult::TooManyVoices:
            return kErrNoFreeVoice;
        case audio::OpenResult::Unplayable:
            break;
    }
    return kErrInternal;
}

std::uint32_t Service::seek(Engine::VoiceId id, const std::vector<Word>& words) {
    if (words.size() < 3) return kErrMissingParameter;
    if (!IsKeyword(words[2], "to")) return kErrUnrecognizedKeyword;
    if (words.size() < 4) return kErrMissingParameter;
    if (words.size() > 4) return kErrUnrecognizedKeyword;
    std::int64_t ms = 0;
    if (IsKeyword(words[3], "start")) {
        ms = 0;
    } else if (IsKeyword(words[3], "end")) {
        ms = m_engine->lengthMs(id);
    } else if (!ParseInteger(words[3].text, ms)) {
        return kErrBadInteger;
    }
    return m_engine->seek(id, ms) ? kOk : kErrNoFreeTake;
}

std::uint32_t Service::modeQuery(std::string_view name, char* reply, std::uint32_t replySize) {
    const std::string key = FoldCase(name);  // an alias fits the string's own room: no allocation
    std::lock_guard lock(m_mutex);
    const auto alias = m_aliases.find(key);
    if (alias == m_aliases.end()) return kErrInvalidDeviceName;
    WriteReply(m_engine->isPlaying(alias->second) ? "playing" : "stopped", reply, replySize);
    return kOk;
}

std::uint32_t Service::status(Engine::VoiceId id, const std::vector<Word>& words, std::string& reply) {
    if (words.size() < 3) return kErrMissingParameter;
    if (words.size() > 3) return kErrUnrecognizedKeyword;
    if (IsKeyword(words[2], "mode")) {
        reply = m_engine->isPlaying(id) ? "playing" : "stopped";
    } else if (IsKeyword(words[2], "length")) {
        reply = std::to_string(m_engine->lengthMs(id));
    } else if (IsKeyword(words[2], "position")) {
        reply = std::to_string(m_engine->positionMs(id));
    } else if (IsKeyword(words[2], "volume")) {
        reply = std::to_string(m_engine->volume(id));
    } else {
        return kErrUnrecognizedKeyword;
    }
    return kOk;
}

std::uint32_t Service::setAudio(Engine::VoiceId id, const std::vector<Word>& words) {
    if (words.size() < 3) return kErrMissingParameter;
    if (!IsKeyword(words[2], "volume")) return kErrUnrecognizedKeyword;
    if (words.size() < 4) return kErrMissingParameter;
    if (!IsKeyword(words[3], "to")) return kErrUnrecognizedKeyword;
    if (words.size() < 5) return kErrMissingParameter;
    if (words.size() > 5) return kErrUnrecognizedKeyword;
    std::int64_t level = 0;
    if (!ParseInteger(words[4].text, level)) return kErrBadInteger;
    if (level < 0 || level > 1000) return kErrOutOfRange;
    m_engine->setVolume(id, static_cast<int>(level));
    return kOk;
}

std::uint32_t Service::closeOrStopAll(bool close) {
    for (const auto& [name, id] : m_aliases) {
        if (close) {
            m_engine->close(id);
        } else {
            m_engine->stop(id);
        }
    }
    if (close) m_aliases.clear();
    return kOk;
}

bool Service::errorText(std::uint32_t code, char* text, std::uint32_t size) {
    const char* meaning = ErrorMeaning(code);
    if (meaning == nullptr) return false;
    std::string reply = meaning;
    std::lock_guard lock(m_mutex);
    if (code != kOk && code == m_lastOpenError && !m_lastOpenReason.empty()) reply += ": " + m_lastOpenReason;
    WriteReply(reply, text, size);
    return true;
}

std::uint32_t SendString(const char* command, char* reply, std::uint32_t replySize, void* callback) {
    (void)callback;  // completion notification is never asked for
    if (reply != nullptr && replySize > 0) reply[0] = '\0';
    Service* service = g_installed.load(std::memory_order_acquire);
    if (service == nullptr) return kErrInvalidDeviceName;
    return service->send(command, reply, replySize);
}

bool GetErrorString(std::uint32_t code, char* text, std::uint32_t size) {
    Service* service = g_installed.load(std::memory_order_acquire);
    if (service != nullptr) return service->errorText(code, text, size);
    const char* meaning = ErrorMeaning(code);  // no service, so no open to say more of
    if (meaning == nullptr) return false;
    WriteReply(meaning, text, size);
    return true;
}

void InstallService(Service* service) {
    g_installed.store(service, std::memory_order_release);
}

}  // namespace mci
