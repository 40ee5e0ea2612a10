#include "audio/voice.h"

#include <algorithm>

#include "audio/audio_format.h"

namespace audio {
namespace {

// The most the gain moves in one frame.
constexpr float kRampStep = 1.0f / kRampFrames;

bool OwnedByCommandThread(TakeState s) {
    return s == TakeState::Idle || s == TakeState::Finished;
}

}  // namespace

Voice::Voice(std::unique_ptr<Decoder> decoder, States& states)
    : m_decoder(std::move(decoder)),
      m_scratch(kPrimeFrames * kChannels),
      m_lengthFrames(m_decoder->lengthFrames()),
      m_current(states.current),
      m_takes{Take(states.takes[0]), Take(states.takes[1]), Take(states.takes[2]), Take(states.takes[3])} {
    static_assert(kTakes == 4, "one take per state");
    m_current.store(0, std::memory_order_relaxed);
    for (auto& state : states.takes) state.store(TakeState::Idle, std::memory_order_relaxed);
    // The decoder already stands at the start: prime the first take so play can sound at once.
    std::lock_guard lock(m_decodeMutex);
    fillLocked(m_takes[0], kPrimeFrames);
}

bool Voice::takeIsFree(const Take& take) const {
    return OwnedByCommandThread(take.state.load(std::memory_order_acquire));
}

int Voice::findFreeTake(bool synchronous) {
    const int current = m_current.load(std::memory_order_relaxed);
    for (int k = 0; k < kTakes; ++k) {
        const int index = (current + k) % kTakes;
        if (takeIsFree(m_takes[index])) return index;
    }
    if (!synchronous) return -1;
    // No audio thread runs: end the oldest fade here and now.
    const int index = (current + 1) % kTakes;
    Take& take = m_takes[index];
    take.state.store(TakeState::Idle, std::memory_order_relaxed);
    take.cursor = Cursor{};
    return index;
}

bool Voice::seek(std::int64_t frame, bool synchronous) {
    frame = std::max<std::int64_t>(frame, 0);
    if (m_lengthFrames > 0) frame = std::min(frame, m_lengthFrames);
    std::lock_guard lock(m_decodeMutex);
    // Every take still sounds (the sound was moved several times within what the output has
    // queued): nothing changes and the sound plays on. Waiting here would hold the decoder off
    // every voice's ring, and the command thread off the window, for as long as the output lags.
    const int index = findFreeTake(synchronous);
    if (index < 0) return false;
    Take& current = m_takes[m_current.load(std::memory_order_relaxed)];
    TakeState playing = TakeState::Playing;
    current.state.compare_exchange_strong(playing, TakeState::Stopping, std::memory_order_acq_rel);

    Take& take = m_takes[index];
    take.ring.reset();
    take.sourceEnded.store(false, std::memory_order_relaxed);
    take.framesPlayed.store(0, std::memory_order_relaxed);
    take.startFrame = frame;
    // New contents: whatever cursor the audio thread kept or saved for this take is void.
    take.generation.fetch_add(1, std::memory_order_relaxed);
    take.state.store(TakeState::Idle, std::memory_order_release);
    if (m_decoder->seek(frame)) {
        fillLocked(take, kPrimeFrames);
    } else {
        take.sourceEnded.store(true, std::memory_order_release);  // unseekable: nothing more to play
    }
    m_current.store(index, std::memory_order_release);
    return true;
}

void Voice::play() {
    Take& take = m_takes[m_current.load(std::memory_order_acquire)];
    TakeState state = take.state.load(std::memory_order_acquire);
    if (state == TakeState::Playing || state == TakeState::Finished) return;
    if (state == TakeState::Stopping &&
        take.state.compare_exchange_strong(state, TakeState::Playing, std::memory_order_acq_rel)) {
        return;  // still fading: the audio thread ramps it back up without a gap
    }
    // Idle: at the end already, play finishes at once.
    const bool atEnd = take.sourceEnded.load(std::memory_order_acquire) && take.ring.readable() == 0;
    take.state.store(atEnd ? TakeState::Finished : TakeState::Playing, std::memory_order_release);
}

void Voice::stop() {
    Take& take = m_takes[m_current.load(std::memory_order_acquire)];
    TakeState playing = TakeState::Playing;
    take.state.compare_exchange_strong(playing, TakeState::Stopping, std::memory_order_acq_rel);
}

bool Voice::isPlaying() const {
    const Take& take = m_takes[m_current.load(std::memory_order_acquire)];
    return take.state.load(std::memory_order_acquire) == TakeState::Playing;
}

std::int64_t Voice::positionFrames() const {
    const Take& take = m_takes[m_current.load(std::memory_order_acquire)];
    if (take.state.load(std::memory_order_acquire) == TakeState::Finished && m_lengthFrames > 0) {
        return m_lengthFrames;
    }
    const std::int64_t position = take.startFrame + take.framesPlayed.load(std::memory_order_relaxed);
    return m_lengthFrames > 0 ? std::min(position, m_lengthFrames) : position;
}

void Voice::requestClose() {
    m_closing.store(true, std::memory_order_release);
    for (Take& take : m_takes) {
        TakeState playing = TakeState::Playing;
        take.state.compare_exchange_strong(playing, TakeState::Stopping, std::memory_order_acq_rel);
    }
}

bool Voice::silent() const {
    return std::all_of(m_takes.begin(), m_takes.end(), [this](const Take& t) { return takeIsFree(t); });
}

std::size_t Voice::fill(std::size_t target) {
    if (m_closing.load(std::memory_order_acquire)) return 0;
    std::lock_guard lock(m_decodeMutex);
    Take& take = m_takes[m_current.load(std::memory_order_relaxed)];
    // An idle take keeps only its primed start; decoding further waits until it plays.
    if (take.state.load(std::memory_order_acquire) != TakeState::Playing) return 0;
    return fillLocked(take, target);
}

bool Voice::wantsDecoding() const {
    if (m_closing.load(std::memory_order_acquire)) return false;
    const Take& take = m_takes[m_current.load(std::memory_order_acquire)];
    return take.state.load(std::memory_order_acquire) == TakeState::Playing &&
           !take.sourceEnded.load(std::memory_order_acquire);
}

std::size_t Voice::fillLocked(Take& take, std::size_t target) {
    std::size_t decoded = 0;
    while (!take.sourceEnded.load(std::memory_order_relaxed)) {
        const std::size_t have = take.ring.readable();
        if (have >= target) break;
        const std::size_t want = std::min({target - have, take.ring.writable(), kPrimeFrames});
        if (want == 0) break;
        const std::size_t got = m_decoder->read(m_scratch.data(), want);
        take.ring.write(m_scratch.data(), got);
        decoded += got;
        if (got < want) take.sourceEnded.store(true, std::memory_order_release);
    }
    return decoded;
}

void Voice::saveCursors(std::uint64_t block) {
    const std::size_t slot = block % kHistory;
    for (Take& take : m_takes) {
        take.history[slot].cursor = take.cursor;
        take.history[slot].block = block;
    }
}

void Voice::restoreCursors(std::uint64_t block) {
    const std::size_t slot = block % kHistory;
    for (Take& take : m_takes) {
        // An idle or finished take belongs to the command thread, which may be refilling it.
        if (OwnedByCommandThread(take.state.load(std::memory_order_acquire))) continue;
        const std::uint64_t generation = take.generation.load(std::memory_order_acquire);
        // Contents refilled since that block, or a voice opened after it, had not been heard yet.
        const Take::Saved& at = take.history[slot];
        const bool saved = at.block == block && at.cursor.generation == generation;
        take.cursor = saved ? at.cursor : Cursor{};
        take.cursor.generation = generation;
        if (take.published && take.publishedGeneration == generation && take.cursor.ending != TakeState::Playing &&
            take.cursor.endBlock <= take.publishedEndBlock) {
            // Saved before its ending was published (and the take played again since): settled as then.
            take.cursor.ending = TakeState::Playing;
            take.cursor.active = false;
        }
        take.ring.setReadHint(take.cursor.read);
        take.framesPlayed.store(take.cursor.framesPlayed, std::memory_order_relaxed);
    }
}

void Voice::publishEnding(Take& take) {
    Cursor& cursor = take.cursor;
    take.ring.release(cursor.read);  // while the take is still ours
    const TakeState ending = cursor.ending;
    const std::uint64_t endBlock = cursor.endBlock;
    cursor.ending = TakeState::Playing;
    cursor.active = false;  // played again, now or later, it starts at its level as it would from idle
    TakeState expected = ending == TakeState::Finished ? TakeState::Playing : TakeState::Stopping;
    if (take.state.compare_exchange_strong(expected, ending, std::memory_order_acq_rel) ||
        // Stopped after it had run out: an exhausted take that was stopping returns to idle.
        (expected == TakeState::Stopping &&
         take.state.compare_exchange_strong(expected, TakeState::Idle, std::memory_order_acq_rel))) {
        take.published = true;
        take.publishedGeneration = cursor.generation;
        take.publishedEndBlock = endBlock;
    }
    // Otherwise a play came in after the fade: the take carries on from where the fade ended.
}

void Voice::commit(std::uint64_t block, bool current) {
    const std::size_t slot = block % kHistory;
    for (Take& take : m_takes) {
        if (OwnedByCommandThread(take.state.load(std::memory_order_acquire))) continue;
        const std::uint64_t generation = take.generation.load(std::memory_order_acquire);
        if (take.cursor.generation != generation) continue;  // new contents, not heard yet
        if (current) {
            take.ring.release(take.cursor.read);
        } else if (take.history[slot].block == block && take.history[slot].cursor.generation == generation) {
            take.ring.release(take.history[slot].cursor.read);
        }
        if (take.cursor.ending != TakeState::Playing && take.cursor.endBlock < block) publishEnding(take);
    }
}

int Voice::mix(float* out, int frames, std::uint64_t block) {
    const float volume = static_cast<float>(m_volume.load(std::memory_order_relaxed)) / 1000.0f;
    int underruns = 0;
    for (Take& take : m_takes) {
        const std::uint64_t generation = take.generation.load(std::memory_order_acquire);
        const TakeState state = take.state.load(std::memory_order_acquire);
        if (take.cursor.generation != generation) {
            if (OwnedByCommandThread(state)) continue;  // being refilled: not ours to touch yet
            take.cursor = Cursor{};                     // new contents, heard from their first frame
            take.cursor.generation = generation;
        }
        if (state != TakeState::Playing && state != TakeState::Stopping) continue;
        Cursor& cursor = take.cursor;
        if (cursor.ending == TakeState::Finished) continue;  // run out; waits to be published
        const bool stopping = state == TakeState::Stopping;
        if (cursor.ending == TakeState::Idle) {
            if (stopping) continue;  // faded; waits to be published
            // Play came in after the fade had ended, though before the end was committed: heard from
            // this block on, it starts at its level as it would from idle.
            cursor.ending = TakeState::Playing;
            cursor.active = false;
        }
        if (!mixTake(take, out, frames, stopping ? 0.0f : volume, stopping, block)) ++underruns;
    }
    return underruns;
}

std::int64_t Voice::decodedAhead() const {
    std::int64_t ahead = INT64_MAX;
    for (const Take& take : m_takes) {
        if (take.state.load(std::memory_order_acquire) != TakeState::Playing) continue;  // a fade ends in ms
        if (take.sourceEnded.load(std::memory_order_acquire)) continue;                  // all of it is there
        const bool same = take.cursor.generation == take.generation.load(std::memory_order_acquire);
        if (same && take.cursor.ending == TakeState::Finished) continue;
        ahead = std::min(ahead, static_cast<std::int64_t>(take.ring.readableFrom(same ? take.cursor.read : 0)));
    }
    return ahead;
}

bool Voice::sounding() const {
    for (const Take& take : m_takes) {
        const TakeState state = take.state.load(std::memory_order_acquire);
        if (state != TakeState::Playing && state != TakeState::Stopping) continue;
        if (take.cursor.generation != take.generation.load(std::memory_order_acquire)) return true;
        if (take.cursor.ending == TakeState::Playing) return true;
        // Played again after its fade had ended: heard from the next block on.
        if (take.cursor.ending == TakeState::Idle && state == TakeState::Playing) return true;
    }
    return false;
}

// Returns false on an underrun (the ring ran dry before the end of the sound).
bool Voice::mixTake(Take& take, float* out, int frames, float target, bool stopping, std::uint64_t block) {
    Cursor& cursor = take.cursor;
    if (!cursor.active) {
        // A take that starts playing starts at its level, so its first frame is heard in full.
        cursor.active = true;
        cursor.gain = target;
    }
    const float* first = nullptr;
    const float* second = nullptr;
    std::size_t firstCount = 0;
    const std::size_t available =
        take.ring.peek(cursor.read, static_cast<std::size_t>(frames), first, firstCount, second);
    float gain = cursor.gain;
    std::size_t used = 0;
    for (; used < available; ++used) {
        if (stopping && gain == 0.0f) break;  // the fade-out is complete: keep the rest for later
        gain += std::clamp(target - gain, -kRampStep, kRampStep);
        const float* frame = used < firstCount ? first + used * 2 : second + (used - firstCount) * 2;
        out[used * 2] += frame[0] * gain;
        out[used * 2 + 1] += frame[1] * gain;
    }
    cursor.gain = gain;
    cursor.read += used;
    cursor.framesPlayed += static_cast<std::int64_t>(used);
    take.ring.setReadHint(cursor.read);
    take.framesPlayed.store(cursor.framesPlayed, std::memory_order_relaxed);

    const bool ended = take.sourceEnded.load(std::memory_order_acquire) && take.ring.readableFrom(cursor.read) == 0;
    if (ended || (stopping && gain == 0.0f)) {
        cursor.ending = ended ? TakeState::Finished : TakeState::Idle;
        cursor.endBlock = block;
        return true;
    }
    return used == static_cast<std::size_t>(frames) || stopping;
}

}  // namespace audio
