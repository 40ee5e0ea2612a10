#pragma once
// The audio engine: open sounds (voices), a decoder thread that keeps their rings filled, and a
// mixer that the output's audio thread calls once per block.
//
// Threads:
//  - command thread(s): every public call except the RenderSource ones; they are serialised by
//    m_commandMutex and may block briefly (file I/O, decoding the first block of a seek);
//  - decoder thread: tops up the rings of playing voices (not started for offline engines); while
//    none plays it sleeps until a play wakes it;
//  - audio thread: render(), position(), rewind() and commit(), called by the output. It reads
//    voices through an array of atomic pointers, never locks, allocates, touches files or logs.
//    A closed voice is dropped from that array by the audio thread once it is silent, and freed
//    later on a command thread.
//
// Rendering again: the audio thread notes where every block started and each voice keeps its
// cursors at the start of its recent blocks, so an output that keeps audio queued at a sound
// server can go back to just ahead of what is being heard and render from there; a command that
// came meanwhile is then heard at once instead of behind the queue. Commit says what has been
// heard: nothing before it is rendered again, so its frames and the ends of sounds in it become
// final.
//
// Offline engines have no output and no threads: renderOffline() decodes and mixes on the
// caller's thread, so a test gets exactly the same samples on every run. Commands and
// renderOffline() must then come from one thread at a time.
#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "audio/audio_output.h"
#include "audio/voice.h"

namespace audio {

enum class OpenResult { Ok, FileNotFound, Unplayable, TooManyVoices };

class Engine final : public RenderSource {
public:
    enum class OutputKind {
        Device,   // the desktop's sound server (device_output.cpp), or the null output when none opens
        Null,     // real-time null output, no device
        Offline,  // no output and no threads: the caller renders with renderOffline()
        Caller,   // no output: a thread of the caller's pulls through RenderSource; the decoder runs
    };
    static constexpr int kMaxVoices = 128;
    using VoiceId = int;  // valid from a successful open() until close()

    explicit Engine(OutputKind output);
    ~Engine() override;
    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;

    // Command thread. `path` is UTF-8, relative paths resolve against the current directory.
    // On Ok the voice stands at 0 with its first block decoded and its length known; otherwise
    // `why` (when given) says why it could not be opened.
    OpenResult open(const std::string& path, VoiceId& id, std::string* why = nullptr);
    void close(VoiceId id);
    // Stops the voice if it plays and moves it to `ms` (clamped to 0..length); the first block
    // at the new position is decoded before it returns. False, at once and with nothing changed,
    // for no such voice, or when the voice was moved so often within what the output keeps queued
    // that each of its takes is still sounding.
    bool seek(VoiceId id, std::int64_t ms);
    void play(VoiceId id);  // from the current position; at the end, finishes at once
    void stop(VoiceId id);  // fades out within a few ms and keeps the position
    bool isPlaying(VoiceId id) const;
    std::int64_t lengthMs(VoiceId id) const;
    std::int64_t positionMs(VoiceId id) const;
    void setVolume(VoiceId id, int level);  // 0..1000, linear gain level/1000
    int volume(VoiceId id) const;

    // Any thread: blocks in which a playing voice had no decoded audio ready (silence was played),
    // counted once they are committed: a stretch rendered again is counted as it was finally sent.
    std::uint64_t underrunCount() const { return m_underruns.load(std::memory_order_relaxed); }
    // Which output consumes audio now: "pipewire", "pulseaudio", "sdl", "null" or "offline".
    const char* outputName() const;

    // Offline engines only: renders `frames` frames of interleaved stereo into `out`.
    void renderOffline(float* out, std::size_t frames);
    // Offline engines only: decodes ahead for every playing voice as the decoder thread would, so
    // render() can then be called alone (measuring the mixer apart from decoding).
    void prefetchOffline();

    // RenderSource, audio thread: see audio_output.h.
    void render(float* out, int frames) override;
    std::int64_t position() const override { return m_position; }
    std::int64_t rewind(std::int64_t frame) override;
    void commit(std::int64_t frame) override;
    std::int64_t decodedAhead() const override;
    bool skipQuiet(std::int64_t frames) override;
    std::int64_t quietFrom() const override {
        return m_commands.load(std::memory_order_acquire) == m_quietCommands ? m_quietFrom : -1;
    }

private:
    Voice* voiceFor(VoiceId id) const;  // command thread
    void reapClosedVoices();            // command thread, under m_commandMutex
    void decodeLoop();
    void mixBlock(float* out, int frames);
    std::int64_t blockStart(std::uint64_t block) const;  // audio thread; block ≤ m_nextBlock
    void changed();      // command thread: tell the output something is to be heard differently
    void wakeDecoder();  // command thread: a voice plays, its ring wants filling

    const OutputKind m_outputKind;
    mutable std::mutex m_commandMutex;  // serialises commands
    // By slot, each the voice's there (declared first: it outlives the voices).
    std::array<Voice::States, kMaxVoices> m_states;
    // Owned voices by slot; guarded by m_voicesMutex (command thread writes, decoder thread copies).
    mutable std::mutex m_voicesMutex;
    std::array<std::shared_ptr<Voice>, kMaxVoices> m_owned;
    std::vector<std::pair<int, std::shared_ptr<Voice>>> m_closing;  // command thread only
    // What the audio thread mixes. Written by the command thread (install) and the audio thread
    // (removal of a silent closed voice).
    std::array<std::atomic<Voice*>, kMaxVoices> m_live{};
    std::atomic<std::uint64_t> m_underruns{0};
    // Audio thread only: the stream position, the number of the next block, where recent blocks
    // started, and the first block that may still be rendered again.
    std::int64_t m_position = 0;
    std::uint64_t m_nextBlock = 0;
    std::array<std::int64_t, Voice::kHistory> m_blockStarts{};
    std::array<std::uint32_t, Voice::kHistory> m_blockUnderruns{};
    std::uint64_t m_committedBlock = 0;
    // Audio thread only: while nothing sounds, the position from which nothing has (-1 while
    // something does), the first block rendered since, and the commands counted then. As long as
    // no command comes, silence is rendered without touching a voice, and a rewind into that
    // stretch needs no cursors.
    static constexpr std::uint64_t kNoBlock = UINT64_MAX;
    std::int64_t m_quietFrom = -1;
    std::uint64_t m_quietBlock = 0;
    std::uint64_t m_quietCommands = 0;
    std::uint64_t m_voicesCommittedAt = kNoBlock;  // the block all voices were last committed to, current
    std::atomic<std::uint64_t> m_commands{0};      // counted by changed(), command thread

    std::mutex m_decodeWakeMutex;
    std::condition_variable m_decodeWake;
    bool m_decodeStop = false;  // guarded by m_decodeWakeMutex
    bool m_decodeKick = false;  // guarded by m_decodeWakeMutex: a voice started playing
    std::thread m_decoderThread;
    std::unique_ptr<AudioOutput> m_output;
};

}  // namespace audio
