// The board on the real media service and audio engine, rendered offline: a slot's key makes
// its tone sound, and a second press with the fade-out box ticked lets the tick walk it down
// to silence and put the volume back.
#include <QDataStream>
#include <QTest>
#include <QWindow>

#include <cmath>

#include "board_fixture.h"
#include "channels/mci_channels.h"
#include "mci/mci_service.h"

namespace {

constexpr int kRate = 48000;
constexpr int kTickFrames = kRate / 10;  // audio made between two 100 ms ticks
constexpr double kToneAmplitude = 0.5;

// A mono 16-bit PCM WAV of a sine tone.
QByteArray ToneWav(double frequency, double seconds) {
    const auto frames = static_cast<quint32>(seconds * kRate);
    QByteArray data;
    QDataStream out(&data, QIODevice::WriteOnly);
    out.setByteOrder(QDataStream::LittleEndian);
    out.writeRawData("RIFF", 4);
    out << quint32(36 + frames * 2);
    out.writeRawData("WAVEfmt ", 8);
    out << quint32(16) << quint16(1) << quint16(1) << quint32(kRate) << quint32(kRate * 2) << quint16(2)
        << quint16(16);
    out.writeRawData("data", 4);
    out << quint32(frames * 2);
    for (quint32 n = 0; n < frames; ++n)
        out << qint16(std::lround(32767 * kToneAmplitude * std::sin(2.0 * M_PI * frequency * n / kRate)));
    return data;
}

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
    QFile file(tone);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(ToneWav(440, 8));
    file.close();
    SlotFile(4) = tone;
    SlotName(4) = "tone";
    SlotVolume(4) = 800;
    ASSERT_TRUE(channels::MciOpenSound(4, tone));
    f->AssignedSetUp(4, 1, 0);

    EXPECT_LT(RenderTick(), 1e-6) << "nothing plays before the key";
    QTest::keyClick(f->windowHandle(), Qt::Key_4);
    ASSERT_TRUE(channels::MciIsPlaying(4));

    // A sine of amplitude a at volume 800 has an RMS of 0.8 a / sqrt 2.
    const double full = 0.8 * kToneAmplitude / std::sqrt(2.0);
    RenderTick();  // past the start
    EXPECT_NEAR(RenderTick(), full, 0.05 * full);

    QTest::keyClick(f->windowHandle(), Qt::Key_4);
    ASSERT_TRUE(FadeActive(4));
    ASSERT_TRUE(channels::MciIsPlaying(4)) << "the fade, not the key, stops the sound";

    // Each tick lowers the bar by a tenth, and the audio follows the bar.
    std::vector<double> levels;
    std::vector<int> bars;
    while (FadeActive(4) && levels.size() < 60) {
        f->FadeTick();
        bars.push_back(Bar(4));
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
    EXPECT_EQ(Bar(4), 800);
    char reply[16] = {};
    EXPECT_EQ(::mci::SendString("status A4 volume", reply, sizeof reply, nullptr), 0u);
    EXPECT_STREQ(reply, "800");
}

}  // namespace
