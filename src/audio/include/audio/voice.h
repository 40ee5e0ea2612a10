#pragma once
// One open sound: its decoder, its level and up to four "takes" (continuous stretches of
// playback, each with its own ring).
//
// Why takes: a seek must start the new position at once, while the audio thread may still be
// fading the old one out and reading its ring. Rather than wait for the fade, the seek fills a
// different take that the audio thread is not touching; the old take finishes its fade alone.
//
// Why cursors and history: an output may keep a fifth of a second queued at the sound server
// and, when a command arrives, render that stretch again from just ahead of what is being heard.
// So everything the audio thread changes while it mixes a take (read position, gain, whether it
// has run out) lives in a small cursor, saved at the start of every block; going back to a block
// restores the saved cursors. A take's run-out or end of fade is only *noted* in its cursor and
// published to the command thread (state Finished or Idle) once the block is committed, i.e.
// will never be rendered again; until then the take's frames and state stay as they were.
//
// Who touches what:
//  - command thread (under the engine's command mutex): seek/play/stop/close/setVolume, and it
//    may reset a take only while that take is Idle or Finished (the audio thread then ignores it);
//  - decoder thread: fill(), under m_decodeMutex, which seek() also takes;
//  - audio thread: mix(), saveCursors(), restoreCursors(), commit(); it moves takes from
//    Playing/Stopping to Finished/Idle and never locks, allocates or blocks.
//
// A take's state (TakeState, shared) and its cursor's `ending` (audio thread only), step by step:
//
//   state      ending    event                        who      next state / ending
//   ---------  --------  ---------------------------  -------  -------------------------------------
//   Idle       -         seek refills it              command  Idle; generation+1, cursor void
//   Idle       -         play                         command  Playing (Finished when at the end)
//   Playing    Playing   mix runs out of sound        audio    Playing / Finished, endBlock noted
//   Playing    Playing   stop, seek, close            command  Stopping
//   Stopping   Playing   mix fades to zero            audio    Stopping / Idle, endBlock noted
//   Stopping   any       play                         command  Playing (ramps back up, no gap)
//   Playing    Idle      mix (play came after fade)   audio    Playing / Playing, heard from its level
//   Playing    Finished  commit past endBlock         audio    Finished / Playing (published)
//   Stopping   Idle      commit past endBlock         audio    Idle / Playing (published)
//   Stopping   Finished  commit past endBlock         audio    Idle / Playing (run out, then stopped)
//   Playing    Idle      commit past endBlock         audio    Playing / Playing (play came after fade)
//   Stopping   any       seek, no take free, offline  command  Idle, cursor void (no audio thread runs)
//   any        any       restore to a saved block     audio    ending as saved, unless published since
//   Finished   -         seek refills it              command  Idle; generation+1, cursor void
//
// A state change by the audio thread is a compare-and-swap from the state it read, so a command
// that got in first wins: a play during a fade keeps the take Playing. The command thread only
// resets a take it owns (Idle or Finished), bumping its generation; the audio thread drops any
// cursor of an older generation before it mixes the take.
#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "audio/decoder.h"
#include "audio/frame_ring.h"

namespace audio {

enum class TakeState : int {
    Idle,      // not played; the command thread owns it
    Playing,   // the audio thread plays it
    Stopping,  // the audio thread fades it out, then makes it Idle
    Finished,  // its last frame has been played; the command thread owns it
};

class Voice {
public:
    // Ring size per take and how full the decoder keeps the current one.
    static constexpr std::size_t kRingFrames = 32768;  // ~680 ms: the fill target and what is queued at a server
    static constexpr std::size_t kFillTarget = 12288;  // ~256 ms of cover against a busy machine
    static constexpr std::size_t kPrimeFrames = 4096;  // ~85 ms, decoded before seek/open return
    static constexpr int kTakes = 4;
    // Blocks whose starting cursors are kept: how far back a stretch can be rendered again.
    static constexpr int kHistory = 256;

    // Which take is current and how each take stands: what the command thread asks of a voice
    // most often (whether it plays, ten times a second for every slot). The engine keeps these
    // few bytes of all its voices together, so asking touches none of the voices themselves.
    struct States {
        std::atomic<int> current{0};  // written by the command thread under the voice's decode mutex
        std::array<std::atomic<TakeState>, kTakes> takes{};
        bool playing() const {
            return takes[current.load(std::memory_order_acquire)].load(std::memory_order_acquire) == TakeState::Playing;
        }
    };

    // `states` outlives the voice and is its alone while it lives; it is reset here.
    Voice(std::unique_ptr<Decoder> decoder, States& states);

