#pragma once
// For tests that play through a real sound server: a PulseAudio server of the test's own, a
// recording of its sink that knows when each frame was played, and environment settings that
// last as long as a scope. POSIX only, like the outputs these tests drive.
#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "test_media.h"

namespace testpulse {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// Sets an environment variable for as long as it lives (unset when `value` is null).
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : m_name(name) {
        if (const char* old = std::getenv(name)) m_old = old;
        Set(name, value);
    }
    ~ScopedEnv() { Set(m_name, m_old ? m_old->c_str() : nullptr); }

private:
    static void Set(const char* name, const char* value) {
        if (value) setenv(name, value, 1);
        if (!value) unsetenv(name);
    }
    const char* m_name;
    std::optional<std::string> m_old;
};

inline bool HaveProgram(const char* name) {
    return std::system(("command -v " + std::string(name) + " >/dev/null 2>&1").c_str()) == 0;
}

// Starts `args` with stdout into a pipe (returned in `out`) and stderr nowhere; it gets SIGKILL
// should the test program die first.
inline pid_t Spawn(const std::vector<std::string>& args, int* out, const std::vector<std::string>& env = {}) {
    int fds[2] = {-1, -1};
    if (out != nullptr && pipe(fds) != 0) return -1;
    const pid_t pid = fork();
    if (pid == 0) {
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        for (std::size_t i = 0; i + 1 < env.size(); i += 2) setenv(env[i].c_str(), env[i + 1].c_str(), 1);
        const int null = open("/dev/null", O_WRONLY);
        dup2(out != nullptr ? fds[1] : null, STDOUT_FILENO);
        dup2(null, STDERR_FILENO);
        std::vector<char*> argv;
        for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
        argv.push_back(nullptr);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    if (out != nullptr) {
        close(fds[1]);
        *out = fds[0];
    }
    return pid;
}

inline void End(pid_t pid, int signal = SIGTERM) {
    if (pid <= 0) return;
    kill(pid, signal);
    waitpid(pid, nullptr, 0);
}

// A PulseAudio server of the test's own, on a socket in a private folder, with a null sink
// `sink` at the engine's format. It ends with the test, and with the test program should that
// die first.
class PrivatePulse {
public:
    explicit PrivatePulse(const std::string& sink = "report")
        : m_sink(sink), m_dir(testmedia::Dir() / ("pulse-" + std::to_string(getpid()))) {
        fs::create_directories(m_dir);
        start();
    }
    ~PrivatePulse() {
        stop();
        std::error_code ignored;
        fs::remove_all(m_dir, ignored);
    }
    PrivatePulse(const PrivatePulse&) = delete;
    PrivatePulse& operator=(const PrivatePulse&) = delete;
    // Starts it (again, after stop()); false when its socket did not appear within 5 s.
    bool start() {
        const std::string socket = (m_dir / "native").string();
        const std::string dir = m_dir.string();
        std::error_code ignored;
        fs::remove(socket, ignored);  // left behind by a server killed
        m_pid =
            Spawn({"pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1", "--use-pid-file=no",
                   "--load=module-native-protocol-unix auth-anonymous=1 socket=" + socket,
                   "--load=module-null-sink sink_name=" + m_sink + " rate=48000 format=float32le channels=2"},
                  nullptr, {"HOME", dir, "XDG_RUNTIME_DIR", dir, "PULSE_RUNTIME_PATH", dir, "PULSE_STATE_PATH", dir});
        for (int waited = 0; m_pid > 0 && !fs::exists(socket) && waited < 5000; waited += 20)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        m_address = fs::exists(socket) ? "unix:" + socket : "";
        return !m_address.empty();
    }
    void stop(int signal = SIGTERM) {  // SIGKILL: as a server that dies
        End(m_pid, signal);
        m_pid = -1;
    }
    const std::string& address() const { return m_address; }  // empty when it did not start

private:
    std::string m_sink;
    fs::path m_dir;
    pid_t m_pid = -1;
    std::string m_address;
};

// Records a sink's monitor (parec, float stereo at 48 kHz) and knows when each frame was played
// into it: the sink's clock runs at exactly its rate, so frame n was played at origin + n / rate.
// A chunk arriving with n frames recorded bounds the origin by its arrival - n / rate; the
// smallest bound is the tightest, as that chunk waited least on its way.
class SinkRecorder {
public:
    // A null sink renders in blocks as long as the shortest latency asked of it: `latencyMs`.
    SinkRecorder(const std::string& server, const std::string& sink, int latencyMs = 5) {
        m_pid = Spawn({"parec", "-d", sink + ".monitor", "--format=float32le", "--rate=48000", "--channels=2", "--raw",
                       "--latency-msec=" + std::to_string(latencyMs), "--process-time-msec=2"},
                      &m_fd, {"PULSE_SERVER", server});
        m_reader = std::thread([this] { read(); });
    }
    ~SinkRecorder() {
        End(m_pid);
        m_reader.join();
        close(m_fd);
    }
    SinkRecorder(const SinkRecorder&) = delete;
    SinkRecorder& operator=(const SinkRecorder&) = delete;

    struct Onset {
        double seconds;            // from the moment asked about
        std::vector<float> first;  // the left samples from there on
    };
    // The first frame after `t` whose left sample is audible, looking up to `within` seconds on
    // (it waits until those have been recorded); nullopt when none is.
    std::optional<Onset> onsetAfter(Clock::time_point t, double within, std::size_t samples = 16) {
        std::this_thread::sleep_until(t + std::chrono::duration<double>(within + 0.3));
        std::lock_guard lock(m_mutex);
        const double from = std::max(std::chrono::duration<double>(t - m_origin).count() * 48000.0, 0.0);
        const std::size_t frames = m_data.size() / 8;
        for (std::size_t n = std::size_t(from); n < frames && double(n) - from < within * 48000.0; ++n) {
            if (std::fabs(left(n)) <= 1e-4) continue;
            Onset onset{(double(n) - from) / 48000.0, {}};
            for (std::size_t k = n; k < std::min(n + samples, frames); ++k) onset.first.push_back(left(k));
            return onset;
        }
        return std::nullopt;
    }

private:
    float left(std::size_t frame) const {
        float x = 0.0f;
        std::memcpy(&x, &m_data[frame * 8], sizeof x);
        return x;
    }
    void read() {
        std::vector<char> chunk(1 << 16);
        for (ssize_t n; (n = ::read(m_fd, chunk.data(), chunk.size())) > 0;) {
            const auto now = Clock::now();
            std::lock_guard lock(m_mutex);
            const bool first = m_data.empty();
            m_data.append(chunk.data(), std::size_t(n));
            const auto origin = now - std::chrono::duration_cast<Clock::duration>(
                                          std::chrono::duration<double>(double(m_data.size() / 8) / 48000.0));
            if (first || origin < m_origin) m_origin = origin;
        }
    }

    pid_t m_pid = -1;
    int m_fd = -1;
    std::thread m_reader;
    std::mutex m_mutex;
    std::string m_data;  // float stereo frames as recorded; guarded by m_mutex
    Clock::time_point m_origin;
};

}  // namespace testpulse
