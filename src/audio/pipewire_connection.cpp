// A PipeWire stream. The graph pulls one quantum at a time from our node on its real-time data
// thread, so what is queued is never more than a quantum or two: latency is the quantum. The
// graph's default quantum (1024 frames, 21 ms) is too slow for a cue, so the stream asks for a
// small one, as audio production clients do; the graph runs at that size only while we play.
//
// Once nothing has sounded for a while the stream goes inactive: the graph stops calling us and,
// with no other client, stops cycling, so a waiting board costs neither it nor the server
// anything. The next command makes it active again; the graph takes it in at its next cycle.
#include <pipewire/pipewire.h>
#include <spa/param/audio/format-utils.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <mutex>
#include <string>

#include "audio/audio_format.h"
#include "audio/thread_priority.h"
#include "server_connection.h"

namespace audio {
namespace {

// The graph's cycle while the board plays: 10.7 ms. Every cycle the real-time thread must be
// woken and answer within it; with 256 frames (5.3 ms) a machine busy in its kernel (a build)
// missed about one cycle in ten seconds, with 512 none was missed, and a key still reaches the
// sink within a few milliseconds.
constexpr int kQuantumFrames = 512;
constexpr int kConnectTimeoutSeconds = 2;
// How long nothing must have sounded before the stream goes inactive.
constexpr std::int64_t kQuietBeforeInactiveFrames = kSampleRate * 2;
constexpr int kStride = static_cast<int>(sizeof(float)) * kChannels;

void InitPipeWire() {
    static std::once_flag once;
    std::call_once(once, [] { pw_init(nullptr, nullptr); });
}

// Whether a PipeWire socket lies where a client looks for one. The device output asks whether
// PipeWire answers every second while it plays elsewhere: a look at the file system is free,
// a connection attempt loads the library's modules.
bool SocketPresent() {
    const char* remote = std::getenv("PIPEWIRE_REMOTE");
    const std::string name = remote != nullptr && *remote != '\0' ? remote : "pipewire-0";
    std::error_code ignored;
    if (name.front() == '/') return std::filesystem::exists(name, ignored);
    for (const char* variable : {"PIPEWIRE_RUNTIME_DIR", "XDG_RUNTIME_DIR", "USERPROFILE"}) {
        const char* dir = std::getenv(variable);
        if (dir == nullptr || *dir == '\0') continue;
        if (std::filesystem::exists(std::filesystem::path(dir) / name, ignored)) return true;
        break;  // the library looks in the first of these that is set
    }
    return std::filesystem::exists(std::filesystem::path("/run/pipewire") / name, ignored);
}

// The clock the graph dates its cycles by.
std::int64_t MonotonicNs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::int64_t>(now.tv_sec) * SPA_NSEC_PER_SEC + now.tv_nsec;
}

pw_properties* ContextProperties() {
    // The client configuration that loads the real-time module: the data thread that calls us
    // gets real-time priority, from RealtimeKit where the process may not take it itself.
    return pw_properties_new(PW_KEY_CONFIG_NAME, "client-rt.conf", nullptr);
}

class PipeWireConnection final : public ServerConnection {
public:
    ~PipeWireConnection() override { close(); }

    const char* name() const override { return "pipewire"; }

    bool reachable() override {
        if (!SocketPresent()) return false;
        InitPipeWire();
        pw_main_loop* loop = pw_main_loop_new(nullptr);
        if (!loop) return false;
        pw_context* context = pw_context_new(pw_main_loop_get_loop(loop), nullptr, 0);
        pw_core* core = context ? pw_context_connect(context, nullptr, 0) : nullptr;
        const bool answered = core != nullptr;
        if (core) pw_core_disconnect(core);
        if (context) pw_context_destroy(context);
        pw_main_loop_destroy(loop);
        return answered;
    }

    bool open(RenderSource& source) override {
        close();
        InitPipeWire();
        m_source = &source;
        m_healthy.store(true);
        m_threadId.store(0, std::memory_order_relaxed);
        m_quietFrames.store(0, std::memory_order_relaxed);
        m_active.store(true);
        m_wakes.reset();
        std::lock_guard state(m_stateMutex);
        m_loop = pw_thread_loop_new("sorvane-pw-loop", nullptr);
        if (!m_loop) return false;
        m_context = pw_context_new(pw_thread_loop_get_loop(m_loop), ContextProperties(), 0);
        if (!m_context || pw_thread_loop_start(m_loop) < 0) {
            closeLocked();
            return false;
        }
        pw_thread_loop_lock(m_loop);
        const bool started = connectStream();
        pw_thread_loop_unlock(m_loop);
        if (!started) closeLocked();
        return started;
    }

    bool healthy() const override { return m_healthy.load(std::memory_order_relaxed); }

