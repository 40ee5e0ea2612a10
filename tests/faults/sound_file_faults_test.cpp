// A sound file deleted, cut short or replaced while its slot plays: that slot plays what it
// can and stops, nothing crashes, and the slot next to it plays on untouched. The board runs
// on the real media service with an offline engine, so the audio is rendered by the test.
#include <QProcess>
#include <QStandardPaths>
#include <random>

#include "fault_fixture.h"
#include "toolkit/colors.h"

namespace faults {
namespace {

enum class Damage { Delete, CutToHeader, CutToNothing, OverwriteWithNoise, ReplaceByRename };

struct Case {
    const char* name;
    Damage damage;
};
void PrintTo(const Case& c, std::ostream* out) { *out << c.name; }


constexpr std::uint32_t kPlayingColor = 0xFF80FF;
constexpr std::uint32_t kIdleColor = 0xFFFFFF;

// The damaged sound as a plain WAV (read as it plays) and as an MP3 (frames decoded as it plays).
enum class Format { Wav, Mp3 };

class SoundFileFault : public BoardOnRealService, public ::testing::WithParamInterface<std::tuple<Format, Case>> {
protected:
    // Renders `ms` milliseconds in timer ticks, as the board's 100 ms timer would see them.
    void playFor(int ms) {
        for (int t = 0; t < ms; t += 100) {
            RenderPeak(service(), 4800);
            board->FadeTick();
        }
    }

    std::int64_t positionMs(int channel) {
        char reply[32] = {};
        mci::SendString(("status A" + std::to_string(channel) + " position").c_str(), reply, sizeof reply, nullptr);
        return std::atoll(reply);
    }

    void damage(const QString& path, Damage how) {
        switch (how) {
        case Damage::Delete: ASSERT_TRUE(QFile::remove(path)); break;
        case Damage::CutToHeader: ASSERT_TRUE(QFile::resize(path, 44 + 100)); break;
        case Damage::CutToNothing: ASSERT_TRUE(QFile::resize(path, 0)); break;
        case Damage::OverwriteWithNoise: {
            // Same file, same size, new bytes: what a program saving over it in place leaves.
            QByteArray noise(int(QFileInfo(path).size()), '\0');
            std::mt19937 random(7);
            for (char& c : noise) c = char(random());
            QFile file(path);
            ASSERT_TRUE(file.open(QIODevice::ReadWrite));
            ASSERT_EQ(file.write(noise), noise.size());
            break;
        }
        case Damage::ReplaceByRename: {
            WriteFile(path + ".new", ToneWav(0.1));
            ASSERT_TRUE(std::rename((path + ".new").toLocal8Bit().constData(), path.toLocal8Bit().constData()) == 0);
            break;
        }
        }
    }
};

TEST_P(SoundFileFault, TheSlotStopsOrPlaysWhatItCanAndTheBoardCarriesOn) {
    const auto [format, damageCase] = GetParam();
    WriteFile(pathOf("victim.wav"), ToneWav(3.0));
    WriteFile(pathOf("neighbour.wav"), ToneWav(6.0));
    QString victim = pathOf("victim.wav");
    if (format == Format::Mp3) {
        if (QStandardPaths::findExecutable("ffmpeg").isEmpty()) GTEST_SKIP() << "no ffmpeg to make an MP3";
        victim = pathOf("victim.mp3");
        ASSERT_EQ(QProcess::execute("ffmpeg", {"-y", "-v", "error", "-i", pathOf("victim.wav"), victim}), 0);
    }
    loadBoard();
    drop(0, victim);
    drop(1, pathOf("neighbour.wav"));
    ASSERT_TRUE(assigned(0) && assigned(1));
    board->PlaySlot(0);
    board->PlaySlot(1);
    playFor(500);
    ASSERT_TRUE(channels::MciIsPlaying(0));
    EXPECT_EQ(toolkit::BackColor(board->Label4[0]), kPlayingColor);

    damage(victim, damageCase.damage);
    const std::int64_t neighbourBefore = positionMs(1);
    playFor(1000);
    EXPECT_TRUE(channels::MciIsPlaying(1));
    EXPECT_NEAR(double(positionMs(1) - neighbourBefore), 1000.0, 50.0) << "the neighbour lost time";

    // Long past the damaged sound's own length it has stopped, and its key label says so.
    playFor(3000);
    EXPECT_FALSE(channels::MciIsPlaying(0));
    EXPECT_EQ(toolkit::BackColor(board->Label4[0]), kIdleColor);
    EXPECT_TRUE(channels::MciIsPlaying(1));
    EXPECT_EQ(toolkit::BackColor(board->Label4[1]), kPlayingColor);

    // Pressing Play again on the damaged slot is harmless as well.
    board->PlaySlot(0);
    playFor(3000);
    EXPECT_FALSE(channels::MciIsPlaying(0));
    EXPECT_TRUE(assigned(0)) << "the slot keeps its sound; the user decides what to do with it";
    EXPECT_TRUE(messages.isEmpty());

    // The neighbour still answers its controls.
    board->StopSlot(1);
    playFor(200);
    EXPECT_FALSE(channels::MciIsPlaying(1));
}

INSTANTIATE_TEST_SUITE_P(
    WhilePlaying, SoundFileFault,
    ::testing::Combine(::testing::Values(Format::Wav, Format::Mp3),
                       ::testing::Values(Case{"Deleted", Damage::Delete}, Case{"CutToHeader", Damage::CutToHeader},
                                         Case{"CutToNothing", Damage::CutToNothing},
                                         Case{"OverwrittenWithNoise", Damage::OverwriteWithNoise},
                                         Case{"ReplacedByRename", Damage::ReplaceByRename})),
    [](const ::testing::TestParamInfo<std::tuple<Format, Case>>& info) {
        return std::string(std::get<0>(info.param) == Format::Wav ? "Wav" : "Mp3") + std::get<1>(info.param).name;
    });

}  // namespace
}  // namespace faults
