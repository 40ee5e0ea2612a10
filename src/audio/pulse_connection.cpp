// A PulseAudio stream that keeps a fifth of a second queued at the server, so a busy machine
// never empties it, and still makes a command heard within a few milliseconds: when one arrives
// it renders again from just ahead of what is being heard and writes over the queue there. The
// server then rewinds its sink and mixes the new audio in at once, as it does for a stream that
// has just started.
//
// PipeWire's PulseAudio service cannot rewind a sink. There the stream keeps a small queue on
// the real-time thread instead and never writes over it. SORVANE_PULSE_REWIND=0 in the
// environment makes it do so on any server, so that way can be tried on a PulseAudio server too.
//
// While nothing sounds from what is being heard on, the stream holds two seconds of silence and
// the thread sleeps until half of it has been played: a command renders again from just ahead of
// what is heard whatever is queued behind, and the engine renders silence without touching a
// voice, so the board costs next to nothing while it waits and the sound card stays awake for
// the first key.
//
// A sink that is no sound card and hands its audio to no other (a null sink) is heard only at its
// monitor, and the monitor records each block as the sink takes it from the queue: a rewind behind
// that does not reach the recording, and a sound landing there would be heard without its first
// milliseconds. On such a sink a command lands beyond what the server has taken: its block is as
// long as the shortest latency any stream or recorder of its monitor asks for, so that is asked
// again whenever one comes, goes or changes.
//
// Stream positions: the stream is written at absolute frame indexes counted from its start, so
// the index of every frame is known without asking the server; `m_offset` maps them to the
// engine's positions. Rendering straight into the server's memory (pa_stream_begin_write) instead
// of copying there was measured with 38 sounds playing: the feeding thread cost the same.
#include <pulse/pulseaudio.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <future>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "audio/audio_format.h"
#include "audio/thread_priority.h"
#include "audio/voice.h"
#include "server_connection.h"

namespace audio {
namespace {

using Clock = std::chrono::steady_clock;

constexpr auto kConnectTimeout = std::chrono::seconds(2);
constexpr auto kProbeTimeout = std::chrono::milliseconds(500);
constexpr int kFrameBytes = static_cast<int>(sizeof(float)) * kChannels;
// Rewinding server: what stays queued, how often it asks for more, and how far ahead of what is
// being heard a command lands: the server needs that long to take the new audio in. Recorded at
// a null sink in 5 ms blocks, a sound landing 2 ms ahead lost its first 2 ms; from 4 ms on it came
// whole (on such a sink a command also lands beyond the sink's block, see above).
constexpr int kQueueFrames = kSampleRate * 200 / 1000;
constexpr int kRequestFrames = kSampleRate * 10 / 1000;
constexpr int kMarginFrames = kSampleRate * 5 / 1000;
constexpr int kCommitSlackFrames = kSampleRate * 20 / 1000;
// Rendering ahead waits for the decoder, but never lets the queue fall below this.
constexpr int kLeastQueueFrames = kSampleRate * 20 / 1000;
// A server that cannot rewind: a small queue, refilled in quanta of PipeWire's smallest size.
constexpr int kSmallQueueFrames = 512;
constexpr int kSmallRequestFrames = 256;
// The engine's blocks are rendered this short: a command lands at most this much beyond the margin.
constexpr int kChunkFrames = 64;
constexpr int kFirstWriteFrames = 4 * kChunkFrames;  // sent on its own when a command renders again
constexpr int kLoopTimeoutUs = 4000;
// A command renders again from just ahead of what is heard, over everything queued behind: the
// engine must still remember where each voice stood at every block start in that stretch, and
// it remembers a fixed number of blocks.
static_assert((kQueueFrames + kChunkFrames - 1) / kChunkFrames + 1 < Voice::kHistory,
              "the queue reaches further back than the engine remembers");
// While quiet: what is queued, and how low it may fall before it is topped up again.
constexpr int kIdleQueueFrames = kSampleRate * 2;
constexpr int kIdleLowFrames = kSampleRate;

// A developer's switch: the small queue of a server that cannot rewind, whatever the server.
bool RewindingSwitchedOff() {
    const char* value = std::getenv("SORVANE_PULSE_REWIND");
    return value != nullptr && std::strcmp(value, "0") == 0;
}

std::int64_t SinceNs(Clock::time_point then) {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - then).count();
}

pa_proplist* Identity() {
    pa_proplist* props = pa_proplist_new();
    pa_proplist_sets(props, PA_PROP_APPLICATION_NAME, kApplicationName);
    pa_proplist_sets(props, PA_PROP_APPLICATION_ID, kApplicationIcon);
    pa_proplist_sets(props, PA_PROP_APPLICATION_ICON_NAME, kApplicationIcon);
    pa_proplist_sets(props, PA_PROP_MEDIA_ROLE, kMediaRole);
    return props;
}

// A main loop and a context, connected or not. Owned by one thread.
class Session {
public:
    Session() : m_loop(pa_mainloop_new()) {
        pa_proplist* props = Identity();
        m_context = pa_context_new_with_proplist(pa_mainloop_get_api(m_loop), kApplicationName, props);
        pa_proplist_free(props);
    }
    ~Session() {
        if (m_stream) {
            pa_stream_disconnect(m_stream);
            pa_stream_unref(m_stream);
        }
        pa_context_disconnect(m_context);
        pa_context_unref(m_context);
        pa_mainloop_free(m_loop);
    }
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    pa_mainloop* loop() const { return m_loop; }
    pa_context* context() const { return m_context; }
    pa_stream*& stream() { return m_stream; }

