// The slot pop-up menu: which click opens it, which click chooses, and the questions its
// release items ask before anything is let go.
#include <QMenu>

#include "board_fixture.h"

namespace {

constexpr int kOk = toolkit::kAnswerOk, kCancel = toolkit::kAnswerCancel;

// Presses `button` on a widget of the board and gives the pop-up's items, if one opened ("-" for
// the separator); clicks `choose` with `chooseWith` from inside the menu's own loop, and adds
// "(still open)" when that left the menu open. No menu outlives the call.
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
    QTimer::singleShot(2000, &timers, [] {
        if (QWidget* w = QApplication::activePopupWidget()) w->close();
    });
    QTest::mouseClick(target, button, {}, QPoint(3, 3));
    QCoreApplication::processEvents();  // a popup that wrongly opened late shows here
    if (QWidget* late = QApplication::activePopupWidget()) seen.emplace(), late->close();
    return seen;
}

const QStringList kItems = {"サウンドの解除",         "基本のフォルダを開く", "サウンドの詳細", "-",
                            "すべてのサウンドを解除", "ホットキーの変更"};

// Only a right click on a key label or name box opens the menu, for that slot; an item is
// chosen with the left button only, and its handler runs before the menu call returns. A right
// click on an item chooses nothing and leaves the menu open.
TEST_F(BoardTest, OnlyARightClickOpensTheMenuAndOnlyALeftClickChooses) {
    f->show();
    drop(12, "/home/u/board/bell.wav");
    for (QWidget* target : {static_cast<QWidget*>(f->Label4[12]), static_cast<QWidget*>(f->Text1[13])}) {
        for (const Qt::MouseButton button : {Qt::LeftButton, Qt::MiddleButton}) {
            EXPECT_EQ(PressAndAnswerPopup(target, button), std::nullopt);
            EXPECT_EQ(f->Slots.SelectedSlot, 0);
        }
        EXPECT_EQ(PressAndAnswerPopup(target, Qt::RightButton), kItems);
        EXPECT_EQ(f->Slots.SelectedSlot, target == f->Label4[12] ? 12 : 13);
        f->Slots.SelectedSlot = 0;
    }
    answers = {kOk, kOk};
    EXPECT_EQ(PressAndAnswerPopup(f->Text1[12], Qt::RightButton, f->mnuDelSoundFile, Qt::RightButton),
              kItems + QStringList{"(still open)"});
    EXPECT_TRUE(events.empty());
    EXPECT_EQ(PressAndAnswerPopup(f->Text1[12], Qt::RightButton, f->mnuDelSoundFile), kItems);
    EXPECT_EQ(events, (Commands{"beep", "box 289 サウンドファイル\"bell\"を登録解除しますか"}));
    EXPECT_FALSE(f->Slots.HasSound(12));
}

// One slot is let go after one yes, the whole board after three, each question after a beep;
// a Cancel anywhere keeps everything. Opening the folder hands the program's folder on.
TEST_F(BoardTest, ReleasesAskBeforeTheyLetGo) {
    const std::string one = "box 289 サウンドファイル\"a\"を登録解除しますか";
    const Commands all = {"beep", "box 289 すべてのサウンドファイルを登録解除しますか",
                          "beep", "box 289 ほんとうにいいですか？",
                          "beep", "box 289 後悔しませんか？"};
    const struct {
        std::deque<int> answers;
        void (Form1::*item)();
        Commands events;
        bool released;
    } cases[] = {
        {{kCancel}, &Form1::mnuDelSoundFile_Click, {"beep", one}, false},
        {{kOk}, &Form1::mnuDelSoundFile_Click, {"beep", one}, true},
        {{kOk, kCancel}, &Form1::mnuAllClear_Click, Commands(all.begin(), all.begin() + 4), false},
        {{kOk, kOk, kCancel}, &Form1::mnuAllClear_Click, all, false},
        {{kOk, kOk, kOk}, &Form1::mnuAllClear_Click, all, true},
        {{}, &Form1::mnuOpenFolder_Click, {"open folder /home/u/board"}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.events.back());
        f = std::make_unique<Form1>();
        drop(7, "/srv/a.wav"), drop(37, "/srv/b.wav");
        f->Slots.SelectedSlot = 7, answers = c.answers;
        (f.get()->*c.item)();
        EXPECT_EQ(events, c.events);
        EXPECT_EQ(f->Slots.HasSound(7), !c.released);
        EXPECT_EQ(f->Slots.HasSound(37), !(c.released && c.item == &Form1::mnuAllClear_Click));
    }
}

}  // namespace
