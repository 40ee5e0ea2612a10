// The device output: the best way to the desktop's sound that opens, watched.
//
// Preference: a native PipeWire stream (latency set by the quantum we ask for), then a native
// PulseAudio stream (also PipeWire's PulseAudio service), then SDL's drivers. While none plays,
// the null output keeps time, so sounds end when they would have. A watcher thread notices a
// server that went away (the stream fails) and moves to the next best or to the null output,
// and within a second of a server coming back, or a better one appearing, moves there. The
// voices only advance as they are rendered and a connection that goes leaves the engine at what
// was heard, so after a server restart they play on from where they were.
//
// Once an output has started and its audio thread has run, the watcher asks for real-time
// priority for that thread (asking can block, so the thread never asks itself) and prints one
// line on stderr saying what plays and how, e.g.
//   sorvane: output pulseaudio, 48000 Hz, queue 9600 frames, rewinding, SCHED_FIFO 10
// and one more each time the output changes. With SORVANE_WAKE_REPORT=1 in the environment, a
// connection that closes also says how late its feeding thread woke (wake_histogram.h).
#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "audio/audio_format.h"
#include "audio/audio_output.h"
#include "audio/thread_priority.h"
#include "server_connection.h"

namespace audio {
namespace {

using Clock = std::chrono::steady_clock;

constexpr auto kWatchInterval = std::chrono::milliseconds(250);
// While one plays, a better one is looked for each second; while none plays, every tick.
constexpr int kProbeEveryTicks = 4;
// How often the watcher looks whether a new output's audio thread has run yet, and for how long
// before it only looks at its ordinary ticks.
constexpr auto kReportPoll = std::chrono::milliseconds(5);
constexpr auto kReportPollFor = std::chrono::seconds(3);

class DeviceOutput final : public AudioOutput {
public:
    DeviceOutput() : m_connections{MakePipeWireConnection(), MakePulseConnection(), MakeSdlConnection()} {}
    ~DeviceOutput() override { stop(); }

    void start(RenderSource& source) override {
        stop();
        m_source = &source;
        connectBest(kConnectionCount);
        {
            std::lock_guard lock(m_mutex);
            m_watching = true;
        }
        m_watcher = std::thread([this] { watch(); });
    }

    void stop() override {
        {
            std::lock_guard lock(m_mutex);
            if (!m_watching) return;
            m_watching = false;
        }
        m_wake.notify_all();
        m_watcher.join();
        if (ServerConnection* current = m_current.exchange(nullptr)) closeAndReport(*current);
        stopNull();
    }

    const char* currentName() const override {
        const ServerConnection* current = m_current.load(std::memory_order_acquire);
        return current ? current->name() : "null";
    }

    void changed() override {
        // The connections live as long as the output; one being closed ignores the call.
        if (ServerConnection* current = m_current.load(std::memory_order_acquire)) current->changed();
    }

    void commandComing() override {
        if (ServerConnection* current = m_current.load(std::memory_order_acquire)) current->commandComing();
    }

private:
    static constexpr int kConnectionCount = 3;
    static constexpr int kSdl = 2;

    int currentIndex() const {
        const ServerConnection* current = m_current.load(std::memory_order_acquire);
        for (int i = 0; i < kConnectionCount; ++i) {
            if (m_connections[static_cast<std::size_t>(i)].get() == current) return i;
        }
        return kConnectionCount;
    }

    // Tries the connections better than `worseThan` in order; the first that opens plays. Nothing
    // renders while it tries: the null output is stopped first and started again if none opens.
    // Unless `thorough`, a server whose socket is not where it would be is not asked (asking costs
    // a connection attempt); a thorough round asks all. Watcher (or start) thread only.
    bool connectBest(int worseThan, bool thorough = true) {
        for (int i = 0; i < worseThan; ++i) {
            ServerConnection& connection = *m_connections[static_cast<std::size_t>(i)];
            // SDL cannot be asked without opening, and with no device it complains loudly on every
            // try: after the first start it is tried again only if it once played.
            if (i == kSdl && m_started && !m_sdlPlayed) continue;
            if (!thorough && connection.socketMissing()) continue;
            if (!connection.reachable()) continue;
            ServerConnection* previous = m_current.exchange(nullptr);
            if (previous) closeAndReport(*previous);
            stopNull();
            if (connection.open(*m_source)) {
                m_sdlPlayed = m_sdlPlayed || i == kSdl;
                m_current.store(&connection, std::memory_order_release);
                m_started = true;
                reportSoon();
                return true;
            }
            if (previous && previous->open(*m_source)) {  // the better one refused: keep the one we had
                m_current.store(previous, std::memory_order_release);
                m_started = true;
                reportSoon();
                return false;
            }
        }
        m_started = true;
        if (!m_current.load() && !m_null) {
            m_null = MakeNullOutput();
            m_null->start(*m_source);
            reportSoon();
        }
        return false;
    }