    // Runs the loop until `done` or the deadline; false on timeout or a failed server.
    template <typename Done>
    bool iterateUntil(Done done, Clock::duration timeout) {
        const auto deadline = Clock::now() + timeout;
        while (!done()) {
            if (failed() || Clock::now() > deadline) return false;
            pa_mainloop_prepare(m_loop, 10000);
            pa_mainloop_poll(m_loop);
            pa_mainloop_dispatch(m_loop);
        }
        return true;
    }

    bool connect(Clock::duration timeout) {
        // Never start a server of our own: the desktop's is the one users route and control.
        if (pa_context_connect(m_context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) return false;
        return iterateUntil([this] { return pa_context_get_state(m_context) == PA_CONTEXT_READY; }, timeout);
    }

    bool failed() const {
        const pa_context_state_t state = pa_context_get_state(m_context);
        if (state == PA_CONTEXT_FAILED || state == PA_CONTEXT_TERMINATED) return true;
        if (!m_stream) return false;
        const pa_stream_state_t streamState = pa_stream_get_state(m_stream);
        return streamState == PA_STREAM_FAILED || streamState == PA_STREAM_TERMINATED;
    }

    // Whether the server rewinds its sinks: PulseAudio does, PipeWire's PulseAudio service not.
    bool serverRewinds() {
        struct Answer {
            bool done = false;
            bool pipewire = false;
        } answer;
        pa_operation* op = pa_context_get_server_info(
            m_context,
            [](pa_context*, const pa_server_info* info, void* data) {
                auto* a = static_cast<Answer*>(data);
                a->pipewire = info && info->server_name && std::strstr(info->server_name, "PipeWire");
                a->done = true;
            },
            &answer);
        if (op) pa_operation_unref(op);
        return iterateUntil([&] { return answer.done; }, kConnectTimeout) && !answer.pipewire;
    }

private:
    pa_mainloop* m_loop;
    pa_context* m_context;
    pa_stream* m_stream = nullptr;
};

class PulseConnection final : public ServerConnection {
public:
    ~PulseConnection() override { close(); }

    const char* name() const override { return "pulseaudio"; }

    bool reachable() override {
        Session session;
        return session.connect(kProbeTimeout);
    }

    // Only for the local socket the library would try first; a server named otherwise is asked.
    bool socketMissing() const override {
        std::error_code ignored;
        if (const char* server = std::getenv("PULSE_SERVER")) {
            const std::string_view name(server);
            if (name.rfind("unix:", 0) != 0 || name.find_first_of(" ,") != std::string_view::npos) return false;
            return !std::filesystem::exists(std::string(name.substr(5)), ignored);
        }
        const char* runtime = std::getenv("PULSE_RUNTIME_PATH");
        const char* xdg = std::getenv("XDG_RUNTIME_DIR");
        if (runtime == nullptr && xdg == nullptr) return false;
        const std::filesystem::path folder =
            runtime ? std::filesystem::path(runtime) : std::filesystem::path(xdg) / "pulse";
        return !std::filesystem::exists(folder / "native", ignored);
    }

    bool open(RenderSource& source) override {
        close();
        m_source = &source;
        m_threadId.store(0, std::memory_order_relaxed);
        m_wakes.reset();
        m_quit.store(false);
        m_healthy.store(true);
        std::promise<bool> opened;
        std::future<bool> result = opened.get_future();
        m_thread = std::thread([this, &opened] { run(opened); });
        if (result.get()) return true;
        m_thread.join();
        return false;
    }

    bool healthy() const override { return m_healthy.load(std::memory_order_relaxed); }