    FeedReport feed() const override {
        return {m_threadId.load(std::memory_order_acquire), false, m_periodFrames.load(std::memory_order_relaxed),
                false};
    }

    // The graph's data thread calls us, scheduled by PipeWire's real-time module.
    bool schedulesItsOwnThread() const override { return true; }
    const WakeHistogram* wakes() const override { return &m_wakes; }
    const char* wakesAgainst() const override { return "against the start of its graph cycle"; }

    void close() override {
        std::lock_guard state(m_stateMutex);
        closeLocked();
    }

    // Any thread: a command came, or is coming. An inactive stream is made active again, so the
    // graph calls us; the sooner it is asked, the sooner the command is heard.
    void commandComing() override { changed(); }
    void changed() override {
        m_changes.fetch_add(1);
        if (m_active.load()) return;
        std::lock_guard state(m_stateMutex);
        if (!m_loop || !m_stream || m_active.load()) return;
        pw_thread_loop_lock(m_loop);
        pw_stream_set_active(m_stream, true);
        m_active.store(true);
        pw_thread_loop_unlock(m_loop);
    }

    // Watcher thread: once nothing has sounded for a while and no command has come since, the
    // stream goes inactive. A command racing with this either is seen here, or sees the stream
    // inactive and makes it active again.
    void watch() override {
        if (!m_active.load() || !quietLongEnough()) return;
        std::lock_guard state(m_stateMutex);
        if (!m_loop || !m_stream) return;
        pw_thread_loop_lock(m_loop);
        m_active.store(false);
        if (quietLongEnough()) {
            pw_stream_set_active(m_stream, false);
        } else {
            m_active.store(true);
        }
        pw_thread_loop_unlock(m_loop);
    }

private:
    bool quietLongEnough() const {
        return m_quietFrames.load() >= kQuietBeforeInactiveFrames && m_quietAtChange.load() == m_changes.load();
    }

    // Under m_stateMutex.
    void closeLocked() {
        if (!m_loop) return;
        pw_thread_loop_lock(m_loop);
        if (m_stream) {
            spa_hook_remove(&m_streamListener);
            pw_stream_destroy(m_stream);
            m_stream = nullptr;
        }
        if (m_core) {
            spa_hook_remove(&m_coreListener);
            pw_core_disconnect(m_core);
            m_core = nullptr;
        }
        pw_thread_loop_unlock(m_loop);
        pw_thread_loop_stop(m_loop);
        if (m_context) pw_context_destroy(m_context);
        m_context = nullptr;
        pw_thread_loop_destroy(m_loop);
        m_loop = nullptr;
        m_healthy.store(false);
    }

    // Under the thread loop's lock.
    bool connectStream() {
        m_core = pw_context_connect(m_context, nullptr, 0);
        if (!m_core) return false;
        static const pw_core_events coreEvents = [] {
            pw_core_events events{};
            events.version = PW_VERSION_CORE_EVENTS;
            events.error = [](void* self, std::uint32_t id, int, int res, const char*) {
                // The connection to the server broke (it was stopped or restarted).
                if (id == PW_ID_CORE && res == -EPIPE) static_cast<PipeWireConnection*>(self)->lost();
            };
            return events;
        }();
        pw_core_add_listener(m_core, &m_coreListener, &coreEvents, this);

        const std::string latency = std::to_string(kQuantumFrames) + "/" + std::to_string(kSampleRate);
        pw_properties* props =
            pw_properties_new(PW_KEY_MEDIA_TYPE, "Audio", PW_KEY_MEDIA_CATEGORY, "Playback", PW_KEY_MEDIA_ROLE,
                              "Production", PW_KEY_MEDIA_NAME, kStreamName, PW_KEY_APP_NAME, kApplicationName,
                              PW_KEY_APP_ID, kApplicationIcon, PW_KEY_APP_ICON_NAME, kApplicationIcon, PW_KEY_NODE_NAME,
                              kApplicationIcon, PW_KEY_NODE_LATENCY, latency.c_str(), nullptr);
        m_stream = pw_stream_new(m_core, kStreamName, props);
        if (!m_stream) return false;
        static const pw_stream_events streamEvents = [] {
            pw_stream_events events{};
            events.version = PW_VERSION_STREAM_EVENTS;
            events.state_changed = [](void* self, pw_stream_state, pw_stream_state state, const char*) {
                auto* connection = static_cast<PipeWireConnection*>(self);
                if (state == PW_STREAM_STATE_ERROR || state == PW_STREAM_STATE_UNCONNECTED) connection->lost();
                pw_thread_loop_signal(connection->m_loop, false);
            };
            events.process = [](void* self) { static_cast<PipeWireConnection*>(self)->process(); };
            return events;
        }();
        pw_stream_add_listener(m_stream, &m_streamListener, &streamEvents, this);

        std::uint8_t buffer[1024];
        spa_pod_builder builder = SPA_POD_BUILDER_INIT(buffer, sizeof buffer);
        spa_audio_info_raw info{};
        info.format = SPA_AUDIO_FORMAT_F32;
        info.rate = kSampleRate;
        info.channels = kChannels;
        info.position[0] = SPA_AUDIO_CHANNEL_FL;
        info.position[1] = SPA_AUDIO_CHANNEL_FR;
        const spa_pod* params[1] = {spa_format_audio_raw_build(&builder, SPA_PARAM_EnumFormat, &info)};
        const auto flags = static_cast<pw_stream_flags>(PW_STREAM_FLAG_AUTOCONNECT | PW_STREAM_FLAG_MAP_BUFFERS |
                                                        PW_STREAM_FLAG_RT_PROCESS);
        if (pw_stream_connect(m_stream, PW_DIRECTION_OUTPUT, PW_ID_ANY, flags, params, 1) < 0) return false;

        // Wait until the server has taken the stream in (or refused it).
        timespec deadline{};
        pw_thread_loop_get_time(m_loop, &deadline,
                                static_cast<std::int64_t>(kConnectTimeoutSeconds) * SPA_NSEC_PER_SEC);
        for (;;) {
            const pw_stream_state state = pw_stream_get_state(m_stream, nullptr);
            if (state == PW_STREAM_STATE_PAUSED || state == PW_STREAM_STATE_STREAMING) return healthy();
            if (state == PW_STREAM_STATE_ERROR || !healthy()) return false;
            if (pw_thread_loop_timed_wait_full(m_loop, &deadline) != 0) return false;
        }
    }

