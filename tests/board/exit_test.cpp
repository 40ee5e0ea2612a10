// Exit: closing the board stops and closes every channel, then writes the list back.
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QTest>
#include <QTimer>

#include "board_fixture.h"
#include "dialogs/details/details_dialog.h"
#include "dialogs/hotkey/hotkey_dialog.h"

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
    b.Slots.SlotName[0] = QStringLiteral("renamed"), b.Text1[0]->setText(QStringLiteral("renamed"));
    mci.playing.insert(0);
    b.StopSlot(0), b.FadeTick();
    ASSERT_LT(Bar(0), 400);
    b.close();
    EXPECT_TRUE(readList().startsWith(ListLine(0, "Z", "renamed", "x.wav", ".5", "400", "1", "1")));
}

// A list that cannot be written is told, and the board is kept elsewhere: here in the
// temporary folder, since the state folder cannot be made either.
TEST_F(BoardTest, UnwritableListIsToldToTheUserAndTheBoardKeptElsewhere) {
    // A folder where the list should be: opening it fails both for reading and writing.
    ASSERT_TRUE(QDir().mkdir(QStringLiteral("SoundList.csv")));
    QFile(QDir::current().filePath("state")).open(QIODevice::WriteOnly);  // a file where that folder should be
    const QString temp = QDir::current().filePath("temp");
    QDir().mkpath(temp);
    qputenv("TMPDIR", temp.toLocal8Bit());
    start().close();
    qunsetenv("TMPDIR");
    ASSERT_EQ(events.size(), 1u);
    const QStringList files = QDir(temp).entryList({"SoundList-*.csv"}, QDir::Files);
    ASSERT_EQ(files.size(), 1);
    const std::string prefix = "box 16 " + QDir::toNativeSeparators(QFileInfo(listPath()).absoluteFilePath()).toStdString() +
                               "を保存できません\n",
                      end = "\n代わりに" + QDir::toNativeSeparators(temp + "/" + files[0]).toStdString() + "に保存しました";
    EXPECT_EQ(events[0].rfind(prefix, 0), 0u) << events[0];
    EXPECT_GT(events[0].size(), prefix.size() + end.size()) << "the system's reason is missing";
    EXPECT_EQ(events[0].substr(events[0].size() - end.size()), end);
    QFile file(temp + "/" + files[0]);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly) && file.readAll() == EmptyLines(0));
    EXPECT_TRUE(QFileInfo(listPath()).isDir());
}

// Quotes the dialogs accept, in a name before a comma and as a key, come back run after run,
// and move no other record.
TEST_F(BoardTest, QuotesTypedIntoTheDialogsSurviveTheList) {
    writeList(ListLine(0, "0", "a", "a.wav", "0", "800", "0", "0") + EmptyLines(1, 5) +
              ListLine(5, "5", "b", "b.wav", "0", "700", "1", "0") + EmptyLines(6));
    Form1& b = start();
    f->Slots.SelectedSlot = 0;
    QObject scope;  // the answers below, and a fallback that closes a dialog left open
    QTimer::singleShot(0, &scope, [] {
        auto* details = qobject_cast<Form3*>(QApplication::activeModalWidget());
        details->Text1->setText(QStringLiteral("Hi\", he said"));
        details->Command1->click();
        QTimer::singleShot(0, [] {
            auto* hotkey = qobject_cast<Form2*>(QApplication::activeModalWidget());
            QTest::sendKeyEvent(QTest::Click, hotkey->windowHandle(), Qt::Key_unknown, "\"", {});
            hotkey->Command1->click();
        });
    });
    QTimer::singleShot(5000, &scope, [] { if (QWidget* w = QApplication::activeModalWidget()) w->close(); });
    b.mnuSoundFile_Click();
    b.mnuHotkey_Click();
    b.close();
    const QByteArray list = readList();
    for (int run = 0; run < 2; ++run) {
        Form1& again = start();
        EXPECT_EQ(LooksOf(again, 0), Assigned("a.wav", "Hi\", he said", "\"", 800));
        EXPECT_EQ(LooksOf(again, 5), Assigned("b.wav", "b", "5", 700, true));
        again.close();
        EXPECT_EQ(readList(), list);
    }
}

}  // namespace
