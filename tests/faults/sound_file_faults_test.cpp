// A sound file deleted, cut short or replaced while its slot plays: that slot plays what it
// can and stops, nothing crashes, and the slot next to it plays on untouched. The engine runs
// offline, so the test renders the audio itself.
#include <QStandardPaths>
#include <random>

#include "fault_fixture.h"

namespace {

struct Damage { const char* name; void (*apply)(const QString& path); };
const Damage kDamages[] = {
    {"Deleted", [](const QString& path) { ASSERT_TRUE(QFile::remove(path)); }},
    {"CutToHeader", [](const QString& path) { ASSERT_TRUE(QFile::resize(path, 44 + 100)); }},
    {"CutToNothing", [](const QString& path) { ASSERT_TRUE(QFile::resize(path, 0)); }},
    // Same file, same size, new bytes: what a program saving over it in place leaves.
    {"OverwrittenWithNoise",
     [](const QString& path) {
         QByteArray noise(int(QFileInfo(path).size()), '\0');
         std::mt19937 random(7);
         for (char& c : noise) c = char(random());
         WriteBytes(path, noise);
     }},
    {"ReplacedByRename", [](const QString& path) {
         WriteTone(path + ".new", 0.1);
         ASSERT_EQ(std::rename(qPrintable(path + ".new"), qPrintable(path)), 0);
     }},
};

// The damaged sound as a WAV (read as it plays) and as an MP3 (frames decoded as it plays).
class SoundFileFault : public BoardOnRealService,
                       public ::testing::WithParamInterface<std::tuple<const char*, Damage>> {
protected:
    // Renders `ms` milliseconds in the board's 100 ms timer ticks.
    void playFor(int ms) {
        std::vector<float> block(4800 * 2);
        for (int t = 0; t < ms; t += 100) {
            service().renderOffline(block.data(), 4800);
            for (float x : block) ASSERT_TRUE(std::isfinite(x));
            board->FadeTick();
        }
    }
};

TEST_P(SoundFileFault, TheSlotStopsOrPlaysWhatItCanAndTheBoardCarriesOn) {
    const auto [format, damage] = GetParam();
    WriteTone(pathOf("victim.wav"), 3.0);
    WriteTone(pathOf("neighbour.wav"), 6.0);
    QString victim = pathOf("victim.wav");
    if (format == std::string("Mp3")) {
        if (QStandardPaths::findExecutable("ffmpeg").isEmpty()) GTEST_SKIP() << "no ffmpeg to make an MP3";
        victim = pathOf("victim.mp3");
        ASSERT_TRUE(testmedia::Convert(pathOf("victim.wav").toStdString(), "", victim.toStdString()));
    }
    loadBoard();
    drop(0, victim), drop(1, pathOf("neighbour.wav"));
    ASSERT_TRUE(assigned(0) && assigned(1));
    board->PlaySlot(0), board->PlaySlot(1);
    playFor(500);
    ASSERT_EQ(state(0), kPlaying);

    damage.apply(victim);
    const std::int64_t neighbourBefore = positionMs(1);
    playFor(1000);
    EXPECT_NEAR(double(positionMs(1) - neighbourBefore), 1000.0, 50.0) << "the neighbour lost time";
    // Long past the damaged sound's own length it has stopped, and its key label says so.
    playFor(3000);
    EXPECT_EQ(state(0), kIdle);
    EXPECT_EQ(state(1), kPlaying);

    // Play again on the damaged slot is harmless; the slot keeps its sound for the user to judge.
    board->PlaySlot(0);
    playFor(3000);
    EXPECT_EQ(state(0), kIdle);
    EXPECT_TRUE(assigned(0));
    EXPECT_TRUE(messages.isEmpty());
    board->StopSlot(1);  // the neighbour still answers its controls
    playFor(200);
    EXPECT_EQ(state(1), kIdle);
}

INSTANTIATE_TEST_SUITE_P(WhilePlaying, SoundFileFault,
                         ::testing::Combine(::testing::Values("Wav", "Mp3"), ::testing::ValuesIn(kDamages)),
                         [](const auto& info) {
                             return std::string(std::get<0>(info.param)) + std::get<1>(info.param).name;
                         });

}  // namespace
