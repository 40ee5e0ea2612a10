// Exit: closing the board stops and closes every channel, then writes the list back.
#include <QDir>
#include <QFileInfo>
#include <QTimer>

#include "board_fixture.h"

namespace {

TEST_F(BoardTest, ClosingStopsAndClosesEveryChannelOnceThenWritesTheList) {
    Form1& b = start();
    mci.clear();
    b.close();
    Commands expected;
    for (int i = 0; i < kSlotCount; ++i)
        expected.push_back("stop A" + std::to_string(i)), expected.push_back("close A" + std::to_string(i));
    EXPECT_EQ(mci.commands(), expected);
    EXPECT_FALSE(b.Timer1->isActive());  // no fade tick after the channels are gone
    EXPECT_EQ(readList(), EmptyLines(0));
    EXPECT_TRUE(events.empty());

    mci.clear();
    b.close();
    b.Form_Unload();
    EXPECT_TRUE(mci.commands().empty());
}

// What the run changed is written; a slot caught in a fade-out is saved at the level it fades
// from, not the lowered one.
TEST_F(BoardTest, ChangesOfTheRunAreWrittenAndAFadeKeepsItsRememberedVolume) {
    writeList(ListLine(0, "0", "x", "x.wav", ".5", "800", "1", "0"));
    Form1& b = start();
    b.HScroll1[0]->setValue(400);
    b.Check2[0]->setChecked(true);
    b.Label4[0]->setText(QStringLiteral("Z"));
    b.Text1[0]->setText(QStringLiteral("renamed"));
    mci.playing.insert(0);
    b.StopSlot(0), b.FadeTick();
    ASSERT_LT(Bar(0), 400);
    b.close();
    EXPECT_TRUE(readList().startsWith(ListLine(0, "Z", "renamed", "x.wav", ".5", "400", "1", "1")));
}

TEST_F(BoardTest, UnwritableListIsToldToTheUser) {
    // A folder where the list should be: opening it fails both for reading and writing.
    ASSERT_TRUE(QDir().mkdir(QStringLiteral("SoundList.csv")));
    start().close();
    ASSERT_EQ(events.size(), 1u);
    const std::string prefix = "box 16 " + QDir::toNativeSeparators(QFileInfo(listPath()).absoluteFilePath()).toStdString() +
                               "を保存できません\n";
    EXPECT_EQ(events[0].rfind(prefix, 0), 0u) << events[0];
    EXPECT_GT(events[0].size(), prefix.size()) << "the system's reason is missing";
    EXPECT_TRUE(QFileInfo(listPath()).isDir());
}

}  // namespace