    void lost() { m_healthy.store(false, std::memory_order_relaxed); }

    // The graph's data thread, real-time: one quantum.
    void process() {
        const std::uint64_t changes = m_changes.load();
        pw_time time{};
        const bool timed = pw_stream_get_time_n(m_stream, &time, sizeof time) == 0 && time.now > 0;
        if (timed) m_wakes.record(MonotonicNs() - time.now);
        pw_buffer* b = pw_stream_dequeue_buffer(m_stream);
        if (!b) return;
        spa_data& data = b->buffer->datas[0];
        if (data.data != nullptr) {
            int frames = static_cast<int>(data.maxsize / kStride);
            if (b->requested != 0) frames = std::min<int>(frames, static_cast<int>(b->requested));
            m_source->render(static_cast<float*>(data.data), frames);
            m_source->commit(m_source->position());
            data.chunk->offset = 0;
            data.chunk->stride = kStride;
            data.chunk->size = static_cast<std::uint32_t>(frames * kStride);
            if (m_threadId.load(std::memory_order_relaxed) == 0) {
                m_periodFrames.store(frames, std::memory_order_relaxed);
                m_threadId.store(ThisThreadId(), std::memory_order_release);
            }
            // How long all rendered has been silence, with every command seen before this cycle.
            if (m_source->quietFrom() >= 0) {
                m_quietFrames.store(m_quietFrames.load(std::memory_order_relaxed) + frames, std::memory_order_relaxed);
                m_quietAtChange.store(changes);
            } else {
                m_quietFrames.store(0, std::memory_order_relaxed);
            }
        }
        pw_stream_queue_buffer(m_stream, b);
        if (timed) m_wakes.recordDone(MonotonicNs() - time.now);
    }

    RenderSource* m_source = nullptr;
    std::atomic<bool> m_healthy{false};
    std::atomic<ThreadId> m_threadId{0};  // the graph's data thread, once it has called us
    std::atomic<int> m_periodFrames{0};   // what its first cycle asked for
    // Going inactive while quiet. m_changes counts commands; the data thread notes how long all it
    // rendered has been silence and the count it had seen then; m_active is changed under the
    // thread loop's lock, and m_stateMutex keeps the stream alive for changed() from other threads.
    std::atomic<std::uint64_t> m_changes{0};
    std::atomic<std::uint64_t> m_quietAtChange{0};
    std::atomic<std::int64_t> m_quietFrames{0};
    std::atomic<bool> m_active{true};
    std::mutex m_stateMutex;
    WakeHistogram m_wakes;  // recorded by the data thread
    pw_thread_loop* m_loop = nullptr;
    pw_context* m_context = nullptr;
    pw_core* m_core = nullptr;
    pw_stream* m_stream = nullptr;
    spa_hook m_coreListener{};
    spa_hook m_streamListener{};
};

}  // namespace

std::unique_ptr<ServerConnection> MakePipeWireConnection() {
    return std::make_unique<PipeWireConnection>();
}

}  // namespace audio
