// The sound server dies while two slots play: the service carries on on the null output, so the
// sounds keep their time, the key labels keep telling which slots play and the controls work;
// when the server comes back the sound moves back to it within a second, from where it was.
// A private PulseAudio server plays the device.
#include <QElapsedTimer>
#include <QThread>
#include <optional>

#include "board_fixture.h"
#include "private_pulse.h"
#include "skip_outside_ci.h"
#include "test_media.h"

namespace {

class DeviceLoss : public BoardTest {
protected:
    void SetUp() override {
        if (!testpulse::HaveProgram("pulseaudio"))
            SKIP_OUTSIDE_CI("pulseaudio is not installed (make deps installs it)");
        pulse.emplace("lost");
        if (pulse->address().empty()) SKIP_OUTSIDE_CI("the private PulseAudio server did not start");
        server.emplace("PULSE_SERVER", pulse->address().c_str());
        BoardTest::SetUp();
        toolkit::SetBoardFolderForTests(QDir::currentPath());
        service = &useRealService(::mci::Service::Device);
        // The server is there and answers: any other output is the engine's choice, and wrong.
        ASSERT_EQ(output(), "pulseaudio") << "the service did not open the PulseAudio server it was given";
    }
    std::string output() { return service ? service->engine().outputName() : ""; }
    void waitMs(int ms) {  // real time passing with the board's timer ticking
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < ms) {
            QThread::msleep(100);
            f->FadeTick();
        }
    }
    // Whether the slot's channel plays, next to whether its key label says so: the two agree.
    std::pair<bool, bool> state(int i) const { return {channels::MciIsPlaying(i), keyColor(i) == kLit}; }
    static std::int64_t positionMs(int channel) {
        char reply[32] = {};
        ::mci::SendString(("status A" + std::to_string(channel) + " position").c_str(), reply, sizeof reply, nullptr);
        return std::atoll(reply);
    }
    const std::pair<bool, bool> kPlaying{true, true}, kIdle{false, false};
    ::mci::Service* service = nullptr;
    std::optional<testpulse::PrivatePulse> pulse;
    std::optional<testpulse::ScopedEnv> server;
};

TEST_F(DeviceLoss, SoundsCarryOnWithoutTheServerAndGoBackToItFromWhereTheyWere) {
    for (const auto& [name, seconds] : {std::pair{"long.wav", 4}, {"longer.wav", 30}})
        testmedia::WriteWav(path(name).toStdString(), 48000, 2, seconds * 48000);
    start();
    drop(0, path("long.wav"));
    drop(1, path("longer.wav"));
    f->PlaySlot(0);
    f->PlaySlot(1);
    waitMs(800);
    ASSERT_EQ(state(0), kPlaying);

    pulse->stop(SIGKILL);
    for (int waited = 0; output() != "null" && waited < 5000; waited += 100) waitMs(100);
    ASSERT_EQ(output(), "null") << "the lost device was not replaced";
    EXPECT_EQ(state(0), kPlaying);
    const std::int64_t before = positionMs(1);
    waitMs(500);
    EXPECT_NEAR(double(positionMs(1) - before), 500.0, 250.0);
    waitMs(4000);
    EXPECT_EQ(state(0), kIdle) << "four seconds are up";
    f->StopSlot(1);  // the controls still act
    f->PlaySlot(0);
    waitMs(200);
    EXPECT_EQ(std::pair(state(0), state(1)), std::pair(kPlaying, kIdle));

    ASSERT_TRUE(pulse->start());
    QElapsedTimer back;
    back.start();
    const std::int64_t beforeReturn = positionMs(0);
    while (output() != "pulseaudio" && back.elapsed() < 3000) waitMs(50);
    EXPECT_EQ(output(), "pulseaudio");
    EXPECT_LT(back.elapsed(), 1000);
    waitMs(300);
    EXPECT_EQ(state(0), kPlaying);
    EXPECT_NEAR(double(positionMs(0) - beforeReturn), double(back.elapsed()), 250.0);
    EXPECT_TRUE(events.empty());
}

}  // namespace
