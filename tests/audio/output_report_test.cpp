// The line the device output prints once an output plays: which output, its rate, its period,
// whether it renders again over its queue, and how its feeding thread is scheduled, through SDL's
// dummy driver and with no driver at all; PulseAudio's and PipeWire's lines are checked end to end
// (tests/e2e). And the wake report a closing PulseAudio connection gives when asked.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <regex>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "audio/engine.h"
#include "private_pulse.h"
#include "skip_outside_ci.h"

namespace {

using testpulse::Clock;
using testpulse::HaveProgram;
using testpulse::PrivatePulse;
using testpulse::ScopedEnv;

// Everything written to stderr while it lives, kept in a file.
class StderrCapture {
public:
    StderrCapture() : m_saved(dup(STDERR_FILENO)) {
        const int fd = open(m_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(fd, STDERR_FILENO);
        close(fd);
    }
    ~StderrCapture() {
        dup2(m_saved, STDERR_FILENO);
        close(m_saved);
    }
    // The whole lines that begin with `prefix`, once `count` have come or `timeout` passed.
    std::vector<std::string> lines(const std::string& prefix, std::size_t count, Clock::duration timeout) {
        for (const auto deadline = Clock::now() + timeout;;
             std::this_thread::sleep_for(std::chrono::milliseconds(10))) {
            std::vector<std::string> found;
            std::ifstream in(m_path);
            for (std::string line; std::getline(in, line) && !in.eof();)
                if (line.rfind(prefix, 0) == 0) found.push_back(line);
            if (found.size() >= count || Clock::now() >= deadline) return found;
        }
    }

private:
    const std::filesystem::path m_path = testmedia::Dir() / "stderr.txt";
    int m_saved;
};

// What a feeding thread may have got; as root the process sets SCHED_FIFO itself.
std::string SchedulingPattern(bool realTimeWanted) {
    if (!realTimeWanted) return "normal";
    if (geteuid() == 0) return "SCHED_FIFO 10";
    return "(RealtimeKit )?SCHED_FIFO [0-9]+|(RealtimeKit )?nice -[0-9]+|normal";
}

TEST(OutputReportTest, OneLineSaysWhichOutputPlaysAndHowAndOnlyOnce) {
    const std::tuple<const char*, const char*, bool> cases[] = {
        // SDL driver, the line, whether its thread asks for real-time scheduling
        {"dummy", "sdl, 48000 Hz, period 256 frames, not rewinding", true},
        {"no-such-driver", "null, 48000 Hz, period 256 frames, not rewinding", false},
    };
    for (const auto& [sdlDriver, expected, realTime] : cases) {
        SCOPED_TRACE(expected);
        const ScopedEnv driver("SDL_AUDIODRIVER", sdlDriver);
        const ScopedEnv server("PULSE_SERVER", "unix:/nonexistent/sorvane-test");
        StderrCapture captured;
        audio::Engine engine(audio::Engine::OutputKind::Device);
        const std::vector<std::string> first = captured.lines("sorvane: output", 1, std::chrono::seconds(5));
        ASSERT_EQ(first.size(), 1u);
        const std::regex shape("sorvane: output " + std::string(expected) + ", (" + SchedulingPattern(realTime) + ")");
        EXPECT_TRUE(std::regex_match(first[0], shape)) << first[0];
        // Longer than the watcher's tick: the line comes once.
        EXPECT_EQ(captured.lines("sorvane: output", 2, std::chrono::milliseconds(400)).size(), 1u);
    }
}

// Asked to, a connection that closes says how late its feeding thread woke.
TEST(OutputReportTest, AClosingConnectionSaysHowLateItsThreadWoke) {
    if (!HaveProgram("pulseaudio")) SKIP_OUTSIDE_CI("no PulseAudio server installed");
    const PrivatePulse pulse;
    ASSERT_FALSE(pulse.address().empty()) << "the private PulseAudio server did not start";
    const ScopedEnv server("PULSE_SERVER", pulse.address().c_str());
    const ScopedEnv report("SORVANE_WAKE_REPORT", "1");
    StderrCapture captured;
    {
        audio::Engine engine(audio::Engine::OutputKind::Device);
        ASSERT_STREQ(engine.outputName(), "pulseaudio");
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
    }
    const std::vector<std::string> lines = captured.lines("sorvane: wake-ups", 1, std::chrono::seconds(2));
    ASSERT_EQ(lines.size(), 1u);
    const std::regex shape(
        "sorvane: wake-ups of the pulseaudio feeding thread against the end of its wait: [1-9][0-9]*; <50 us [0-9]+, "
        ".*, >=10 ms [0-9]+; worst [0-9]+ (us|ms); done by [0-9]+ (us|ms) at worst");
    EXPECT_TRUE(std::regex_match(lines[0], shape)) << lines[0];
}

}  // namespace
