// The board on the real media service and audio engine, rendered offline: a slot's key makes
// its tone sound, and a second press with the fade-out box ticked lets the tick walk it down
// to silence and put the volume back.
#include <QTest>
#include <QWindow>

#include <algorithm>
#include <cmath>

#include "board_fixture.h"
#include "channels/mci_channels.h"
#include "mci/mci_service.h"
#include "test_media.h"

namespace {

constexpr int kRate = 48000;
constexpr int kTickFrames = kRate / 10;  // audio made between two 100 ms ticks

class EngineTest : public BoardTest
{
protected:
    void SetUp() override {
        BoardTest::SetUp();
        ::mci::InstallService(&service);
        channels::SetMciSendFunction(&::mci::SendString);
        f->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(f.get()));
        f->KeyOperationOn();
    }
    void TearDown() override {
        f.reset();
        channels::SetMciSendFunction(nullptr);
        ::mci::InstallService(nullptr);
        BoardTest::TearDown();
    }

    // The RMS of what the engine plays over one tick.
    double RenderTick() {
        std::vector<float> block(kTickFrames * 2);
        service.renderOffline(block.data(), kTickFrames);
        double sum = 0;
        for (float s : block) sum += double(s) * s;
        return std::sqrt(sum / double(block.size()));
    }

    ::mci::Service service{::mci::Service::Offline};
};

TEST_F(EngineTest, AKeyPlaysTheSlotAndASecondPressFadesItOut) {
    const QString tone = QDir::current().filePath("tone.wav");
    testmedia::WriteWav(tone.toStdString(), kRate, 1, 8 * kRate,
                        [](int, std::int64_t n) { return float(0.5 * std::sin(2 * M_PI * 440 * n / kRate)); });
    f->Slots.SlotFile[4] = tone, f->Slots.SlotName[4] = "tone", f->Slots.SlotVolume[4] = 800;
    ASSERT_TRUE(channels::MciOpenSound(4, tone));
    f->AssignedSetUp(4, 1, 0);

    EXPECT_LT(RenderTick(), 1e-6) << "nothing plays before the key";
    QTest::keyClick(f->windowHandle(), Qt::Key_4);
    ASSERT_TRUE(channels::MciIsPlaying(4));
    const double full = 0.8 * 0.5 / std::sqrt(2.0);  // a sine of amplitude 0.5 at volume 800
    RenderTick();                                     // past the start
    EXPECT_NEAR(RenderTick(), full, 0.05 * full);

    QTest::keyClick(f->windowHandle(), Qt::Key_4);
    ASSERT_TRUE(f->Slots.FadeActive[4]);
    ASSERT_TRUE(channels::MciIsPlaying(4)) << "the fade, not the key, stops the sound";

    // Each tick lowers the bar by a tenth, and the audio follows the bar.
    std::vector<double> levels;
    while (f->Slots.FadeActive[4] && levels.size() < 60) {
        f->FadeTick();
        const double expected = full * Bar(4) / 800.0;
        levels.push_back(RenderTick());
        if (f->Slots.FadeActive[4]) {
            EXPECT_NEAR(levels.back(), expected, 0.03 * expected + 1e-4) << "tick " << levels.size();
        }
    }
    ASSERT_EQ(levels.size(), 44u) << "43 reductions from 800, the stop at the 44th tick";
    EXPECT_EQ(std::adjacent_find(levels.begin(), levels.end() - 1, std::less_equal<>()), levels.end() - 1)
        << "the level falls at every tick";
    EXPECT_LT(levels.back(), 0.02 * full);

    // Stopped, silent, and the volume the user set is back on the bar and the channel.
    EXPECT_FALSE(channels::MciIsPlaying(4));
    EXPECT_LT(RenderTick(), 1e-6);
    EXPECT_EQ(Bar(4), 800);
    char reply[16] = {};
    EXPECT_EQ(::mci::SendString("status A4 volume", reply, sizeof reply, nullptr), 0u);
    EXPECT_STREQ(reply, "800");
}

}  // namespace
