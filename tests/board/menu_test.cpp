// The slot pop-up menu: which click opens it and which click chooses.
#include <QMenu>

#include "board_fixture.h"

namespace {

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
    if (QWidget* late = QApplication::activePopupWidget()) {
        seen.emplace();
        late->close();
    }
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
    answers = {toolkit::kAnswerOk};
    EXPECT_EQ(PressAndAnswerPopup(f->Text1[12], Qt::RightButton, f->mnuDelSoundFile, Qt::RightButton),
              kItems + QStringList{"(still open)"});
    EXPECT_TRUE(events.empty());
    EXPECT_EQ(PressAndAnswerPopup(f->Text1[12], Qt::RightButton, f->mnuDelSoundFile), kItems);
    EXPECT_EQ(events, (Commands{"beep", "box 289 サウンドファイル\"bell\"を登録解除しますか"}));
    EXPECT_FALSE(f->Slots.HasSound(12));
}

}  // namespace
