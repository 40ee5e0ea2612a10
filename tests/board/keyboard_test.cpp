// Playing the board from the keyboard: keys typed through the window, as a user types them.
#include <QDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <QWindow>

#include "playback_fixture.h"

namespace {

constexpr std::uint32_t kOnColor = 0xFFC0FF;
constexpr std::uint32_t kOffColor = 0xE0E0E0;

}  // namespace

class KeyboardBoard : public PlaybackBoard
{
protected:
    void SetUp() override {
        PlaybackBoard::SetUp();
        board->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(board.get()));
        board->KeyOperationOn();
    }

    // One typed character, delivered to the board's window as the platform delivers it.
    void Type(QWindow* window, Qt::Key key, const QString& text, bool autoRepeat = false) {
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text, autoRepeat);
        QCoreApplication::sendEvent(window, &press);
        QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, text, autoRepeat);
        QCoreApplication::sendEvent(window, &release);
    }
    void Type(Qt::Key key, const QString& text) { Type(board->windowHandle(), key, text); }
};

TEST_F(KeyboardBoard, EachKeyPlaysItsSlotOrStopsItWhenItSounds) {
    struct Case {
        const char* what;
        Qt::Key key;
        QString text;
        Commands sent;  // actions only
    };
    const Case cases[] = {
        {"lower-case letter", Qt::Key_A, "a", {"seek A15 to  0", "play A15"}},
        {"upper-case letter", Qt::Key_A, "A", {"seek A15 to  0", "play A15"}},
        {"digit", Qt::Key_0, "0", {"seek A0 to  0", "play A0"}},
        {"a sounding slot stops", Qt::Key_Slash, "/", {"stop A10"}},
        {"last slot", Qt::Key_W, "w", {"seek A37 to  0", "play A37"}},
        {"key of an empty slot", Qt::Key_1, "1", {}},
        {"letter beyond the keys", Qt::Key_X, "x", {}},
        {"z", Qt::Key_Z, "z", {}},
        {"space", Qt::Key_Space, " ", {}},
        {"enter", Qt::Key_Return, "\r", {}},
        {"a key that types nothing", Qt::Key_F1, "", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SetUp();
        for (int i : {0, 10, 15, 37}) Assign(i);
        mci.playing = {10};

        Type(c.key, c.text);

        EXPECT_EQ(mci.actions(), c.sent);
    }
}

TEST_F(KeyboardBoard, TheSameKeyOnTwoSlotsReachesOnlyTheLowerOne) {
    Assign(3);
    Assign(30);
    board->HotKey[3] = QChar('Q');
    board->HotKey[30] = QChar('Q');
    Type(Qt::Key_Q, "q");
    EXPECT_EQ(mci.actions(), (Commands{"seek A3 to  0", "play A3"}));
}

TEST_F(KeyboardBoard, OnlyLettersAToZFold) {
    // A slot whose key is a character with a case of its own beyond A-Z answers to exactly
    // that character.
    Assign(2);
    Assign(4);
    board->HotKey[2] = QChar(0x00E9);  // é
    board->HotKey[4] = QChar(0x00C9);  // É
    board->BoardKeyPress(0x00E9);
    EXPECT_EQ(mci.actions(), (Commands{"seek A2 to  0", "play A2"}));
}

TEST_F(KeyboardBoard, EscapeStopsEverySlotWhateverTheKeys) {
    Assign(0);
    Assign(20);
    board->HotKey[0] = QChar(27);
    Type(Qt::Key_Escape, QString(QChar(27)));
    EXPECT_EQ(mci.actions(), (Commands{"stop A0", "stop A20"}));
}

TEST_F(KeyboardBoard, TheSwitchTurnsKeysOffAndOnAndTheStatusBoxSaysSo) {
    Assign(0);
    EXPECT_EQ(board->Label3->text(), QStringLiteral("キー操作\u3000有効"));
    EXPECT_EQ(toolkit::BackColor(board->Label3), kOnColor);
    EXPECT_TRUE(board->KeyPreviewOn());

    board->Command3->click();
    EXPECT_EQ(board->Label3->text(), QStringLiteral("キー操作\u3000停止"));
    EXPECT_EQ(toolkit::BackColor(board->Label3), kOffColor);
    EXPECT_FALSE(board->KeyPreviewOn());
    Type(Qt::Key_0, "0");
    Type(Qt::Key_Escape, QString(QChar(27)));
    EXPECT_TRUE(mci.commands().empty());

    board->Command3->click();
    EXPECT_EQ(board->Label3->text(), QStringLiteral("キー操作\u3000有効"));
    EXPECT_EQ(toolkit::BackColor(board->Label3), kOnColor);
    Type(Qt::Key_0, "0");
    EXPECT_EQ(mci.actions(), (Commands{"seek A0 to  0", "play A0"}));
}

TEST_F(KeyboardBoard, TheFocusedControlStillGetsTheCharacter) {
    Assign(15);
    auto* edit = new QLineEdit(board.get());
    edit->show();
    edit->setFocus();
    QTest::keyClick(board->windowHandle(), Qt::Key_A, Qt::NoModifier);
    EXPECT_EQ(edit->text(), "a");
    EXPECT_EQ(mci.actions(), (Commands{"seek A15 to  0", "play A15"}));
}

TEST_F(KeyboardBoard, KeysTypedInADialogNeverReachTheBoard) {
    Assign(15);
    QDialog dialog(board.get());
    dialog.setModal(true);
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));

    QTest::keyClick(dialog.windowHandle(), Qt::Key_A, Qt::NoModifier);
    QTest::keyClick(dialog.windowHandle(), Qt::Key_Escape, Qt::NoModifier);
    EXPECT_TRUE(mci.commands().empty());
    dialog.close();
}

TEST_F(KeyboardBoard, AHeldKeyRepeatsWithoutLeavingTheSlotQuieter) {
    // Holding the key of a fading slot: every repeat is another Stop. The fade goes on and
    // the volume the user set comes back at the end.
    Assign(15, 800, true);
    mci.playing = {15};
    Type(board->windowHandle(), Qt::Key_A, "a");
    for (int repeat = 0; repeat < 30; ++repeat) {
        Type(board->windowHandle(), Qt::Key_A, "a", true);
        board->FadeTick();
    }
    EXPECT_TRUE(FadeActive(15));
    EXPECT_EQ(FadeRestoreVolume(15), 800);
    for (int tick = 0; tick < 100 && FadeActive(15); ++tick) board->FadeTick();
    EXPECT_FALSE(FadeActive(15));
    EXPECT_EQ(Bar(15), 800);
    EXPECT_EQ(SlotVolume(15), 800);

    // A held key on a silent slot restarts it on every repeat, and nothing else.
    mci.playing.clear();
    mci.clear();
    for (int repeat = 0; repeat < 5; ++repeat) Type(board->windowHandle(), Qt::Key_A, "a", true);
    EXPECT_EQ(mci.actions().size(), 10u);
}
