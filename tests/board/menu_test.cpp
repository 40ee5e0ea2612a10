// The slot pop-up menu and its release and folder commands: which questions are asked, with
// a beep before each, what a Cancel keeps and what a release leaves on the board.
#include <QApplication>
#include <QMenu>
#include <QPointer>
#include <QTest>
#include <QTimer>

#include "assign_fixture.h"

using namespace assign_tests;

namespace {

const std::string kAskOne = "box 289 サウンドファイル\"bell\"を登録解除しますか";
const std::string kAskAll1 = "box 289 すべてのサウンドファイルを登録解除しますか";
const std::string kAskAll2 = "box 289 ほんとうにいいですか？";
const std::string kAskAll3 = "box 289 後悔しませんか？";

class MenuTest : public BoardFixture {};

void ExpectEmptyLooks(const Form1& f, int i) {
    SCOPED_TRACE(i);
    EXPECT_TRUE(SlotFile(i).isEmpty());
    EXPECT_TRUE(SlotName(i).isEmpty());
    EXPECT_EQ(SlotVolume(i), 0);
    EXPECT_EQ(SlotStart(i), 0.0);
    EXPECT_EQ(f.Text1[i]->text(), "");
    EXPECT_EQ(toolkit::BackColor(f.Text1[i]), 0xFFFFFFu);
    EXPECT_FALSE(f.Command1[i]->isEnabled());
    EXPECT_FALSE(f.Command2[i]->isEnabled());
    EXPECT_FALSE(f.Check1[i]->isEnabled());
    EXPECT_FALSE(f.Check2[i]->isEnabled());
    EXPECT_FALSE(f.Check1[i]->isChecked());
    EXPECT_FALSE(f.Check2[i]->isChecked());
    EXPECT_EQ(f.HScroll1[i]->value(), 0);
    EXPECT_FALSE(f.HScroll1[i]->isEnabled());
    EXPECT_EQ(toolkit::BackColor(f.Label4[i]), 0xFFFFFFu);
}

TEST_F(MenuTest, ReleaseOneOnAnEmptySlotDoesNothing) {
    SelectedSlot() = 4;
    f->mnuDelSoundFile_Click();
    EXPECT_TRUE(events.empty());
    EXPECT_TRUE(mci.commands().empty());
}

TEST_F(MenuTest, ReleaseOneAsksOnceAfterABeep) {
    for (const int answer : {toolkit::kAnswerCancel, toolkit::kAnswerOk}) {
        SCOPED_TRACE(answer);
        Restart();
        f->Label4[5]->setText("K");
        Assign(5, "/home/u/board/bell.wav");
        Assign(6, "/srv/other.wav");
        f->Check1[5]->setChecked(true);
        f->Check2[5]->setChecked(true);
        mci.playing.insert(5);
        toolkit::SetBackColor(f->Label4[5], 0xFF80FF);
        const SlotLooks before = LooksOf(*f, 5);
        const SlotLooks other = LooksOf(*f, 6);
        SelectedSlot() = 5;
        answers = {answer};

        f->mnuDelSoundFile_Click();

        EXPECT_EQ(events, (std::vector<std::string>{"beep", kAskOne}));
        EXPECT_EQ(LooksOf(*f, 6), other);
        if (answer == toolkit::kAnswerCancel) {
            EXPECT_EQ(LooksOf(*f, 5), before);
            EXPECT_TRUE(mci.commands().empty());
            continue;
        }
        ExpectEmptyLooks(*f, 5);
        EXPECT_EQ(f->Label4[5]->text(), "K") << "the key stays with the slot";
        // Closing the channel ends the sound; the volume then goes to a closed channel.
        EXPECT_EQ(mci.commands(),
                  (std::vector<std::string>{"close A5", "setaudio A5 volume to  0"}));
        EXPECT_FALSE(mci.playing.count(5));
    }
}

TEST_F(MenuTest, ReleaseAllTakesThreeYeses) {
    struct Case {
        std::deque<int> answers;
        std::vector<std::string> events;
    };
    const int ok = toolkit::kAnswerOk, cancel = toolkit::kAnswerCancel;
    const Case cases[] = {
        {{cancel}, {"beep", kAskAll1}},
        {{ok, cancel}, {"beep", kAskAll1, "beep", kAskAll2}},
        {{ok, ok, cancel}, {"beep", kAskAll1, "beep", kAskAll2, "beep", kAskAll3}},
        {{ok, ok, ok}, {"beep", kAskAll1, "beep", kAskAll2, "beep", kAskAll3}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.answers.size());
        Restart();
        Assign(0, "/srv/a.wav");
        Assign(37, "/srv/b.wav");
        mci.playing.insert(37);
        const SlotLooks first = LooksOf(*f, 0), last = LooksOf(*f, 37);
        answers = c.answers;

        f->mnuAllClear_Click();

        EXPECT_EQ(events, c.events);
        if (c.answers.back() == cancel) {
            EXPECT_EQ(LooksOf(*f, 0), first);
            EXPECT_EQ(LooksOf(*f, 37), last);
            EXPECT_TRUE(mci.commands().empty());
            continue;
        }
        std::vector<std::string> closes;
        for (const std::string& cmd : mci.commands())
            if (cmd.rfind("close", 0) == 0) closes.push_back(cmd);
        ASSERT_EQ(closes.size(), 38u);
        for (int i = 0; i < kSlotCount; ++i) {
            EXPECT_EQ(closes[i], "close A" + std::to_string(i));
            ExpectEmptyLooks(*f, i);
        }
    }
}

TEST_F(MenuTest, ReleaseAllOnAnEmptyBoardStillAsksThreeTimes) {
    answers = {toolkit::kAnswerOk, toolkit::kAnswerOk, toolkit::kAnswerOk};
    f->mnuAllClear_Click();
    EXPECT_EQ(events,
              (std::vector<std::string>{"beep", kAskAll1, "beep", kAskAll2, "beep", kAskAll3}));
}

TEST_F(MenuTest, ReleaseReplacesARecordKeptFromStartUp) {
    KeptRecord(9) = board::SlotRecord{};
    f->ReleaseSlot(9);
    EXPECT_FALSE(KeptRecord(9).has_value());
}

TEST_F(MenuTest, OpenFolderHandsTheProgramFolderToTheFileManager) {
    for (const bool starts : {true, false}) {
        events.clear();
        openFolderSucceeds = starts;
        f->mnuOpenFolder_Click();
        // A file manager that cannot be started is not worth a message.
        EXPECT_EQ(events, (std::vector<std::string>{"open folder /home/u/board"}));
    }
}

// Presses a mouse button on a widget of the board and reports the pop-up menu that opened,
// if any; the menu is answered (an action chosen, or closed) from inside its own loop.
struct PopupSeen {
    bool opened = false;
    QStringList items;
};

PopupSeen PressAndAnswerPopup(QWidget* target, Qt::MouseButton button, QAction* choose) {
    PopupSeen seen;
    // Timers owned here, so none can fire into a later test.
    QTimer answer;
    answer.setSingleShot(true);
    QObject::connect(&answer, &QTimer::timeout, [&seen, choose] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (!menu) return;
        seen.opened = true;
        for (QAction* a : menu->actions())
            seen.items << (a->isSeparator() ? QStringLiteral("-") : a->text());
        if (choose)
            QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(choose).center());
        else
            menu->close();
    });
    answer.start(0);
    // Whatever happens above, no menu may outlive the test.
    QTimer fallback;
    fallback.setSingleShot(true);
    QObject::connect(&fallback, &QTimer::timeout, [] {
        if (QWidget* w = QApplication::activePopupWidget()) w->close();
    });
    fallback.start(2000);
    QTest::mousePress(target, button, {}, QPoint(3, 3));
    QTest::mouseRelease(target, button, {}, QPoint(3, 3));
    QCoreApplication::processEvents();  // a popup that wrongly opened late shows here
    if (QApplication::activePopupWidget()) {
        seen.opened = true;
        QApplication::activePopupWidget()->close();
    }
    return seen;
}

