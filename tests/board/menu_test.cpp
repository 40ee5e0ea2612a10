// The slot pop-up menu and its release and folder commands: which questions are asked, with
// a beep before each, what a Cancel keeps and what a release leaves on the board.
#include <QApplication>
#include <QMenu>
#include <QTest>
#include <QTimer>

#include "board_fixture.h"

namespace {

const std::string kAskOne = "box 289 サウンドファイル\"bell\"を登録解除しますか";
const std::string kAskAll1 = "box 289 すべてのサウンドファイルを登録解除しますか";
const std::string kAskAll2 = "box 289 ほんとうにいいですか？";
const std::string kAskAll3 = "box 289 後悔しませんか？";
constexpr int kOk = toolkit::kAnswerOk, kCancel = toolkit::kAnswerCancel;

TEST_F(BoardTest, ReleaseOneAsksOnceAfterABeepAndKeepsTheKey) {
    for (const int answer : {-1, kCancel, kOk}) {  // -1: the slot is empty
        SCOPED_TRACE(answer);
        Restart();
        f->Label4[5]->setText("K");
        if (answer != -1) Drop(5, "/home/u/board/bell.wav");
        Drop(6, "/srv/other.wav");
        f->Check1[5]->setChecked(true), f->Check2[5]->setChecked(true);
        mci.playing.insert(5);
        toolkit::SetBackColor(f->Label4[5], kLit);
        const SlotLooks before = LooksOf(*f, 5), other = LooksOf(*f, 6);
        f->Slots.SelectedSlot = 5;
        answers = {answer};

        f->mnuDelSoundFile_Click();
        EXPECT_EQ(events, (answer == -1 ? Commands{} : Commands{"beep", kAskOne}));
        EXPECT_EQ(LooksOf(*f, 6), other);
        if (answer != kOk) {
            EXPECT_EQ(LooksOf(*f, 5), before);
            EXPECT_TRUE(mci.commands().empty());
            continue;
        }
        EXPECT_EQ(LooksOf(*f, 5), Empty("K", kWhite));
        // Closing the channel ends the sound; the volume then goes to a closed channel.
        EXPECT_EQ(mci.commands(), (Commands{"close A5", "setaudio A5 volume to  0"}));
        EXPECT_FALSE(mci.playing.count(5));
    }
}

TEST_F(BoardTest, ReleaseAllTakesThreeYeses) {
    const struct {
        std::deque<int> answers;
        Commands events;
    } cases[] = {
        {{kCancel}, {"beep", kAskAll1}},
        {{kOk, kCancel}, {"beep", kAskAll1, "beep", kAskAll2}},
        {{kOk, kOk, kCancel}, {"beep", kAskAll1, "beep", kAskAll2, "beep", kAskAll3}},
        {{kOk, kOk, kOk}, {"beep", kAskAll1, "beep", kAskAll2, "beep", kAskAll3}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.answers.size());
        Restart();
        Drop(0, "/srv/a.wav"), Drop(37, "/srv/b.wav");
        mci.playing.insert(37);
        const SlotLooks first = LooksOf(*f, 0), last = LooksOf(*f, 37);
        answers = c.answers;

        f->mnuAllClear_Click();
        EXPECT_EQ(events, c.events);
        if (c.answers.back() == kCancel) {
            EXPECT_EQ(LooksOf(*f, 0), first);
            EXPECT_EQ(LooksOf(*f, 37), last);
            EXPECT_TRUE(mci.commands().empty());
            continue;
        }
        Commands expected;
        for (int i = 0; i < kSlotCount; ++i) {
            expected.push_back("close A" + std::to_string(i));
            if (i == 0 || i == 37) expected.push_back("setaudio A" + std::to_string(i) + " volume to  0");
            EXPECT_EQ(LooksOf(*f, i), Empty("A", kWhite)) << i;
        }
        EXPECT_EQ(mci.commands(), expected);
    }
}

TEST_F(BoardTest, OpenFolderHandsTheProgramFolderToTheFileManager) {
    for (const bool starts : {true, false}) {
        events.clear();
        openFolderSucceeds = starts;
        f->mnuOpenFolder_Click();
        // A file manager that cannot be started is not worth a message.
        EXPECT_EQ(events, Commands{"open folder /home/u/board"});
    }
}

const QStringList kItems = {"サウンドの解除", "基本のフォルダを開く", "サウンドの詳細", "-",
                            "すべてのサウンドを解除", "ホットキーの変更"};

// Presses a mouse button on a widget of the board and gives the items of the pop-up menu that
// opened, if any ("-" for the separator, "(still open)" after a click that left it open); the
// menu is answered (an action clicked with `chooseWith`, or closed) from inside its own loop,
// and no menu outlives the call.
std::optional<QStringList> PressAndAnswerPopup(QWidget* target, Qt::MouseButton button, QAction* choose = nullptr,
                                               Qt::MouseButton chooseWith = Qt::LeftButton) {
    std::optional<QStringList> seen;
    QObject timers;  // its timers die with it, so none can fire into a later test
    QTimer::singleShot(0, &timers, [&seen, choose, chooseWith] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (!menu) return;
        seen.emplace();
        for (QAction* a : menu->actions()) *seen << (a->isSeparator() ? QStringLiteral("-") : a->text());
        if (choose) QTest::mouseClick(menu, chooseWith, {}, menu->actionGeometry(choose).center());
        if (choose && menu->isVisible()) *seen << QStringLiteral("(still open)");
        menu->close();
    });
    QTimer::singleShot(2000, &timers, [] { if (QWidget* w = QApplication::activePopupWidget()) w->close(); });
    QTest::mousePress(target, button, {}, QPoint(3, 3));
    QTest::mouseRelease(target, button, {}, QPoint(3, 3));
    QCoreApplication::processEvents();  // a popup that wrongly opened late shows here
    if (QWidget* late = QApplication::activePopupWidget()) seen.emplace(), late->close();
    return seen;
}

