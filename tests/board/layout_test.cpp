// The main window as built, before and after start-up: geometry in window coordinates,
// initial captions and states, the pop-up menu, tab order and the wiring of the controls.
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QFontInfo>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QTimer>

#include "board/window/slot_label.h"
#include "startup_fixture.h"
#include "toolkit/colors.h"

namespace startup_tests {
namespace {

// Positions are given in twips from the window's client area, summed through the parents
// (Frame2, then the slot's frame); every value here is a whole number of pixels.
QRect TwipsToPixels(int left, int top, int width, int height) {
    return QRect(left / 15, top / 15, width / 15, height / 15);
}

QRect InWindow(const Form1& f, const QWidget* w) {
    return QRect(w->mapTo(&f, QPoint(0, 0)), w->size());
}

TEST_F(StartupFixture, ControlsStandWhereTheLayoutPutsThem) {
    f = std::make_unique<Form1>();
    const Form1& w = *f;
    EXPECT_EQ(w.size(), QSize(985, 615));
    EXPECT_EQ(w.minimumSize(), w.maximumSize());  // fixed, not resizable

    struct Case {
        const char* what;
        const QWidget* control;
        QRect twips;  // left, top, width, height in the window
    };
    const int frame2Left = 105, frame2Top = 630;
    const int left = frame2Left + 105, right = frame2Left + 7350;
    const Case cases[] = {
        {"status box", w.Label3, {5760, 105, 2895, 375}},
        {"key operation button", w.Command3, {8715, 105, 1935, 375}},
        {"stop-all button", w.Command4, {12810, 105, 1815, 375}},
        {"slot panel", w.Frame2, {105, 630, 14520, 8430}},
        {"slot 0 frame", w.Frame1[0], {left, frame2Top + 210, 6975, 585}},
        {"slot 0 key label", w.Label4[0], {left + 105, frame2Top + 210 + 105, 375, 375}},
        {"slot 0 volume bar", w.HScroll1[0], {left + 4830, frame2Top + 210 + 105 + 105, 2160, 255}},
        {"Fade Clear heading", w.Label2[0], {left + 3990, frame2Top + 210, 870, 270}},
        {"Volume heading", w.Label2[1], {left + 5670, frame2Top + 210, 570, 180}},
        {"slot 1 frame", w.Frame1[1], {left, frame2Top + 735, 6975, 480}},
        {"slot 18 frame", w.Frame1[18], {left, frame2Top + 7875, 6975, 420}},
        {"slot 18 name box", w.Text1[18], {left + 525, frame2Top + 7875, 2115, 375}},
        {"slot 19 frame", w.Frame1[19], {right, frame2Top + 315, 6975, 420}},
        {"slot 19 key label", w.Label4[19], {right + 105, frame2Top + 315, 375, 375}},
        {"slot 19 Play", w.Command1[19], {right + 2730, frame2Top + 315, 615, 375}},
        {"slot 37 Stop", w.Command2[37], {right + 3360, frame2Top + 7875, 615, 375}},
        {"slot 37 fade box", w.Check1[37], {right + 4095, frame2Top + 7875 + 105, 255, 255}},
        {"slot 37 exclusive box", w.Check2[37], {right + 4515, frame2Top + 7875 + 105, 255, 255}},
        {"slot 37 volume bar", w.HScroll1[37], {right + 4830, frame2Top + 7875 + 105, 2160, 255}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const QRect& t = c.twips;
        EXPECT_EQ(InWindow(w, c.control), TwipsToPixels(t.x(), t.y(), t.width(), t.height()));
    }
    // Slots 0 and 19 head their columns with their controls on one line.
    EXPECT_EQ(InWindow(w, w.Label4[0]).top(), InWindow(w, w.Label4[19]).top());
    EXPECT_EQ(InWindow(w, w.HScroll1[0]).top(), InWindow(w, w.HScroll1[19]).top());
}

TEST_F(StartupFixture, BeforeStartUpTheBoardShowsItsInitialState) {
    f = std::make_unique<Form1>();
    const Form1& w = *f;
    EXPECT_EQ(w.windowTitle(), QStringLiteral("Sorvane"));
    EXPECT_EQ(w.Label3->text(), QStringLiteral("初期化中"));
    EXPECT_EQ(toolkit::BackColor(w.Label3), 0xC0FFFFu);
    EXPECT_EQ(w.Label3->alignment(), Qt::AlignCenter);
    EXPECT_TRUE(w.Label3->font().bold());
    EXPECT_DOUBLE_EQ(w.Label3->font().pointSizeF(), 14.25);
    EXPECT_EQ(QFontInfo(w.Label3->font()).family(), QStringLiteral("IPAPGothic"));
    EXPECT_EQ(w.Command3->text(), QStringLiteral("キー操作 ON/OFF"));
    EXPECT_EQ(w.Command4->text(), QStringLiteral("全停止"));
    EXPECT_EQ(w.Label2[0]->text(), QStringLiteral("Fade Clear"));
    EXPECT_EQ(w.Label2[1]->text(), QStringLiteral("Volume"));
    EXPECT_EQ(w.Timer1->interval(), 100);
    EXPECT_FALSE(w.Timer1->isActive());
    for (int i = 0; i < kSlotCount; ++i) {
        SCOPED_TRACE("slot " + std::to_string(i));
        EXPECT_EQ(w.Label4[i]->text(), QStringLiteral("A"));
        EXPECT_EQ(toolkit::BackColor(w.Label4[i]), 0xFFFFFFu);
        EXPECT_TRUE(w.Label4[i]->font().bold());
        EXPECT_DOUBLE_EQ(w.Label4[i]->font().pointSizeF(), 12.0);
        EXPECT_TRUE(w.Text1[i]->text().isEmpty());
        EXPECT_EQ(toolkit::BackColor(w.Text1[i]), toolkit::kWindowBackground);
        EXPECT_FALSE(w.Text1[i]->font().bold());
        EXPECT_DOUBLE_EQ(w.Text1[i]->font().pointSizeF(), 11.25);
        EXPECT_TRUE(w.Text1[i]->acceptDrops());
        EXPECT_FALSE(w.Label4[i]->acceptDrops());
        EXPECT_FALSE(w.Command1[i]->isEnabled());
        EXPECT_FALSE(w.Command2[i]->isEnabled());
        EXPECT_EQ(w.Command1[i]->text(), QStringLiteral("Play"));
        EXPECT_EQ(w.Command2[i]->text(), QStringLiteral("Stop"));
        EXPECT_FALSE(w.Check1[i]->isChecked());
        EXPECT_FALSE(w.Check2[i]->isChecked());
        const QScrollBar* bar = w.HScroll1[i];
        EXPECT_EQ(bar->value(), 0);
        EXPECT_EQ(bar->minimum(), 0);
        EXPECT_EQ(bar->maximum(), 1000);
        EXPECT_EQ(bar->singleStep(), 100);
        EXPECT_EQ(bar->pageStep(), 400);
        EXPECT_EQ(bar->orientation(), Qt::Horizontal);
    }
    EXPECT_TRUE(mci.calls.empty());  // building the window sends nothing
}

TEST_F(StartupFixture, PopUpMenuHoldsItsSixItems) {
    f = std::make_unique<Form1>();
    const QList<QAction*> items = f->mnu->actions();
    ASSERT_EQ(items.size(), 6);
    EXPECT_EQ(f->mnu->title(), QStringLiteral("メニュー"));
    const QAction* expected[] = {f->mnuDelSoundFile, f->mnuOpenFolder, f->mnuSoundFile,
                                 f->mnuBlank, f->mnuAllClear, f->mnuHotkey};
    const char* captions[] = {"サウンドの解除", "基本のフォルダを開く", "サウンドの詳細", "",
                              "すべてのサウンドを解除", "ホットキーの変更"};
    for (int n = 0; n < 6; ++n) {
        SCOPED_TRACE(n);
        EXPECT_EQ(items[n], expected[n]);
        EXPECT_EQ(items[n]->isSeparator(), n == 3);
        if (n != 3) {
            EXPECT_EQ(items[n]->text(), QString::fromUtf8(captions[n]));
        }
    }
}

// Tab goes Command3, Command4, then through the enabled controls of each slot in index order.
TEST_F(StartupFixture, TabVisitsTheButtonsThenTheAssignedSlotsInOrder) {
    writeList(EmptyLine(0) + EmptyLine(1) + ListLine(2, "2", "a", "a.wav", "0", "800", "0", "0") +
              EmptyLine(3) + ListLine(4, "4", "b", "b.wav", "0", "800", "0", "0"));
    Form1& w = start();
    QApplication::setActiveWindow(&w);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    w.Command3->setFocus();

    std::vector<QWidget*> visited{QApplication::focusWidget()};
    for (int n = 0; n < 12; ++n) {
        QTest::keyClick(w.windowHandle(), Qt::Key_Tab);
        visited.push_back(QApplication::focusWidget());
    }

    auto slotControls = [&w](int i) {
        return std::set<QWidget*>{w.Command1[i], w.Command2[i], w.Check1[i], w.Check2[i], w.HScroll1[i]};
    };
    EXPECT_EQ(visited[0], w.Command3);
    EXPECT_EQ(visited[1], w.Command4);
    EXPECT_EQ(std::set<QWidget*>(visited.begin() + 2, visited.begin() + 7), slotControls(2));
    EXPECT_EQ(std::set<QWidget*>(visited.begin() + 7, visited.begin() + 12), slotControls(4));
    EXPECT_EQ(visited[12], w.Command3);
}

// Each control reaches the board operation that handles it.
TEST_F(StartupFixture, ControlsReachTheirHandlers) {
    writeList(ListLine(0, "0", "x", "x.wav", "0", "800", "0", "0"));
    Form1& w = start();
    struct Case {
        const char* what;
        std::function<void()> act;
        std::vector<std::string> commands;
    };
    const std::vector<Case> cases = {
        {"Play", [&] { QTest::mouseClick(w.Command1[0], Qt::LeftButton); }, {"seek A0 to  0", "play A0"}},
        {"Stop", [&] { QTest::mouseClick(w.Command2[0], Qt::LeftButton); }, {"stop A0"}},
        {"stop all", [&] { QTest::mouseClick(w.Command4, Qt::LeftButton); }, {"stop A0"}},
        {"volume bar", [&] { w.HScroll1[0]->setValue(500); }, {"setaudio A0 volume to  500"}},
        {"timer tick", [&] { emit w.Timer1->timeout({}); }, {"status A0 mode"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        mci.clear();
        c.act();
        EXPECT_EQ(mci.commands(), c.commands);
    }

    QTest::mouseClick(w.Command3, Qt::LeftButton);
    EXPECT_FALSE(w.KeyPreviewOn());

    // A right press on a slot's key label opens the pop-up for that slot.
    bool menuShown = false;
    QTimer::singleShot(0, [&] {
        if (QWidget* popup = QApplication::activePopupWidget()) {
            menuShown = popup == w.mnu;
            popup->close();
        }
    });
    QTimer fallback;
    fallback.setSingleShot(true);
    QObject::connect(&fallback, &QTimer::timeout, [&] { w.mnu->close(); });
    fallback.start(2000);
    QTest::mousePress(w.Label4[5], Qt::RightButton);
    EXPECT_TRUE(menuShown);
    EXPECT_EQ(SelectedSlot(), 5);
}

}  // namespace
}  // namespace startup_tests
