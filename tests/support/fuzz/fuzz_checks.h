#pragma once
// What each fuzzer feeds its input to and what must hold after: each check returns what went wrong
// or "". The fuzzers abort on it; the regression test replays kept inputs through the same checks.
#include <QStringList>
#include <cstdio>

#include "mci/mci_service.h"
#include "slots/slot_list_file.h"
#include "slots/slot_table.h"
#include "test_media.h"

namespace fuzzing {

inline int Report(const char* what, const std::string& problem) {
    if (!problem.empty()) {
        std::fprintf(stderr, "%s: %s\n", what, problem.c_str());
        std::abort();
    }
    return 0;
}

inline bool OutOfRange(const std::vector<float>& mix) {
    return std::any_of(mix.begin(), mix.end(), [](float x) { return !std::isfinite(x) || std::fabs(x) > 1.0f; });
}

// Whole records, written by the board and read again, come back the same (the index renumbered,
// the start position to 15 significant digits), each in its own slot, and as one record per slot.
inline std::string CheckListRoundTrip(const std::vector<slots::SlotRecord>& records) {
    std::vector<slots::SlotRecord> whole;
    for (std::size_t i = 0; i < records.size() && records[i].fieldsRead == slots::kFieldCount; ++i)
        whole.push_back(records[i]);
    const QByteArray written = slots::FormatSlotList(whole);
    if (written.size() > slots::kMaxListBytes) return {};
    const std::vector<slots::SlotRecord> back = slots::ParseSlotList(written);
    if (back.size() != slots::kSlotCount) return "a written list does not read back as one record per slot";
    for (std::size_t i = 0; i < back.size(); ++i) {
        slots::SlotRecord a = i < whole.size() ? whole[i] : slots::SlotRecord{};
        const slots::SlotRecord& b = back[i];
        const bool sameStart = a.start == b.start || std::fabs(a.start - b.start) <= 1e-14 * std::fabs(a.start);
        if (!sameStart && !(std::isnan(a.start) && std::isnan(b.start))) return "the start position changed";
        a.index = b.index;
        a.start = b.start;
        a.fieldsRead = b.fieldsRead;
        if (!(a == b)) return "a text or number changed on its way through the list";
    }
    return {};
}

// Any key, name and path (quotes, commas and line breaks included) in one slot of a board of
// ordinary records survive the list, and leave the others alone.
inline std::string CheckTextsRoundTrip(const QString& key, const QString& name, const QString& file, int slot) {
    const slots::SlotRecord ordinary{
        .key = "F1", .name = "name", .file = "snd/a.wav", .start = .5, .volume = 800, .fade = 1};
    std::vector<slots::SlotRecord> list(slots::kSlotCount, ordinary);
    list[std::size_t(slot)] = {.key = key, .name = name, .file = file, .start = .5, .volume = 800, .fade = 1};
    return CheckListRoundTrip(list);
}

// A list read from any bytes: at most one record per slot, a partial one only last, no text beyond the reader's bound,
// and whole records survive being written and read again; so do the bytes cut at NULs into key, name and path.
inline std::string CheckSlotList(const std::uint8_t* data, std::size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const std::vector<slots::SlotRecord> records = slots::ParseSlotList(bytes);
    if (records.size() > slots::kSlotCount) return "more records than slots";
    for (std::size_t i = 0; i < records.size(); ++i) {
        const slots::SlotRecord& r = records[i];
        if (r.fieldsRead < 0 || r.fieldsRead > slots::kFieldCount) return "fieldsRead beyond the fields";
        if (r.fieldsRead < slots::kFieldCount && i + 1 != records.size()) return "a partial record before the last";
        if (std::max({r.key.size(), r.name.size(), r.file.size()}) > slots::kMaxTextLength)
            return "a text beyond the bound";
    }
    if (std::string problem = CheckListRoundTrip(records); !problem.empty()) return problem;
    QStringList texts = QString::fromUtf8(bytes).split(QChar(0));
    while (texts.size() < 3) texts << QString();
    for (QString& text : texts)  // no longer than the reader takes, nor ending in half a character
        if (text.size() > slots::kMaxTextLength)
            text.truncate(slots::kMaxTextLength - text[slots::kMaxTextLength - 1].isHighSurrogate());
    return CheckTextsRoundTrip(texts[0], texts[1], texts[2], int(size % slots::kSlotCount));
}

// Every line of `script` (up to 64) is one command to a service with no device open; a leading
// digit is the reply buffer's size, so cut replies are exercised too. The reply must end inside
// its buffer, and the block rendered after each command stay finite and within full scale.
inline std::string CheckCommandScript(mci::Service& service, const std::uint8_t* data, std::size_t size) {
    service.send("close all", nullptr, 0);  // one input cannot change how the next behaves
    std::string_view script(reinterpret_cast<const char*>(data), size);
    std::vector<float> block(256 * 2);
    for (int commands = 0; !script.empty() && commands < 64; ++commands) {
        const std::size_t end = std::min(script.find('\n'), script.size());
        std::string command(script.substr(0, end));
        script.remove_prefix(std::min(end + 1, script.size()));
        const bool sized = !command.empty() && command[0] >= '0' && command[0] <= '9';
        const std::uint32_t replySize = sized ? std::uint32_t(command[0] - '0') : 128;
        std::vector<char> reply(replySize + 1, '\x7f');
        // A command string ends at its first NUL, as it would through the C entry point.
        service.send(command.c_str() + sized, replySize ? reply.data() : nullptr, replySize);
        if (replySize > 0 && std::memchr(reply.data(), '\0', replySize) == nullptr)
            return "reply not terminated inside its buffer";
        if (reply[replySize] != '\x7f') return "reply written past its buffer";
        service.renderOffline(block.data(), 256);
        if (OutOfRange(block)) return "mixed sample out of range";
    }
    return {};
}

// The bytes as a sound file in `folder`, named by its first bytes, played offline from its start, middle and
// end: the open fails cleanly, or the audio stays within full scale and the position within the length.
inline std::string CheckDecode(const std::filesystem::path& folder, const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    std::string extension = bytes.substr(0, 8).find("ftyp") == 4 ? ".m4a" : ".mp3";
    for (const auto& [magic, name] : {std::pair{"RIFF", ".wav"}, {"OggS", ".ogg"}, {"fLaC", ".flac"}})
        if (bytes.starts_with(magic)) extension = name;
    const std::filesystem::path path = folder / ("input" + extension);
    std::ofstream(path, std::ios::binary | std::ios::trunc).write(bytes.data(), static_cast<std::streamsize>(size));
    audio::Engine engine(audio::Engine::OutputKind::Offline);
    audio::Engine::VoiceId id = -1;
    if (engine.open(path.string(), id) != audio::OpenResult::Ok) return {};
    const std::int64_t length = engine.lengthMs(id);
    std::vector<float> block(4096 * 2);
    for (const auto& [at, blocks] : {std::pair<std::int64_t, int>{0, 8}, {length / 2, 4}, {length, 1}}) {
        if (blocks != 8) engine.seek(id, at);  // the first stretch from where the open left it
        engine.play(id);
        for (int b = 0; b < blocks; ++b) {
            engine.renderOffline(block.data(), 4096);
            if (OutOfRange(block)) return "mixed sample out of range";
            if (length < 0 || (length > 0 && engine.positionMs(id) > length)) return "a position beyond the length";
        }
    }
    return {};
}

}  // namespace fuzzing