    void close() override {
        if (!m_thread.joinable()) return;
        m_quit.store(true);
        wake();
        m_thread.join();
    }

    void changed() override {
        m_changed.store(true, std::memory_order_release);
        wake();
    }

    const WakeHistogram* wakes() const override { return &m_wakes; }
    const char* wakesAgainst() const override { return "against the end of its wait"; }

    FeedReport feed() const override {
        return {m_threadId.load(std::memory_order_acquire), true, m_reportedQueue.load(std::memory_order_relaxed),
                m_reportedRewinds.load(std::memory_order_relaxed)};
    }

private:
    void wake() {
        std::lock_guard lock(m_loopMutex);
        if (m_loop) pa_mainloop_wakeup(m_loop);
    }

    void run(std::promise<bool>& opened) {
        NameThisThread("sorvane-audio");
        Session session;
        if (!session.connect(kConnectTimeout) || !startStream(session)) {
            m_healthy.store(false);
            opened.set_value(false);
            return;
        }
        {
            std::lock_guard lock(m_loopMutex);
            m_loop = session.loop();
        }
        opened.set_value(true);

        Clock::time_point due;
        bool timedOut = false;
        while (!m_quit.load(std::memory_order_acquire) && !session.failed()) {
            if (m_changed.exchange(false, std::memory_order_acq_rel) && m_rewinds) renderAgain(session);
            if (m_sinkWanted && !m_sinkAsked) askSink(session);
            const int timeoutUs = feed(session.stream());
            if (timedOut) m_wakes.recordDone(SinceNs(due));
            if (m_threadId.load(std::memory_order_relaxed) == 0) {
                m_threadId.store(ThisThreadId(), std::memory_order_release);
            }
            due = Clock::now() + std::chrono::microseconds(timeoutUs);
            pa_mainloop_prepare(session.loop(), timeoutUs);
            // Woken by the end of the wait (nothing came before it): how late.
            timedOut = pa_mainloop_poll(session.loop()) == 0;
            if (timedOut) m_wakes.record(SinceNs(due));
            pa_mainloop_dispatch(session.loop());
        }
        m_healthy.store(false);
        // What was queued but not heard yet is gone with the stream: play on from what was heard.
        m_source->rewind(playedFrames(session.stream()) + m_offset);
        std::lock_guard lock(m_loopMutex);
        m_loop = nullptr;
    }

    bool startStream(Session& session) {
        m_rewinds = session.serverRewinds() && !RewindingSwitchedOff();
        const int queue = m_rewinds ? kQueueFrames : kSmallQueueFrames;
        m_queueFrames = queue;
        m_reportedQueue.store(queue, std::memory_order_relaxed);
        m_reportedRewinds.store(m_rewinds, std::memory_order_relaxed);
        m_buffer.assign(static_cast<std::size_t>(queue + kSampleRate / 2) * kChannels, 0.0f);

        const pa_sample_spec sampleFormat{PA_SAMPLE_FLOAT32LE, static_cast<std::uint32_t>(kSampleRate),
                                          static_cast<std::uint8_t>(kChannels)};
        pa_channel_map map;
        pa_channel_map_init_stereo(&map);
        pa_proplist* props = Identity();
        pa_proplist_sets(props, PA_PROP_MEDIA_NAME, kStreamName);
        session.stream() = pa_stream_new_with_proplist(session.context(), kStreamName, &sampleFormat, &map, props);
        pa_proplist_free(props);
        if (!session.stream()) return false;

        pa_buffer_attr attr{};
        attr.maxlength = static_cast<std::uint32_t>(-1);
        attr.tlength = static_cast<std::uint32_t>(queue * kFrameBytes);
        // Play from the first request on and never pause on a late write: the writes carry their
        // own positions, and what comes late is simply not heard.
        attr.prebuf = 0;
        attr.minreq = static_cast<std::uint32_t>((m_rewinds ? kRequestFrames : kSmallRequestFrames) * kFrameBytes);
        attr.fragsize = static_cast<std::uint32_t>(-1);
        const auto flags = static_cast<pa_stream_flags_t>(PA_STREAM_INTERPOLATE_TIMING | PA_STREAM_AUTO_TIMING_UPDATE |
                                                          PA_STREAM_ADJUST_LATENCY);
        if (pa_stream_connect_playback(session.stream(), nullptr, &attr, flags, nullptr, nullptr) < 0) return false;
        pa_stream* stream = session.stream();
        if (!session.iterateUntil([stream] { return pa_stream_get_state(stream) == PA_STREAM_READY; },
                                  kConnectTimeout)) {
            return false;
        }
        m_offset = m_source->position();
        m_written = 0;
        m_heardAtMonitor = false;
        m_sinkBlockFrames = 0;
        m_sinkAsked = false;
        m_sinkWanted = m_rewinds;
        if (m_rewinds) {
            pa_stream_set_moved_callback(stream, &PulseConnection::sinkChanged, this);
            pa_context_set_subscribe_callback(session.context(), &PulseConnection::serverChanged, this);
            const auto mask = static_cast<pa_subscription_mask_t>(
                PA_SUBSCRIPTION_MASK_SINK | PA_SUBSCRIPTION_MASK_SINK_INPUT | PA_SUBSCRIPTION_MASK_SOURCE_OUTPUT);
            if (pa_operation* op = pa_context_subscribe(session.context(), mask, nullptr, nullptr)) {
                pa_operation_unref(op);
            }
            askSink(session);
            session.iterateUntil([this] { return !m_sinkAsked; }, kConnectTimeout);
        }
        return true;
    }