TEST_F(BoardTest, OnlyARightClickOnKeyOrNameOpensTheMenuForThatSlot) {
    Drop(20, "/srv/a.wav");
    for (const int slot : {20, 21}) {  // assigned and empty alike
        for (QWidget* target : {static_cast<QWidget*>(f->Label4[slot]), static_cast<QWidget*>(f->Text1[slot])}) {
            for (const Qt::MouseButton button : {Qt::LeftButton, Qt::MiddleButton, Qt::RightButton}) {
                SCOPED_TRACE(std::to_string(slot) + target->metaObject()->className() + std::to_string(button));
                f->Slots.SelectedSlot = 0;
                const bool right = button == Qt::RightButton;
                EXPECT_EQ(PressAndAnswerPopup(target, button), right ? std::optional(kItems) : std::nullopt);
                EXPECT_EQ(f->Slots.SelectedSlot, right ? slot : 0);
            }
        }
    }
}

// Items are chosen with the left button only: a right click on an item chooses nothing and
// leaves the menu open.
TEST_F(BoardTest, ReleaseChosenWithTheLeftButtonRunsBeforeTheMenuCallReturns) {
    for (const Qt::MouseButton button : {Qt::LeftButton, Qt::RightButton}) {
        SCOPED_TRACE(button);
        Restart();
        Drop(12, "/home/u/board/bell.wav");
        f->show();
        const SlotLooks assigned = LooksOf(*f, 12);
        answers = {kOk};
        const bool left = button == Qt::LeftButton;
        EXPECT_EQ(PressAndAnswerPopup(f->Text1[12], Qt::RightButton, f->mnuDelSoundFile, button),
                  left ? kItems : kItems + QStringList{"(still open)"});
        EXPECT_EQ(events, (left ? Commands{"beep", kAskOne} : Commands{}));
        EXPECT_EQ(LooksOf(*f, 12), left ? Empty("A", kWhite) : assigned);
    }
}

}  // namespace