TEST_F(MenuTest, RightClickOnKeyOrNameOpensTheMenuForThatSlot) {
    const QStringList items = {"サウンドの解除", "基本のフォルダを開く", "サウンドの詳細", "-",
                               "すべてのサウンドを解除", "ホットキーの変更"};
    Assign(20, "/srv/a.wav");
    for (const int slot : {20, 21}) {  // assigned and empty alike
        for (const bool onKey : {true, false}) {
            SCOPED_TRACE(std::to_string(slot) + (onKey ? " key label" : " name box"));
            SelectedSlot() = 0;
            QWidget* target = onKey ? static_cast<QWidget*>(f->Label4[slot]) : f->Text1[slot];
            const PopupSeen seen = PressAndAnswerPopup(target, Qt::RightButton, nullptr);
            EXPECT_TRUE(seen.opened);
            EXPECT_EQ(seen.items, items);
            EXPECT_EQ(SelectedSlot(), slot);
        }
    }
}

TEST_F(MenuTest, OtherButtonsOpenNoMenu) {
    for (const Qt::MouseButton button : {Qt::LeftButton, Qt::MiddleButton}) {
        SelectedSlot() = 0;
        EXPECT_FALSE(PressAndAnswerPopup(f->Label4[7], button, nullptr).opened);
        EXPECT_FALSE(PressAndAnswerPopup(f->Text1[7], button, nullptr).opened);
        EXPECT_EQ(SelectedSlot(), 0);
    }
}

TEST_F(MenuTest, ChosenReleaseRunsBeforeTheMenuCallReturns) {
    Assign(12, "/home/u/board/bell.wav");
    f->show();
    answers = {toolkit::kAnswerOk};

    const PopupSeen seen = PressAndAnswerPopup(f->Text1[12], Qt::RightButton, f->mnuDelSoundFile);

    EXPECT_TRUE(seen.opened);
    EXPECT_EQ(events, (std::vector<std::string>{"beep", kAskOne}));
    ExpectEmptyLooks(*f, 12);
}

}  // namespace
