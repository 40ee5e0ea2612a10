// Through a private PulseAudio server: while nothing sounds the output queues seconds of silence
// and sleeps; a sound started then is still heard at the sink at once, in front of that silence,
// and so is one started shortly after it was stopped, each time. Recorded as a voice chat records
// a null sink, in blocks longer than the margin a command lands ahead of what is heard.
#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "audio/engine.h"
#include "private_pulse.h"
#include "skip_outside_ci.h"

namespace {

using testpulse::Clock;

void ExpectHeardAtOnceFromTheStart(const std::optional<testpulse::SinkRecorder::Onset>& onset) {
    ASSERT_TRUE(onset.has_value()) << "nothing was heard";
    EXPECT_LT(onset->seconds, 0.25);
    ASSERT_EQ(onset->first.size(), 16u);
    for (std::size_t n = 0; n < onset->first.size(); ++n) {
        EXPECT_NEAR(onset->first[n], testmedia::Sweep(0, std::int64_t(n), 48000), 1e-3) << "frame " << n;
    }
}

TEST(QuietOutputTest, ASoundStartedAfterAQuietWhileIsHeardAtOnce) {
    if (!testpulse::HaveProgram("pulseaudio") || !testpulse::HaveProgram("parec")) {
        SKIP_OUTSIDE_CI("no PulseAudio server or parec installed");
    }
    std::filesystem::current_path(testmedia::Dir());
    testmedia::WriteWav("quiet-output.wav", 48000, 2, 48000);  // a sweep: audible from its first frame
    const testpulse::PrivatePulse pulse("quiet");
    ASSERT_FALSE(pulse.address().empty()) << "the private PulseAudio server did not start";
    const testpulse::ScopedEnv server("PULSE_SERVER", pulse.address().c_str());
    // Recording first, so the sink runs at a short latency before the board's stream comes: a sink
    // that has buffered seconds of silence plays a new stream only after them.
    testpulse::SinkRecorder sink(pulse.address(), "quiet", 20);
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    audio::Engine engine(audio::Engine::OutputKind::Device);
    ASSERT_STREQ(engine.outputName(), "pulseaudio");
    audio::Engine::VoiceId id = -1;
    ASSERT_EQ(engine.open("quiet-output.wav", id), audio::OpenResult::Ok);

    // Longer than the output takes to fall quiet and queue its silence.
    std::this_thread::sleep_for(std::chrono::milliseconds(3000));
    const Clock::time_point played = Clock::now();
    engine.play(id);
    // Heard within a few milliseconds on an idle machine (behind the queued silence would be a
    // second), and from its first frame on.
    ExpectHeardAtOnceFromTheStart(sink.onsetAfter(played, 1.5));

    // Stopped and started again from the start, as a player does: the start lands wherever the
    // sink's block happens to stand, so it is tried a few times.
    std::vector<Clock::time_point> starts;
    for (int n = 0; n < 8; ++n) {
        engine.stop(id);
        std::this_thread::sleep_for(std::chrono::milliseconds(150 + 13 * n));
        ASSERT_TRUE(engine.seek(id, 0));
        starts.push_back(Clock::now());
        engine.play(id);
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
    }
    for (std::size_t n = 0; n < starts.size(); ++n) {
        SCOPED_TRACE("start " + std::to_string(n + 1) + " after a stop");
        ExpectHeardAtOnceFromTheStart(sink.onsetAfter(starts[n], 0.25));
    }
}

}  // namespace
