// The hotkey dialog: what it shows, which typed characters it captures, what each way of
// closing stores, and the board's key labels afterwards.
#include <QLabel>
#include <QPushButton>

#include "board/window/slot_label.h"
#include "dialog_test_support.h"
#include "dialogs/hotkey/form2.h"
#include "toolkit/colors.h"

namespace {

using HotkeyDialogTest = BoardTest;

QString BoardKeyLabels(const Form1& board) {
    QString keys;
    for (int i = 0; i < kSlotCount; ++i) keys += board.Label4[i]->text();
    return keys;
}

TEST_F(HotkeyDialogTest, ShowsTheSlotItsKeyAndTheKeysInUse) {
    for (const int slot : {0, 5, 37}) {
        board->KeyIndex = static_cast<std::int16_t>(slot);
        Form2 dialog(*board, board.get());
        EXPECT_EQ(dialog.windowTitle(), QStringLiteral("キー操作設定"));
        EXPECT_EQ(dialog.Label1->text(),
                  QStringLiteral("No. %1 操作キーの設定").arg(slot));
        EXPECT_EQ(dialog.Label2->text(), kDefaultKeys.mid(slot, 1));
        EXPECT_EQ(toolkit::BackColor(dialog.Label2), 0xFFFFFFu);
        EXPECT_TRUE(dialog.Label4->text().isEmpty());
    }
    Form2 dialog(*board, board.get());
    EXPECT_EQ(dialog.Label3->text(),
              QStringLiteral("既設定済  0 1 2 3 4 5 6 7 8 9 / * - + . A B C D E F G H I J K L M "
                             "N O P Q R S T U V W "));
    EXPECT_EQ(dialog.size(), QSize(297, 181));
    EXPECT_EQ(dialog.minimumSize(), dialog.maximumSize());
    EXPECT_TRUE(dialog.windowFlags().testFlag(Qt::Tool));
}

// Each row types its characters, one key press each, into the dialog opened on slot 5.
struct CaptureCase {
    const char* name;
    QStringList typed;
    QString shown;          // Label2 afterwards
    bool warned;            // message and red box
    int beeps;
};

TEST_F(HotkeyDialogTest, CapturesOnlySingleByteCharacters) {
    const QString unchanged = QStringLiteral("5");
    const CaptureCase cases[] = {
        {"lower case folds", {"x"}, "X", false, 0},
        {"another slot's key warns", {"q"}, "Q", true, 1},
        {"the slot's own key warns", {"5"}, "5", true, 1},
        {"a free key clears the warning", {"a", "x"}, "X", false, 1},
        {"any printable sign", {"!"}, "!", false, 0},
        {"the last one counts", {"x", "y"}, "Y", false, 0},
        {"half-width katakana", {QStringLiteral("ｱ")}, QStringLiteral("ｱ"), false, 0},
        {"blank passes on", {" "}, unchanged, false, 0},
        {"Enter passes on", {"\r"}, unchanged, false, 0},
        {"two bytes in the code page", {QStringLiteral("あ")}, unchanged, false, 0},
        {"not in the code page", {QStringLiteral("é")}, unchanged, false, 0},
        {"delete is not a key", {QStringLiteral("\x7f")}, unchanged, false, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        beeps = 0;
        board->KeyIndex = 5;
        Form2 dialog(*board, board.get());
        ShowActive(&dialog);
        for (const QString& t : c.typed) {
            if (t == "\r")
                Type(&dialog, Qt::Key_Return);
            else
                TypeText(&dialog, t);
        }
        EXPECT_EQ(dialog.Label2->text(), c.shown);
        EXPECT_EQ(dialog.Label4->text(),
                  c.warned ? QStringLiteral("その文字は既に設定されています") : QString());
        EXPECT_EQ(toolkit::BackColor(dialog.Label2), c.warned ? 0x0000FFu : 0xFFFFFFu);
        EXPECT_EQ(beeps, c.beeps);
        EXPECT_TRUE(dialog.isVisible()) << "no typed character may close the dialog";
        EXPECT_EQ(board->HotKey, kDefaultKeys);
    }
}

TEST_F(HotkeyDialogTest, CaptureHoldsWhicheverControlHasTheFocus) {
    board->KeyIndex = 0;
    Form2 dialog(*board, board.get());
    ShowActive(&dialog);
    // It opens on the key box, where a blank or Enter does nothing.
    EXPECT_EQ(QApplication::focusWidget(), dialog.Label2);
    for (QPushButton* button : {dialog.Command1, dialog.Command2, dialog.Command3}) {
        button->setFocus();
        Type(&dialog, 'q');
        EXPECT_EQ(dialog.Label2->text(), "Q");
        Type(&dialog, Qt::Key_Return);  // no button answers to Enter
        EXPECT_TRUE(dialog.isVisible());
        dialog.Label2->setText("0");
    }
    EXPECT_EQ(board->HotKey, kDefaultKeys);
    Type(&dialog, Qt::Key_Escape);  // not captured: it closes like "中止"
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
}

// The whole path from the pop-up item: type, close one way, then HotKey and the board's
// key labels. Slot 0 already has a sound, so the new key can be tried on the board.
struct CloseCase {
    const char* name;
    QString keysBefore;
    QString typed;
    std::function<void(Form2*)> close;
    QString keysAfter;
};

TEST_F(HotkeyDialogTest, EveryWayOfClosingStoresWhatItShouldAndRedrawsTheKeys) {
    QString changed = kDefaultKeys;
    changed[0] = 'Q';
    QString others = kDefaultKeys;
    others[3] = '!';
    others[37] = 'Z';
    const CloseCase cases[] = {
        {"決定 stores the captured key", kDefaultKeys, "q", [](Form2* d) { d->Command1->click(); }, changed},
        {"決定 without typing keeps the key", others, "", [](Form2* d) { d->Command1->click(); }, others},
        {"中止 stores nothing", others, "q", [](Form2* d) { d->Command2->click(); }, others},
        {"closing the window stores nothing", others, "q", [](Form2* d) { d->close(); }, others},
        {"標準 puts every default back", others, "q", [](Form2* d) { d->Command3->click(); }, kDefaultKeys},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        board->HotKey = c.keysBefore;
        for (int i = 0; i < kSlotCount; ++i) board->Label4[i]->setText("A");
        SelectedSlot() = 0;
        ModalAnswer answer([&](QWidget* w) {
            auto* dialog = qobject_cast<Form2*>(w);
            ASSERT_NE(dialog, nullptr);
            if (!c.typed.isEmpty()) TypeText(dialog, c.typed);
            c.close(dialog);
        });
        board->mnuHotkey_Click();
        EXPECT_TRUE(answer.shown);
        EXPECT_EQ(board->KeyIndex, 0);
        EXPECT_EQ(board->HotKey, c.keysAfter);
        EXPECT_EQ(BoardKeyLabels(*board), c.keysAfter);
    }
}

TEST_F(HotkeyDialogTest, ANewKeyPlaysItsSlotAtOnce) {
    SlotFile(0) = "bell.wav";
    SelectedSlot() = 0;
    ModalAnswer answer([](QWidget* w) {
        TypeText(w, "q");
        static_cast<Form2*>(w)->Command1->click();
    });
    board->mnuHotkey_Click();
    mci.clear();
    board->BoardKeyPress('q');
    EXPECT_EQ(mci.actions(), (std::vector<std::string>{"seek A0 to  0", "play A0"}));
}

}  // namespace
