// Playing the board from the keyboard: keys typed through the window, as a user types them.
#include <QDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <QWindow>

#include "board_fixture.h"

namespace {

class KeyboardTest : public BoardTest
{
protected:
    void SetUp() override {
        BoardTest::SetUp();
        f->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(f.get()));
        f->KeyOperationOn();
    }

    // One typed character, delivered to the board's window as the platform delivers it.
    void Type(Qt::Key key, const QString& text, bool autoRepeat = false) {
        for (QEvent::Type type : {QEvent::KeyPress, QEvent::KeyRelease}) {
            QKeyEvent event(type, key, Qt::NoModifier, text, autoRepeat);
            QCoreApplication::sendEvent(f->windowHandle(), &event);
        }
    }
};

TEST_F(KeyboardTest, EachKeyPlaysItsSlotOrStopsItWhenItSounds) {
    const struct {
        const char* what;
        Qt::Key key;
        QString text;
        Commands sent;  // actions only
    } cases[] = {
        {"lower-case letter", Qt::Key_A, "a", {"seek A15 to  0", "play A15"}},
        {"upper-case letter", Qt::Key_A, "A", {"seek A15 to  0", "play A15"}},
        {"digit", Qt::Key_0, "0", {"seek A0 to  0", "play A0"}},
        {"a sounding slot stops", Qt::Key_Slash, "/", {"stop A10"}},
        {"last slot", Qt::Key_W, "w", {"seek A37 to  0", "play A37"}},
        {"the same key on two slots reaches the lower", Qt::Key_Q, "q", {"seek A3 to  0", "play A3"}},
        {"only a-z fold: é is not É", Qt::Key_Eacute, QStringLiteral("é"), {"seek A2 to  0", "play A2"}},
        {"Escape stops every slot, whatever the keys", Qt::Key_Escape, QString(QChar(27)),
         {"stop A0", "stop A2", "stop A3", "stop A4", "stop A10", "stop A15", "stop A20", "stop A30", "stop A37"}},
        {"key of an empty slot", Qt::Key_1, "1", {}},
        {"letter beyond the keys", Qt::Key_X, "x", {}},
        {"space", Qt::Key_Space, " ", {}},
        {"enter", Qt::Key_Return, "\r", {}},
        {"a key that types nothing", Qt::Key_F1, "", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Restart();  // shows the new board, too
        for (int i : {0, 2, 3, 4, 10, 15, 20, 30, 37}) Assign(i);
        f->HotKey[3] = f->HotKey[30] = QChar('Q');
        f->HotKey[2] = QChar(0x00E9), f->HotKey[4] = QChar(0x00C9), f->HotKey[20] = QChar(27);  // é, É, Escape
        mci.playing = {10};
        Type(c.key, c.text);
        EXPECT_EQ(mci.actions(), c.sent);
    }
}

TEST_F(KeyboardTest, TheSwitchTurnsKeysOffAndOnAndTheStatusBoxSaysSo) {
    Assign(0);
    for (const bool on : {false, true}) {
        f->Command3->click();
        EXPECT_EQ(f->Label3->text(), on ? QStringLiteral("キー操作\u3000有効") : QStringLiteral("キー操作\u3000停止"));
        EXPECT_EQ(toolkit::BackColor(f->Label3), on ? 0xFFC0FFu : 0xE0E0E0u);
        EXPECT_EQ(f->KeyPreviewOn(), on);
        Type(Qt::Key_0, "0"), Type(Qt::Key_Escape, QString(QChar(27)));
        EXPECT_EQ(mci.actions(), (on ? Commands{"seek A0 to  0", "play A0", "stop A0"} : Commands{}));
    }
}

// The board sees each character before the focused control, which still gets it; keys typed
// in a dialog belong to the dialog.
TEST_F(KeyboardTest, TheFocusedControlStillGetsTheCharacterAndADialogKeepsItsKeys) {
    Assign(15);
    auto* edit = new QLineEdit(f.get());
    edit->show(), edit->setFocus();
    QTest::keyClick(f->windowHandle(), Qt::Key_A);
    EXPECT_EQ(edit->text(), "a");
    EXPECT_EQ(mci.actions(), (Commands{"seek A15 to  0", "play A15"}));

    mci.clear();
    QDialog dialog(f.get());
    dialog.setModal(true), dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    for (Qt::Key key : {Qt::Key_A, Qt::Key_Escape}) QTest::keyClick(dialog.windowHandle(), key);
    EXPECT_TRUE(mci.commands().empty());
}

// Holding the key of a fading slot: every repeat is another Stop. The fade goes on and the
// volume the user set comes back at the end; on a silent slot each repeat restarts it.
TEST_F(KeyboardTest, AHeldKeyRepeatsWithoutLeavingTheSlotQuieter) {
    Assign(15, 800, true);
    mci.playing = {15};
    Type(Qt::Key_A, "a");
    for (int repeat = 0; repeat < 30; ++repeat) Type(Qt::Key_A, "a", true), f->FadeTick();
    EXPECT_EQ(f->Slots.FadeRestoreVolume[15], 800);
    for (int tick = 0; tick < 100 && f->Slots.FadeActive[15]; ++tick) f->FadeTick();
    EXPECT_FALSE(f->Slots.FadeActive[15]);
    EXPECT_EQ(Bar(15), 800);
    EXPECT_EQ(f->Slots.SlotVolume[15], 800);

    mci.playing.clear(), mci.clear();
    for (int repeat = 0; repeat < 5; ++repeat) Type(Qt::Key_A, "a", true);
    EXPECT_EQ(mci.actions().size(), 10u);
}

}  // namespace
