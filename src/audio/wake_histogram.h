#pragma once
// How late an output's audio thread woke against the moment it was due: the start of the graph
// cycle that called it, or the end of the wait it asked for; and the latest it was done with
// what it woke for. A thread that wakes late on a busy machine, or takes too long, is how a board
// drops out while the server itself does not; this says how late, from the audio thread's own
// view, in a few counters.
//
// The audio thread records (relaxed atomics, no allocation, no lock); any thread reads, and
// Text() is meant for after the thread has stopped.
#include <algorithm>
#include <array>
#include <atomic>
#include <cstdint>
#include <string>

namespace audio {

class WakeHistogram {
public:
    // Upper bounds of the buckets in microseconds; the last bucket holds everything later.
    static constexpr std::array<std::int64_t, 8> kBoundsUs = {50, 100, 200, 500, 1000, 2000, 5000, 10000};

    // Audio thread. A wake before its time counts as on time.
    void record(std::int64_t lateNs) {
        const std::int64_t lateUs = std::max<std::int64_t>(lateNs, 0) / 1000;
        std::size_t bucket = 0;
        while (bucket < kBoundsUs.size() && lateUs >= kBoundsUs[bucket]) ++bucket;
        m_counts[bucket].fetch_add(1, std::memory_order_relaxed);
        if (lateUs > m_worstUs.load(std::memory_order_relaxed)) m_worstUs.store(lateUs, std::memory_order_relaxed);
    }

    // Audio thread: done with what it woke for, `sinceDueNs` after it was due.
    void recordDone(std::int64_t sinceDueNs) {
        const std::int64_t us = std::max<std::int64_t>(sinceDueNs, 0) / 1000;
        if (us > m_worstDoneUs.load(std::memory_order_relaxed)) m_worstDoneUs.store(us, std::memory_order_relaxed);
    }

    void reset() {
        for (auto& count : m_counts) count.store(0, std::memory_order_relaxed);
        m_worstUs.store(0, std::memory_order_relaxed);
        m_worstDoneUs.store(0, std::memory_order_relaxed);
    }

    std::uint64_t total() const {
        std::uint64_t sum = 0;
        for (const auto& count : m_counts) sum += count.load(std::memory_order_relaxed);
        return sum;
    }
    std::int64_t worstUs() const { return m_worstUs.load(std::memory_order_relaxed); }
    std::int64_t worstDoneUs() const { return m_worstDoneUs.load(std::memory_order_relaxed); }

    // "<50 us 9012, <100 us 31, …, >=10 ms 0; worst 812 us; done by 1430 us at worst"
    std::string text() const {
        std::string out;
        for (std::size_t i = 0; i <= kBoundsUs.size(); ++i) {
            out += i < kBoundsUs.size() ? "<" + Duration(kBoundsUs[i]) : ">=" + Duration(kBoundsUs.back());
            out += " " + std::to_string(m_counts[i].load(std::memory_order_relaxed)) + ", ";
        }
        out.resize(out.size() - 2);
        return out + "; worst " + Duration(worstUs()) + "; done by " + Duration(worstDoneUs()) + " at worst";
    }

private:
    static std::string Duration(std::int64_t us) {
        return us >= 1000 && us % 1000 == 0 ? std::to_string(us / 1000) + " ms" : std::to_string(us) + " us";
    }

    std::array<std::atomic<std::uint64_t>, kBoundsUs.size() + 1> m_counts{};
    std::atomic<std::int64_t> m_worstUs{0};
    std::atomic<std::int64_t> m_worstDoneUs{0};
};

}  // namespace audio
