// The line the device output prints once an output plays: which output, its rate, what it keeps
// queued or renders per period, whether it renders again over its queue, and how its feeding
// thread is scheduled. Through SDL's dummy driver, with no driver at all (the null output), and
// through a private PulseAudio server, rewinding and with rewinding switched off.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <optional>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "audio/engine.h"
#include "private_pulse.h"
#include "skip_outside_ci.h"

namespace {

using testpulse::Clock;
using testpulse::HaveProgram;
using testpulse::PrivatePulse;
using testpulse::ScopedEnv;

// Everything written to stderr while it lives, read as it comes.
class StderrPipe {
public:
    StderrPipe() {
        EXPECT_EQ(pipe(m_fds), 0);
        fcntl(m_fds[0], F_SETFL, O_NONBLOCK);
        m_saved = dup(STDERR_FILENO);
        dup2(m_fds[1], STDERR_FILENO);
    }
    ~StderrPipe() {
        dup2(m_saved, STDERR_FILENO);
        close(m_saved);
        close(m_fds[0]);
        close(m_fds[1]);
    }
    // The lines that begin with `prefix`, once `count` have come or `timeout` passed.
    std::vector<std::string> lines(const std::string& prefix, std::size_t count, Clock::duration timeout) {
        const auto deadline = Clock::now() + timeout;
        for (;;) {
            std::vector<std::string> found;
            std::size_t start = 0;
            for (std::size_t end; (end = m_text.find('\n', start)) != std::string::npos; start = end + 1) {
                const std::string line = m_text.substr(start, end - start);
                if (line.rfind(prefix, 0) == 0) found.push_back(line);
            }
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            if (found.size() >= count || left.count() <= 0) return found;
            pollfd fd{m_fds[0], POLLIN, 0};
            if (poll(&fd, 1, static_cast<int>(left.count())) > 0) {
                char buffer[512];
                const ssize_t n = read(m_fds[0], buffer, sizeof buffer);
                if (n > 0) m_text.append(buffer, static_cast<std::size_t>(n));
            }
        }
    }

private:
    int m_fds[2] = {-1, -1};
    int m_saved = -1;
    std::string m_text;
};

// What a feeding thread may have got; as root the process sets SCHED_FIFO itself.
std::string SchedulingPattern(bool realTimeWanted) {
    if (!realTimeWanted) return "normal";
    if (geteuid() == 0) return "SCHED_FIFO 10";
    return "(RealtimeKit )?SCHED_FIFO [0-9]+|(RealtimeKit )?nice -[0-9]+|normal";
}

TEST(OutputReportTest, OneLineSaysWhichOutputPlaysAndHow) {
    struct Case {
        const char* what;
        const char* sdlDriver;
        bool pulse;
        const char* rewind;  // SORVANE_PULSE_REWIND, or null
        const char* expected;
        bool realTime;
    };
    const Case cases[] = {
        {"SDL", "dummy", false, nullptr, "sdl, 48000 Hz, period 256 frames, not rewinding", true},
        {"nothing that plays", "no-such-driver", false, nullptr, "null, 48000 Hz, period 256 frames, not rewinding",
         false},
        {"PulseAudio", "dummy", true, nullptr, "pulseaudio, 48000 Hz, queue 9600 frames, rewinding", true},
        {"PulseAudio, rewinding off", "dummy", true, "0", "pulseaudio, 48000 Hz, queue 512 frames, not rewinding",
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::optional<PrivatePulse> pulse;
        if (c.pulse) {
            if (!HaveProgram("pulseaudio")) SKIP_OUTSIDE_CI("no PulseAudio server installed");
            pulse.emplace();
            ASSERT_FALSE(pulse->address().empty()) << "the private PulseAudio server did not start";
        }
        const ScopedEnv driver("SDL_AUDIODRIVER", c.sdlDriver);
        const ScopedEnv server("PULSE_SERVER", pulse ? pulse->address().c_str() : "unix:/nonexistent/sorvane-test");
        const ScopedEnv rewind("SORVANE_PULSE_REWIND", c.rewind);
        StderrPipe stderrPipe;
        audio::Engine engine(audio::Engine::OutputKind::Device);
        const std::vector<std::string> first = stderrPipe.lines("sorvane: output", 1, std::chrono::seconds(5));
        ASSERT_EQ(first.size(), 1u);
        const std::regex shape("sorvane: output " + std::string(c.expected) + ", (" + SchedulingPattern(c.realTime) +
                               ")");
        EXPECT_TRUE(std::regex_match(first[0], shape)) << first[0];
        // Longer than the watcher's tick: the line comes once.
        EXPECT_EQ(stderrPipe.lines("sorvane: output", 2, std::chrono::milliseconds(400)).size(), 1u);
    }
}

// Asked to, a connection that closes says how late its feeding thread woke.
TEST(OutputReportTest, AClosingConnectionSaysHowLateItsThreadWoke) {
    if (!HaveProgram("pulseaudio")) SKIP_OUTSIDE_CI("no PulseAudio server installed");
    const PrivatePulse pulse;
    ASSERT_FALSE(pulse.address().empty()) << "the private PulseAudio server did not start";
    const ScopedEnv server("PULSE_SERVER", pulse.address().c_str());
    const ScopedEnv report("SORVANE_WAKE_REPORT", "1");
    StderrPipe stderrPipe;
    {
        audio::Engine engine(audio::Engine::OutputKind::Device);
        ASSERT_STREQ(engine.outputName(), "pulseaudio");
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
    }
    const std::vector<std::string> lines = stderrPipe.lines("sorvane: wake-ups", 1, std::chrono::seconds(2));
    ASSERT_EQ(lines.size(), 1u);
    const std::regex shape(
        "sorvane: wake-ups of the pulseaudio feeding thread against the end of its wait: [1-9][0-9]*; <50 us [0-9]+, "
        ".*, >=10 ms [0-9]+; worst [0-9]+ (us|ms); done by [0-9]+ (us|ms) at worst");
    EXPECT_TRUE(std::regex_match(lines[0], shape)) << lines[0];
}

}  // namespace
