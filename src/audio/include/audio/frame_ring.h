#pragma once
// A single-producer, single-consumer ring of interleaved stereo frames with fixed capacity.
//
// The producer is whoever holds the owning voice's decode mutex (the decoder thread, or the
// command thread while it seeks); the consumer is the audio thread. The memory is allocated once
// in the constructor, so neither side ever allocates.
//
// The consumer may read the same frames more than once: an output that keeps tens of
// milliseconds queued at the sound server renders a stretch again when a command arrives, so
// the consumer keeps its read position itself and only *releases* frames once they can never be
// rendered again. The producer may overwrite released frames only.
//
// Memory ordering: the producer writes samples, then publishes them with a release store of
// m_written; the consumer acquires m_written before reading them. Symmetrically the consumer
// releases m_released after it is done with the samples, and the producer acquires it before it
// overwrites that space. m_readHint is advisory (how far rendering has got, so the producer knows
// how much is still ahead). All counters only grow; the index into the buffer is counter & mask.
#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

namespace audio {

class FrameRing {
public:
    explicit FrameRing(std::size_t capacityFrames)  // rounded up to a power of two
        : m_capacity(RoundUpToPowerOfTwo(capacityFrames)),
          m_mask(m_capacity - 1),
          m_samples(std::make_unique<float[]>(m_capacity * 2)) {}

    std::size_t capacity() const { return m_capacity; }

    // Producer: frames decoded ahead of the consumer's render position.
    std::size_t readable() const {
        const std::uint64_t written = m_written.load(std::memory_order_acquire);
        const std::uint64_t read = m_readHint.load(std::memory_order_acquire);
        return written > read ? static_cast<std::size_t>(written - read) : 0;
    }
    // Producer: free frames (everything the consumer has released).
    std::size_t writable() const {
        return m_capacity - static_cast<std::size_t>(m_written.load(std::memory_order_relaxed) -
                                                     m_released.load(std::memory_order_acquire));
    }
    // Consumer: frames available from `read` on.
    std::size_t readableFrom(std::uint64_t read) const {
        const std::uint64_t written = m_written.load(std::memory_order_acquire);
        return written > read ? static_cast<std::size_t>(written - read) : 0;
    }

    // Producer only. Returns the frames actually written (less when the ring is full).
    std::size_t write(const float* frames, std::size_t count) {
        const std::uint64_t w = m_written.load(std::memory_order_relaxed);
        count = std::min(count, writable());
        const std::size_t start = static_cast<std::size_t>(w & m_mask);
        const std::size_t first = std::min(count, m_capacity - start);
        std::memcpy(&m_samples[start * 2], frames, first * 2 * sizeof(float));
        std::memcpy(&m_samples[0], frames + first * 2, (count - first) * 2 * sizeof(float));
        m_written.store(w + count, std::memory_order_release);
        return count;
    }

    // Consumer only. Gives up to `count` frames from `read` on as at most two contiguous spans,
    // without copying. `read` must not be below the released position.
    std::size_t peek(std::uint64_t read, std::size_t count, const float*& first, std::size_t& firstCount,
                     const float*& second) const {
        count = std::min(count, readableFrom(read));
        const std::size_t start = static_cast<std::size_t>(read & m_mask);
        firstCount = std::min(count, m_capacity - start);
        first = &m_samples[start * 2];
        second = &m_samples[0];
        return count;
    }
    // Consumer only: how far rendering has got (for the producer's fill level).
    void setReadHint(std::uint64_t read) { m_readHint.store(read, std::memory_order_release); }
    // Consumer only: frames before `read` will never be read again.
    void release(std::uint64_t read) {
        if (read > m_released.load(std::memory_order_relaxed)) m_released.store(read, std::memory_order_release);
    }

    // Empties the ring. Only while the consumer provably does not touch it (its take is idle, as
    // published by an atomic state the consumer released).
    void reset() {
        m_released.store(0, std::memory_order_relaxed);
        m_readHint.store(0, std::memory_order_relaxed);
        m_written.store(0, std::memory_order_release);
    }

private:
    static std::size_t RoundUpToPowerOfTwo(std::size_t n) {
        std::size_t p = 1;
        while (p < n) p <<= 1;
        return p;
    }

    const std::size_t m_capacity;
    const std::size_t m_mask;
    std::unique_ptr<float[]> m_samples;
    std::atomic<std::uint64_t> m_written{0};   // written by the producer, read by both
    std::atomic<std::uint64_t> m_released{0};  // written by the consumer, read by both
    std::atomic<std::uint64_t> m_readHint{0};  // written by the consumer, read by the producer
};

}  // namespace audio
