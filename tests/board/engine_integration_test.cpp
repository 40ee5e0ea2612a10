// The board on the real media service and audio engine, rendered offline: a slot's key makes
// its tone sound, and a second press with the fade-out box ticked lets the tick walk it down
// to silence and put the volume back.
#include <QCheckBox>
#include <QFile>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QWindow>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <memory>
#include <vector>

#include "board/slot_table.h"
#include "board/window/form1.h"
#include "channels/mci_channels.h"
#include "mci/mci_service.h"

namespace {

constexpr int kRate = 48000;
constexpr int kTickFrames = kRate / 10;  // audio made between two 100 ms ticks
constexpr double kToneAmplitude = 0.5;

// A mono 16-bit PCM WAV of a sine tone.
bool WriteToneWav(const QString& path, double frequency, double seconds) {
    const auto frames = static_cast<std::uint32_t>(seconds * kRate);
    QByteArray data;
    auto put16 = [&data](std::uint16_t v) { data.append(char(v & 0xFF)).append(char(v >> 8)); };
    auto put32 = [&put16](std::uint32_t v) { put16(std::uint16_t(v & 0xFFFF)); put16(std::uint16_t(v >> 16)); };
    data.append("RIFF");
    put32(36 + frames * 2);
    data.append("WAVEfmt ");
    put32(16);
    put16(1);  // PCM
    put16(1);  // mono
    put32(kRate);
    put32(kRate * 2);
    put16(2);
    put16(16);
    data.append("data");
    put32(frames * 2);
    for (std::uint32_t n = 0; n < frames; ++n) {
        const double s = kToneAmplitude * std::sin(2.0 * M_PI * frequency * n / kRate);
        put16(static_cast<std::uint16_t>(static_cast<std::int16_t>(std::lround(s * 32767))));
    }
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(data) == data.size();
}

double Rms(const std::vector<float>& block) {
    double sum = 0;
    for (float s : block) sum += double(s) * s;
    return std::sqrt(sum / double(block.size()));
}

}  // namespace

class EngineBoard : public ::testing::Test
{
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        ResetSlotTable();
        mci::InstallService(&service);
        channels::SetMciSendFunction(&mci::SendString);
        board = std::make_unique<Form1>();
        board->HotKey = board->HotKey0 = QStringLiteral("0123456789/*-+.ABCDEFGHIJKLMNOPQRSTUVW");
        board->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(board.get()));
        board->KeyOperationOn();
    }
    void TearDown() override {
        board.reset();
        channels::SetMciSendFunction(nullptr);
        mci::InstallService(nullptr);
    }

    // What the engine plays over one tick.
    double RenderTick() {
        std::vector<float> block(kTickFrames * 2);
        service.renderOffline(block.data(), kTickFrames);
        return Rms(block);
    }

    QTemporaryDir dir;
    mci::Service service{mci::Service::Offline};
    std::unique_ptr<Form1> board;
};

TEST_F(EngineBoard, AKeyPlaysTheSlotAndASecondPressFadesItOut) {
    const QString tone = dir.filePath("tone.wav");
    ASSERT_TRUE(WriteToneWav(tone, 440, 8));
    SlotFile(4) = tone;
    SlotName(4) = "tone";
    SlotVolume(4) = 800;
    ASSERT_TRUE(channels::MciOpenSound(4, tone));
    board->AssignedSetUp(4, 1, 0);
    ASSERT_TRUE(board->Check1[4]->isChecked());

    EXPECT_LT(RenderTick(), 1e-6) << "nothing plays before the key";
    QTest::keyClick(board->windowHandle(), Qt::Key_4);
    ASSERT_TRUE(channels::MciIsPlaying(4));

    // A sine of amplitude a at volume 800 has an RMS of 0.8 a / sqrt 2.
    const double full = 0.8 * kToneAmplitude / std::sqrt(2.0);
    RenderTick();  // past the start
    const double playing = RenderTick();
    EXPECT_NEAR(playing, full, 0.05 * full);

    QTest::keyClick(board->windowHandle(), Qt::Key_4);
    ASSERT_TRUE(FadeActive(4));
    ASSERT_TRUE(channels::MciIsPlaying(4)) << "the fade, not the key, stops the sound";

    // Each tick lowers the bar by a tenth, and the audio follows the bar.
    std::vector<double> levels;
    std::vector<int> bars;
    while (FadeActive(4) && levels.size() < 60) {
        board->FadeTick();
        bars.push_back(board->HScroll1[4]->value());
        levels.push_back(RenderTick());
    }
    ASSERT_EQ(levels.size(), 44u) << "43 reductions from 800, the stop at the 44th tick";
    for (std::size_t k = 0; k + 1 < levels.size(); ++k) {
        const double expected = full * bars[k] / 800.0;
        EXPECT_NEAR(levels[k], expected, 0.03 * expected + 1e-4) << "tick " << k + 1;
        if (k > 0) EXPECT_LT(levels[k], levels[k - 1]) << "tick " << k + 1;
    }
    EXPECT_LT(levels.back(), 0.02 * full) << "the stop comes at the 44th tick";

    // Stopped, silent, and the volume the user set is back on the bar and the channel.
    EXPECT_FALSE(channels::MciIsPlaying(4));
    EXPECT_LT(RenderTick(), 1e-6);
    EXPECT_EQ(board->HScroll1[4]->value(), 800);
    EXPECT_EQ(SlotVolume(4), 800);
    char reply[16] = {};
    EXPECT_EQ(mci::SendString("status A4 volume", reply, sizeof reply, nullptr), 0u);
    EXPECT_STREQ(reply, "800");
}
