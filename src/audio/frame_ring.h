#pragma once
// A single-producer, single-consumer ring of interleaved stereo frames with fixed capacity.
//
// The producer is whoever holds the owning voice's decode mutex (the decoder thread, or the
// command thread while it seeks); the consumer is the audio thread. The memory is allocated once
// in the constructor, so neither side ever allocates.
//
// Memory ordering: the producer writes samples, then publishes them with a release store of
// m_written; the consumer acquires m_written before reading them. Symmetrically the consumer
// releases m_read after it is done with the samples, and the producer acquires m_read before it
// overwrites that space. Both counters only grow; the index into the buffer is counter & mask.
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

  // Either side: frames ready to read. Exact for the consumer, a lower bound for the producer.
  std::size_t readable() const {
    return m_written.load(std::memory_order_acquire) - m_read.load(std::memory_order_acquire);
  }
  // Producer: free frames. Exact for the producer, a lower bound for the consumer.
  std::size_t writable() const { return m_capacity - readable(); }

  // Producer only. Returns the frames actually written (less when the ring is full).
  std::size_t write(const float* frames, std::size_t count) {
    const std::uint64_t w = m_written.load(std::memory_order_relaxed);
    count = std::min(count, m_capacity - static_cast<std::size_t>(w - m_read.load(std::memory_order_acquire)));
    const std::size_t start = static_cast<std::size_t>(w & m_mask);
    const std::size_t first = std::min(count, m_capacity - start);
    std::memcpy(&m_samples[start * 2], frames, first * 2 * sizeof(float));
    std::memcpy(&m_samples[0], frames + first * 2, (count - first) * 2 * sizeof(float));
    m_written.store(w + count, std::memory_order_release);
    return count;
  }

  // Consumer only. Gives up to `count` readable frames as at most two contiguous spans, without
  // copying; call consume() when done with them.
  std::size_t peek(std::size_t count, const float*& first, std::size_t& firstCount, const float*& second) const {
    const std::uint64_t r = m_read.load(std::memory_order_relaxed);
    count = std::min(count, static_cast<std::size_t>(m_written.load(std::memory_order_acquire) - r));
    const std::size_t start = static_cast<std::size_t>(r & m_mask);
    firstCount = std::min(count, m_capacity - start);
    first = &m_samples[start * 2];
    second = &m_samples[0];
    return count;
  }
  void consume(std::size_t count) {
    m_read.store(m_read.load(std::memory_order_relaxed) + count, std::memory_order_release);
  }

  // Empties the ring. Only while the consumer provably does not touch it (its take is idle, as
  // published by an atomic state the consumer released).
  void reset() {
    m_read.store(0, std::memory_order_relaxed);
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
  std::atomic<std::uint64_t> m_written{0};  // written by the producer, read by both
  std::atomic<std::uint64_t> m_read{0};     // written by the consumer, read by both
};

}  // namespace audio