    static void sinkChanged(pa_stream*, void* self) { static_cast<PulseConnection*>(self)->m_sinkWanted = true; }
    static void serverChanged(pa_context*, pa_subscription_event_type_t, std::uint32_t, void* self) {
        static_cast<PulseConnection*>(self)->m_sinkWanted = true;
    }

    // Asks what the stream's sink is and how long a block it renders; one question at a time.
    void askSink(Session& session) {
        m_sinkWanted = false;
        pa_operation* op = pa_context_get_sink_info_by_index(
            session.context(), pa_stream_get_device_index(session.stream()),
            [](pa_context*, const pa_sink_info* info, int last, void* data) {
                auto* self = static_cast<PulseConnection*>(data);
                if (last) {
                    self->m_sinkAsked = false;
                    return;
                }
                self->m_heardAtMonitor = !(info->flags & PA_SINK_HARDWARE) &&
                                         !pa_proplist_contains(info->proplist, PA_PROP_DEVICE_MASTER_DEVICE);
                self->m_sinkBlockFrames =
                    static_cast<std::int64_t>(info->configured_latency * kSampleRate / PA_USEC_PER_SEC);
            },
            this);
        if (!op) return;
        m_sinkAsked = true;
        pa_operation_unref(op);
        // And how far the sink has taken from the queue, should its block have just shrunk.
        if (pa_operation* timing = pa_stream_update_timing_info(session.stream(), nullptr, nullptr)) {
            pa_operation_unref(timing);
        }
    }

    // The stream frame at which a command lands: just ahead of what is being heard, and on a sink
    // heard at its monitor beyond all the server may already have taken from the queue.
    std::int64_t landing(pa_stream* stream, std::int64_t played) const {
        if (!m_heardAtMonitor) return played + kMarginFrames;
        std::int64_t taken = played + std::max<std::int64_t>(kMarginFrames, m_sinkBlockFrames);
        // After the sink's block has shrunk it may still hold a longer one, taken before.
        const pa_timing_info* timing = pa_stream_get_timing_info(stream);
        if (timing && !timing->read_index_corrupt) taken = std::max(taken, timing->read_index / kFrameBytes);
        return taken;
    }

    // Stream frames heard so far (the server's clock, interpolated between its reports).
    std::int64_t playedFrames(pa_stream* stream) const {
        pa_usec_t usec = 0;
        if (pa_stream_get_time(stream, &usec) < 0) return 0;
        return static_cast<std::int64_t>(usec * static_cast<pa_usec_t>(kSampleRate) / PA_USEC_PER_SEC);
    }

    // Renders from stream frame `from` up to `to` and writes it there.
    void renderAndWrite(pa_stream* stream, std::int64_t from, std::int64_t to) {
        const std::int64_t limit = static_cast<std::int64_t>(m_buffer.size() / kChannels);
        while (from < to) {
            const int frames = static_cast<int>(std::min(to - from, limit));
            for (int done = 0; done < frames; done += kChunkFrames) {
                m_source->render(m_buffer.data() + static_cast<std::size_t>(done) * kChannels,
                                 std::min(kChunkFrames, frames - done));
            }
            pa_stream_write(stream, m_buffer.data(), static_cast<std::size_t>(frames) * kFrameBytes, nullptr,
                            from * kFrameBytes, PA_SEEK_ABSOLUTE);
            from += frames;
        }
        m_written = std::max(m_written, to);
    }