    static void closeAndReport(ServerConnection& connection) {
        connection.close();
        const char* wanted = std::getenv("SORVANE_WAKE_REPORT");
        const WakeHistogram* wakes = connection.wakes();
        if (wanted == nullptr || std::strcmp(wanted, "1") != 0 || wakes == nullptr) return;
        const std::string line = std::string("sorvane: wake-ups of the ") + connection.name() + " feeding thread " +
                                 connection.wakesAgainst() + ": " + std::to_string(wakes->total()) + "; " +
                                 wakes->text() + "\n";
        std::fputs(line.c_str(), stderr);
    }

    void reportSoon() {
        m_reportPending = true;
        m_reportPollUntil = Clock::now() + kReportPollFor;
    }

    // Once the output playing now has run: its thread's priority, and the line that says it all.
    // Watcher thread only.
    void reportIfRunning() {
        ServerConnection* current = m_current.load(std::memory_order_acquire);
        const FeedReport feed = current ? current->feed() : m_null ? m_null->feed() : FeedReport{};
        if (feed.thread == 0) return;
        const Grant grant =
            current && !current->schedulesItsOwnThread() ? MakeThreadRealTime(feed.thread) : Grant::None;
        const std::string line = std::string("sorvane: output ") + (current ? current->name() : "null") + ", " +
                                 std::to_string(kSampleRate) + " Hz, " + (feed.queue ? "queue " : "period ") +
                                 std::to_string(feed.frames) + " frames, " +
                                 (feed.rewinding ? "rewinding" : "not rewinding") + ", " +
                                 SchedulingText(feed.thread, grant) + "\n";
        std::fputs(line.c_str(), stderr);
        m_reportPending = false;
    }

    void stopNull() {
        if (!m_null) return;
        m_null->stop();
        m_null.reset();
    }

    void watch() {
        NameThisThread("sorvane-watch");
        auto nextTick = Clock::now() + kWatchInterval;
        int tick = 0;
        std::unique_lock lock(m_mutex);
        while (m_watching) {
            if (m_reportPending) {
                lock.unlock();
                reportIfRunning();
                lock.lock();
            }
            const bool polling = m_reportPending && Clock::now() < m_reportPollUntil;
            if (Clock::now() < nextTick) {
                m_wake.wait_until(lock, polling ? std::min(nextTick, Clock::now() + kReportPoll) : nextTick);
                continue;
            }
            nextTick = Clock::now() + kWatchInterval;
            ++tick;
            lock.unlock();
            ServerConnection* current = m_current.load(std::memory_order_acquire);
            if (current && current->healthy()) current->watch();
            if (current && !current->healthy()) {
                // The server went away: silence keeps time until one answers again.
                m_current.store(nullptr, std::memory_order_release);
                closeAndReport(*current);
                connectBest(kConnectionCount);
            } else if (!current || tick % kProbeEveryTicks == 0) {
                // With none playing, a server whose socket appears is tried at once, any other each second.
                const int index = currentIndex();
                if (index > 0) connectBest(index, tick % kProbeEveryTicks == 0);
            }
            lock.lock();
        }
    }

    const std::array<std::unique_ptr<ServerConnection>, kConnectionCount> m_connections;
    RenderSource* m_source = nullptr;
    std::atomic<ServerConnection*> m_current{nullptr};  // written by the watcher, read by any thread
    // Watcher (or start/stop) thread only.
    std::unique_ptr<AudioOutput> m_null;
    bool m_started = false;
    bool m_sdlPlayed = false;
    bool m_reportPending = false;
    Clock::time_point m_reportPollUntil;
    std::mutex m_mutex;  // guards m_watching
    std::condition_variable m_wake;
    bool m_watching = false;
    std::thread m_watcher;
};

}  // namespace

std::unique_ptr<AudioOutput> MakeDeviceOutput() {
    return std::make_unique<DeviceOutput>();
}

}  // namespace audio
