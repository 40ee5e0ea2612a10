// Exit: closing the board stops and closes every channel, then writes the list back.
#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QScrollBar>
#include <QStringEncoder>
#include <QTimer>

#include "board/window/slot_label.h"
#include "startup_fixture.h"

namespace startup_tests {
namespace {

QByteArray EmptyBoardList() {
    QByteArray bytes;
    for (int i = 0; i < kSlotCount; ++i) bytes += EmptyLine(i);
    return bytes;
}

TEST_F(StartupFixture, ClosingStopsAndClosesEveryChannelThenWritesTheList) {
    writeList(ListLine(0, "0", "x", "x.wav", "0", "800", "0", "0"));
    Form1& f = start();
    mci.clear();

    f.close();

    std::vector<std::string> expected;
    for (int i = 0; i < kSlotCount; ++i) {
        expected.push_back("stop A" + std::to_string(i));
        expected.push_back("close A" + std::to_string(i));
    }
    EXPECT_EQ(mci.commands(), expected);
    EXPECT_TRUE(mci.open.empty());
    EXPECT_FALSE(f.Timer1->isActive());  // no fade tick after the channels are gone

    // The exit steps run once, however often the window is told to close.
    mci.clear();
    f.close();
    f.Form_Unload();
    EXPECT_TRUE(mci.commands().empty());
}

TEST_F(StartupFixture, EmptyBoardIsWrittenAsThirtyEightEmptyLines) {
    start().close();
    EXPECT_EQ(readList(), EmptyBoardList());
    EXPECT_TRUE(boxes.empty());
}

// What the board reads it writes back byte for byte: keys, names with commas and blanks,
// Japanese text, starts with fractions, volumes and check states.
TEST_F(StartupFixture, ListSurvivesARunUnchanged) {
    QStringEncoder cp932("windows-31j");
    const QByteArray japaneseName = cp932.encode(QStringLiteral("拍手　大"));
    QByteArray list = ListLine(0, "Q", "Bell, loud", "bell.wav", "0", "800", "1", "0") +
                      ListLine(1, "1", "  spaced", "snd/horn.mp3", ".5", "250", "0", "1") +
                      ListLine(2, "*", japaneseName.constData(), "/abs/clap.ogg", "12.25", "1000", "1", "1") +
                      ListLine(3, "3", "", "", "0", "0", "0", "0") +
                      ListLine(4, "!", "quiet", "q.wav", "3", "0", "0", "0");
    for (int i = 5; i < kSlotCount; ++i) list += EmptyLine(i);
    writeList(list);

    start().close();
    EXPECT_EQ(readList(), list);

    // And a second run reads the written list into the same board.
    Form1& again = restart();
    EXPECT_EQ(again.Text1[2]->text(), QStringLiteral("拍手　大"));
    EXPECT_EQ(SlotName(0), QStringLiteral("Bell, loud"));
    EXPECT_EQ(SlotName(1), QStringLiteral("  spaced"));
    again.close();
    EXPECT_EQ(readList(), list);
}

TEST_F(StartupFixture, ChangesOfTheRunAreWritten) {
    writeList(ListLine(0, "0", "x", "x.wav", ".5", "800", "0", "0"));
    Form1& f = start();
    f.HScroll1[0]->setValue(400);
    f.Check1[0]->setChecked(true);
    f.Check2[0]->setChecked(true);
    f.Label4[0]->setText(QStringLiteral("Z"));
    f.Text1[0]->setText(QStringLiteral("renamed"));
    f.close();
    EXPECT_TRUE(readList().startsWith(ListLine(0, "Z", "renamed", "x.wav", ".5", "400", "1", "1")));
}

// A slot caught in a fade-out is saved at the level it fades from, not the lowered one.
TEST_F(StartupFixture, FadingSlotIsWrittenWithItsRememberedVolume) {
    writeList(ListLine(0, "0", "x", "x.wav", "0", "800", "1", "0"));
    Form1& f = start();
    mci.playing.insert(0);
    f.StopSlot(0);
    f.FadeTick();
    f.FadeTick();
    ASSERT_TRUE(FadeActive(0));
    ASSERT_LT(f.HScroll1[0]->value(), 800);

    f.close();
    EXPECT_TRUE(readList().startsWith(ListLine(0, "0", "x", "x.wav", "0", "800", "1", "0")));
}

TEST_F(StartupFixture, UnwritableListIsToldToTheUser) {
    // A folder where the list should be: opening it fails both for reading and writing.
    ASSERT_TRUE(QDir(folder()).mkdir(QStringLiteral("SoundList.csv")));
    start().close();

    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].style, 0x10);
    const QString prefix = QDir::toNativeSeparators(QFileInfo(listPath()).absoluteFilePath()) +
                           QStringLiteral("を保存できません\n");
    EXPECT_TRUE(boxes[0].text.startsWith(prefix)) << boxes[0].text.toStdString();
    EXPECT_GT(boxes[0].text.size(), prefix.size()) << "the system's reason is missing";
    EXPECT_TRUE(QFileInfo(listPath()).isDir());
}

}  // namespace
}  // namespace startup_tests