    // Tops the queue up; returns how long the thread may sleep before it looks again (microseconds).
    int feed(pa_stream* stream) {
        const std::int64_t played = playedFrames(stream);
        // The server's clock is interpolated between its reports and may be corrected back a little:
        // what is committed stays well behind it, so a command can always land just ahead of it.
        m_source->commit(played + m_offset - kCommitSlackFrames);
        if (m_rewinds && quietFromHere(landing(stream, played))) {
            if (m_written - played < kIdleLowFrames) queueSilence(stream, played + kIdleQueueFrames);
            return static_cast<int>((m_written - played - kIdleLowFrames) * 1000000 / kSampleRate) + kLoopTimeoutUs;
        }
        // Whole blocks only: the engine remembers a fixed number of blocks to go back to, and blocks
        // of one size let that reach back over the whole queue.
        const std::int64_t target = reach(m_written, played + m_queueFrames, played);
        if (target > m_written) renderAndWrite(stream, m_written, target + (m_written - target) % kChunkFrames);
        return kLoopTimeoutUs;
    }

    // Queues silence up to stream frame `to` as a hole: a single frame written there, which the
    // server plays all the silence before, with no audio to render, copy or hand back.
    void queueSilence(pa_stream* stream, std::int64_t to) {
        if (!m_source->skipQuiet(to - 1 - m_written)) return;
        renderAndWrite(stream, to - 1, to);
    }

    // Whether nothing sounds from where a command would land (`landing`) on: all that is queued is
    // silence and rendering again from there needs nothing remembered.
    bool quietFromHere(std::int64_t landing) const {
        const std::int64_t quiet = m_source->quietFrom();
        return quiet >= 0 && quiet - m_offset <= landing;
    }

    // How far to render from `from` towards `wanted`: not past audio still being decoded, unless
    // the server would otherwise run short.
    std::int64_t reach(std::int64_t from, std::int64_t wanted, std::int64_t played) const {
        const std::int64_t ahead = m_source->decodedAhead();
        const std::int64_t decoded = ahead > wanted - from ? wanted : from + ahead;
        return std::min(wanted, std::max(decoded, played + kLeastQueueFrames));
    }

    // A command came: render again from just ahead of what is being heard.
    void renderAgain(Session& session) {
        pa_stream* stream = session.stream();
        // Rendering restarts at a block start at or before the point asked for, so ask one block on.
        const std::int64_t played = playedFrames(stream);
        const std::int64_t from = landing(stream, played) + kChunkFrames - 1;
        if (from >= m_written) return;
        const std::int64_t restart = m_source->rewind(from + m_offset) - m_offset;
        if (restart >= m_written) return;
        // A sound just started has only its first stretch decoded: the rest of the queue is
        // written again as the decoder gets ahead.
        // After a quiet while the queue runs far ahead: what lies beyond the usual queue is silence
        // and is written over as the queue is topped up.
        std::int64_t end = reach(restart, std::min(m_written, played + m_queueFrames), played);
        end = std::max(end, restart);
        end -= (end - restart) % kChunkFrames;
        // Its first few milliseconds go to the server at once: all the time spent before they
        // arrive is taken from the margin, and what arrives behind what is heard is lost.
        const std::int64_t first = std::min(end, restart + kFirstWriteFrames);
        renderAndWrite(stream, restart, first);
        pa_mainloop_iterate(session.loop(), 0, nullptr);
        renderAndWrite(stream, first, end);
        m_written = end;
    }

    RenderSource* m_source = nullptr;
    std::thread m_thread;
    std::atomic<bool> m_quit{false};
    std::atomic<bool> m_healthy{false};
    std::atomic<bool> m_changed{false};
    // For the device output's report, written by the feeding thread.
    std::atomic<ThreadId> m_threadId{0};
    std::atomic<int> m_reportedQueue{0};
    std::atomic<bool> m_reportedRewinds{false};
    WakeHistogram m_wakes;   // recorded by the feeding thread
    std::mutex m_loopMutex;  // guards m_loop against wake() from other threads
    pa_mainloop* m_loop = nullptr;
    // Audio thread only.
    bool m_rewinds = false;
    int m_queueFrames = 0;
    std::int64_t m_offset = 0;   // engine position of stream frame 0
    std::int64_t m_written = 0;  // stream frames written
    // The sink, as last asked: whether it is heard only at its monitor, and its block.
    bool m_heardAtMonitor = false;
    std::int64_t m_sinkBlockFrames = 0;
    bool m_sinkAsked = false;   // a question is on its way
    bool m_sinkWanted = false;  // the sink or its streams changed since it was last asked
    std::vector<float> m_buffer;
};

}  // namespace

std::unique_ptr<ServerConnection> MakePulseConnection() {
    return std::make_unique<PulseConnection>();
}

}  // namespace audio
