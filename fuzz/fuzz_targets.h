#pragma once
// What each fuzzer feeds its input to, and what must hold afterwards. The fuzzers abort on a
// broken promise; the regression test replays every kept input through these same functions in
// the ordinary test run, so an input that once crashed or misbehaved keeps being checked.
//
// Each check returns an empty string when everything held, or what went wrong.
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "audio/engine.h"
#include "board/slot_list_file.h"
#include "mci/mci_service.h"

namespace fuzzing {

// ---- Slot list reader -------------------------------------------------------------------

// Whole records, written by the board and read again, come back the same (the index is
// renumbered on writing, the start position keeps 15 significant digits), each in its own
// slot, and a full board reads back as 38 records.
inline std::string CheckListRoundTrip(const std::vector<board::SlotRecord>& records) {
    std::vector<board::SlotRecord> whole;
    for (const board::SlotRecord& r : records) {
        if (r.fieldsRead != 8) break;
        whole.push_back(r);
    }
    const QByteArray written = board::FormatSlotList(whole);
    if (written.size() > board::kMaxListBytes) return {};
    const std::vector<board::SlotRecord> back = board::ParseSlotList(written);
    if (back.size() != 38) return "a written list does not read back as 38 records";
    for (std::size_t i = 0; i < 38; ++i) {
        const board::SlotRecord a = i < whole.size() ? whole[i] : board::SlotRecord{};
        const board::SlotRecord& b = back[i];
        if (a.key != b.key || a.name != b.name || a.file != b.file) return "a text changed on its way through the list";
        if (a.volume != b.volume || a.fade != b.fade || a.exclusive != b.exclusive) return "a number changed on its way through the list";
        const bool sameStart = (std::isnan(a.start) && std::isnan(b.start)) || a.start == b.start ||
                               std::fabs(a.start - b.start) <= 1e-14 * std::fabs(a.start);
        if (!sameStart) return "the start position changed on its way through the list";
    }
    return {};
}

// Any key, name and path in one slot of a board whose other slots hold ordinary records
// survive the list, and leave the others alone.
inline std::string CheckTextsRoundTrip(const QString& key, const QString& name, const QString& file, int slot) {
    std::vector<board::SlotRecord> list;
    for (int i = 0; i < 38; ++i) {
        const QString n = QString::number(i);
        const QString file = QStringLiteral("snd/") + n + QStringLiteral(".wav");
        list.push_back({i, n, QStringLiteral("name ") + n, file, .5, 800, 1, 0, 8});
    }
    board::SlotRecord& own = list[std::size_t(slot)];
    own.key = key, own.name = name, own.file = file;
    return CheckListRoundTrip(list);
}

// A list read from any bytes: at most 38 records, a partial record only at the end, no text
// longer than the reader's bound, and whole records survive being written and read again.
// The same bytes as texts of one record survive the list too.
inline std::string CheckSlotList(const std::uint8_t* data, std::size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const std::vector<board::SlotRecord> records = board::ParseSlotList(bytes);
    if (records.size() > 38) return "more than 38 records";
    for (std::size_t i = 0; i < records.size(); ++i) {
        const board::SlotRecord& r = records[i];
        if (r.fieldsRead < 0 || r.fieldsRead > 8) return "fieldsRead out of 0..8";
        if (r.fieldsRead < 8 && i + 1 != records.size()) return "a partial record before the last";
        for (const QString* text : {&r.key, &r.name, &r.file})
            if (text->size() > board::kMaxTextLength) return "a text field beyond the reader's bound";
    }
    if (std::string problem = CheckListRoundTrip(records); !problem.empty()) return problem;

    // The input's text, cut at NULs into a key, a name and a path, no longer than the reader takes.
    QStringList texts = QString::fromUtf8(bytes).split(QChar(0));
    while (texts.size() < 3) texts << QString();
    for (QString& text : texts) {
        if (text.size() <= board::kMaxTextLength) continue;
        text.truncate(board::kMaxTextLength);
        if (text.back().isHighSurrogate()) text.chop(1);  // no half character
    }
    return CheckTextsRoundTrip(texts[0], texts[1], texts[2], int(size % 38));
}

// ---- Command grammar of the media command service ---------------------------------------

// One Service on an offline engine for the whole fuzzing run, in a folder holding a short
// sound "a.wav", so scripts can open, play, seek and close real devices.
inline void WriteShortWav(const std::filesystem::path& path, int frames) {
    std::ofstream out(path, std::ios::binary);
    const auto put16 = [&](std::uint16_t v) { out.put(char(v & 0xff)).put(char(v >> 8)); };
    const auto put32 = [&](std::uint32_t v) { put16(std::uint16_t(v & 0xffff)); put16(std::uint16_t(v >> 16)); };
    const std::uint32_t dataBytes = std::uint32_t(frames) * 4;
    out.write("RIFF", 4); put32(36 + dataBytes); out.write("WAVEfmt ", 8);
    put32(16); put16(1); put16(2); put32(48000); put32(48000 * 4); put16(4); put16(16);
    out.write("data", 4); put32(dataBytes);
    for (int f = 0; f < frames; ++f) {
        const auto v = std::uint16_t(std::int16_t(8000.0 * std::sin(f * 0.05)));
        put16(v); put16(v);
    }
}

// Runs every line of `script` as one command. The first byte of a line (when it is a digit)
// chooses the reply buffer size, so cut replies are exercised as well. After every command a
// block is rendered: the mixed audio must stay finite and within full scale, and the reply
// must be terminated inside its buffer.
inline std::string CheckCommandScript(mci::Service& service, const std::uint8_t* data, std::size_t size) {
    std::string_view script(reinterpret_cast<const char*>(data), size);
    std::vector<float> block(256 * 2);
    int commands = 0;
    while (!script.empty() && commands < 64) {
        const std::size_t end = std::min(script.find('\n'), script.size());
        std::string command(script.substr(0, end));
        script.remove_prefix(std::min(end + 1, script.size()));
        ++commands;
        std::uint32_t replySize = 128;
        if (!command.empty() && command[0] >= '0' && command[0] <= '9') {
            replySize = std::uint32_t(command[0] - '0');
            command.erase(0, 1);
        }
        // A command string ends at its first NUL, as it would through the C entry point.
        std::vector<char> reply(replySize + 1, '\x7f');
        service.send(command.c_str(), replySize ? reply.data() : nullptr, replySize);
        if (replySize > 0 && std::memchr(reply.data(), '\0', replySize) == nullptr)
            return "reply not terminated inside its buffer";
        if (reply[replySize] != '\x7f') return "reply written past its buffer";
        service.renderOffline(block.data(), 256);
        for (float x : block)
            if (!std::isfinite(x) || x > 1.0f || x < -1.0f) return "mixed sample out of range";
    }
    return {};
}

// Leaves no device open between inputs, so one input cannot change how the next behaves.
inline void ResetService(mci::Service& service) { service.send("close all", nullptr, 0); }

// ---- Decoder ----------------------------------------------------------------------------

// Chooses the extension a user would have given such a file, from its first bytes.
inline const char* ExtensionFor(const std::uint8_t* data, std::size_t size) {
    const auto starts = [&](std::size_t at, const char* magic) {
        const std::size_t n = std::strlen(magic);
        return size >= at + n && std::memcmp(data + at, magic, n) == 0;
    };
    if (starts(0, "RIFF")) return ".wav";
    if (starts(0, "OggS")) return ".ogg";
    if (starts(0, "fLaC")) return ".flac";
    if (starts(4, "ftyp")) return ".m4a";
    return ".mp3";
}

// Writes the bytes as a sound file in `folder`, opens it on an offline engine, plays from the
// start and from the middle and renders a bounded stretch: whatever the bytes, the open either
// fails cleanly or the audio stays finite and within full scale, and the reported position
// never passes the reported length.
inline std::string CheckDecode(const std::filesystem::path& folder, const std::uint8_t* data, std::size_t size) {
    const std::filesystem::path path = folder / (std::string("input") + ExtensionFor(data, size));
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    audio::Engine engine(audio::Engine::OutputKind::Offline);
    audio::Engine::VoiceId id = -1;
    if (engine.open(path.string(), id) != audio::OpenResult::Ok) return {};
    const std::int64_t length = engine.lengthMs(id);
    if (length < 0) return "negative length";

    constexpr std::size_t kFrames = 4096;
    std::vector<float> block(kFrames * 2);
    const auto renderChecked = [&](int blocks) -> std::string {
        for (int b = 0; b < blocks; ++b) {
            engine.renderOffline(block.data(), kFrames);
            for (float x : block)
                if (!std::isfinite(x) || x > 1.0f || x < -1.0f) return "mixed sample out of range";
            if (length > 0 && engine.positionMs(id) > length) return "position beyond the length";
        }
        return {};
    };
    engine.play(id);
    if (std::string e = renderChecked(8); !e.empty()) return e;
    engine.seek(id, length / 2);
    engine.play(id);
    if (std::string e = renderChecked(4); !e.empty()) return e;
    engine.seek(id, length);
    engine.play(id);
    if (std::string e = renderChecked(1); !e.empty()) return e;
    engine.close(id);
    return {};
}

}  // namespace fuzzing