    std::int64_t lengthFrames() const { return m_lengthFrames; }

    // Command thread. The `synchronous` flag says no audio thread runs concurrently (offline
    // rendering); then a take still fading may be taken back at once. Otherwise, when every take
    // is still sounding, it returns false at once and changes nothing.
    bool seek(std::int64_t frame, bool synchronous);
    void play();
    void stop();
    bool isPlaying() const;
    std::int64_t positionFrames() const;
    void setVolume(int level) { m_volume.store(level, std::memory_order_relaxed); }
    int volume() const { return m_volume.load(std::memory_order_relaxed); }
    // Close: stop and let the audio thread drop the voice once it is silent.
    void requestClose();
    bool closeRequested() const { return m_closing.load(std::memory_order_acquire); }
    // True once no take of a closing voice sounds or can sound again.
    bool silent() const;

    // Decoder thread (or the offline renderer): tops the current take's ring up to `target`
    // frames ahead of rendering. Returns the frames decoded.
    std::size_t fill(std::size_t target);
    // Any thread: whether the current take plays with more of its sound left to decode.
    bool wantsDecoding() const;

    // Audio thread. `block` numbers the engine's blocks; mix() adds `frames` frames (≤ the engine's
    // block) of this voice into `out` and returns the number of underruns (0 or more).
    void saveCursors(std::uint64_t block);
    void restoreCursors(std::uint64_t block);
    int mix(float* out, int frames, std::uint64_t block);
    // Blocks before `block` will never be rendered again: their frames are given back to the
    // decoder and the runs-out and fades they hold are published. `current` says `block` is the
    // one about to be rendered (its cursors are the live ones, not saved yet).
    void commit(std::uint64_t block, bool current);
    // Frames the sounding takes can give from their render positions before one runs dry.
    std::int64_t decodedAhead() const;
    // Whether a take would add anything to the next block: one that plays or fades and has not run
    // out or faded yet, or new contents about to be heard.
    bool sounding() const;

private:
    // What the audio thread knows of a take. Audio thread only.
    struct Cursor {
        std::uint64_t generation = 0;  // of the take's contents this cursor belongs to
        std::uint64_t read = 0;        // ring position of the next frame
        std::int64_t framesPlayed = 0;
        float gain = 0.0f;
        bool active = false;                    // false until the take is heard: it then starts at its level
        TakeState ending = TakeState::Playing;  // Finished/Idle once run out/faded, until published
        std::uint64_t endBlock = 0;
    };
    struct Take {
        explicit Take(std::atomic<TakeState>& takeState) : ring(kRingFrames), state(takeState) {}
        FrameRing ring;                             // producer: decode-mutex holder; consumer: audio thread
        std::atomic<TakeState>& state;              // in the voice's States
        std::atomic<bool> sourceEnded{false};       // set by the producer after the last frame
        std::atomic<std::int64_t> framesPlayed{0};  // published by the audio thread
        std::atomic<std::uint64_t> generation{0};   // bumped by the command thread when it refills the take
        std::int64_t startFrame = 0;                // command thread, only while the take is idle
        Cursor cursor;                              // audio thread
        // Audio thread: the last ending published, so a cursor saved before it can be settled alike.
        std::uint64_t publishedGeneration = 0;
        std::uint64_t publishedEndBlock = 0;
        bool published = false;
        // Audio thread: the cursor at the start of each recent block. Kept apart from the take, so
        // that what the command thread reads of a voice (its state, ten times a second for each
        // slot) lies in a line or two instead of across pages.
        struct Saved {
            Cursor cursor;
            std::uint64_t block = 0;
        };
        std::unique_ptr<Saved[]> history = std::make_unique<Saved[]>(kHistory);
    };

    bool takeIsFree(const Take& take) const;
    int findFreeTake(bool synchronous);
    std::size_t fillLocked(Take& take, std::size_t target);
    bool mixTake(Take& take, float* out, int frames, float targetGain, bool stopping, std::uint64_t block);
    void publishEnding(Take& take);

    std::mutex m_decodeMutex;            // decoder, scratch and which take is fed
    std::unique_ptr<Decoder> m_decoder;  // guarded by m_decodeMutex
    std::vector<float> m_scratch;        // guarded by m_decodeMutex
    const std::int64_t m_lengthFrames;
    std::atomic<int>& m_current;  // in the voice's States
    std::array<Take, kTakes> m_takes;
    std::atomic<int> m_volume{1000};  // 0..1000, command thread writes, audio thread reads
    std::atomic<bool> m_closing{false};
};

}  // namespace audio
