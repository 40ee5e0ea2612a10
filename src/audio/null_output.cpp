#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "audio/audio_format.h"
#include "audio/audio_output.h"
#include "audio/thread_priority.h"

namespace audio {
namespace {

class NullOutput final : public AudioOutput {
public:
    ~NullOutput() override { stop(); }

    void start(RenderSource& source) override {
        stop();
        m_threadId.store(0, std::memory_order_relaxed);
        m_running.store(true, std::memory_order_relaxed);
        m_thread = std::thread([this, &source] { run(source); });
    }

    void stop() override {
        m_running.store(false, std::memory_order_relaxed);
        if (m_thread.joinable()) m_thread.join();
    }

    const char* currentName() const override { return "null"; }

    FeedReport feed() const override {
        return {m_threadId.load(std::memory_order_acquire), false, kBlockFrames, false};
    }

private:
    void run(RenderSource& source) {
        NameThisThread("sorvane-null");
        using Clock = std::chrono::steady_clock;
        const auto blockDuration = std::chrono::nanoseconds(1'000'000'000LL * kBlockFrames / kSampleRate);
        std::vector<float> buffer(kBlockFrames * kChannels);
        auto next = Clock::now();
        while (m_running.load(std::memory_order_relaxed)) {
            source.render(buffer.data(), kBlockFrames);
            source.commit(source.position());
            if (m_threadId.load(std::memory_order_relaxed) == 0)
                m_threadId.store(ThisThreadId(), std::memory_order_release);
            next += blockDuration;
            const auto now = Clock::now();
            // After a long stall (machine suspended, debugger) resume from now instead of racing.
            if (now - next > std::chrono::milliseconds(100)) next = now;
            std::this_thread::sleep_until(next);
        }
    }

    std::atomic<bool> m_running{false};   // written by start/stop, read by the output thread
    std::atomic<ThreadId> m_threadId{0};  // written by the output thread once it has rendered
    std::thread m_thread;
};

}  // namespace

std::unique_ptr<AudioOutput> MakeNullOutput() {
    return std::make_unique<NullOutput>();
}

}  // namespace audio
