// The hotkey dialog: what it shows and captures, what each way of closing stores, and the board after.
#include <QLabel>
#include <QPushButton>

#include "dialog_test_support.h"
#include "dialogs/hotkey/hotkey_dialog.h"
#include "toolkit/colors.h"

namespace {

using HotkeyDialogTest = BoardTest;

const QString kInUse = QStringLiteral("既設定済  0 1 2 3 4 5 6 7 8 9 / * - + . A B C D E F G H I J K L M N O P Q R S T U V W ");

// Title, heading, key box, the key box's colour (0xBBGGRR), warning line and keys in use.
QStringList Looks(const Form2& d) {
    return {d.windowTitle(), d.Label1->text(), d.Label2->text(),
            QString::number(toolkit::BackColor(d.Label2), 16), d.Label4->text(), d.Label3->text()};
}

// Each row types into the dialog opened on slot 5, its key box focused or a button.
TEST_F(HotkeyDialogTest, CapturesOnlySingleByteCharactersWhereverTheFocusIs) {
    struct Case { const char* name; QStringList typed; QString shown; bool warned; int beeps; QPushButton* Form2::*focus = nullptr; };
    const Case cases[] = {
        {"lower case folds", {"x"}, "X", false, 0},
        {"another slot's key warns", {"q"}, "Q", true, 1},
        {"the slot's own key warns", {"5"}, "5", true, 1},
        {"a free key clears the warning", {"a", "x"}, "X", false, 1},
        {"half-width katakana", {QStringLiteral("ｱ")}, QStringLiteral("ｱ"), false, 0},
        {"blank passes on", {" "}, "5", false, 0},
        {"Enter passes on", {"\r"}, "5", false, 0},
        {"two bytes in the code page", {QStringLiteral("あ")}, "5", false, 0},
        {"not in the code page", {QStringLiteral("é")}, "5", false, 0},
        {"delete is not a key", {QStringLiteral("\x7f")}, "5", false, 0},
        {"決定 focused: captured, Enter ignored", {"x", "\r"}, "X", false, 0, &Form2::Command1},
    };
    board->KeyIndex = 5;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        beeps = 0;
        Form2 dialog(board->HotKey, board->HotKey0, board->KeyIndex, board.get());
        dialog.show();
        dialog.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));  // typed keys reach the active window
        if (c.focus) (dialog.*c.focus)->setFocus();
        for (const QString& t : c.typed) t == "\r" ? QTest::keyClick(dialog.windowHandle(), Qt::Key_Return) : TypeText(&dialog, t);
        EXPECT_EQ(Looks(dialog), (QStringList{QStringLiteral("キー操作設定"), QStringLiteral("No. 5 操作キーの設定"),
                                              c.shown, c.warned ? "ff" : "ffffff",
                                              c.warned ? QStringLiteral("その文字は既に設定されています") : "", kInUse}));
        EXPECT_EQ(beeps, c.beeps);
        EXPECT_TRUE(dialog.isVisible()) << "no typed character may close the dialog";
        EXPECT_EQ(board->HotKey, kDefaultKeys);
    }
}

// The whole path from the pop-up item on slot 0, which has a sound: type, close one way,
// then HotKey, the board's key labels, and what slot 0's key (new or old) plays.
TEST_F(HotkeyDialogTest, EveryWayOfClosingStoresWhatItShouldAndTheBoardUsesItAtOnce) {
    const QString changed = "Q" + kDefaultKeys.mid(1), others = QString(kDefaultKeys).replace('3', '!').replace('W', 'Z');
    struct Case { const char* name; QString keysBefore, typed; std::function<void(Form2*)> close; QString keysAfter; };
    const Case cases[] = {
        {"決定 stores the captured key", kDefaultKeys, "q", [](Form2* d) { d->Command1->click(); }, changed},
        {"決定 without typing keeps the key", others, "", [](Form2* d) { d->Command1->click(); }, others},
        {"中止 stores nothing", others, "q", [](Form2* d) { d->Command2->click(); }, others},
        {"Escape stores nothing", others, "q", [](Form2* d) { QTest::keyClick(d->windowHandle(), Qt::Key_Escape); }, others},
        {"closing the window stores nothing", others, "q", [](Form2* d) { d->close(); }, others},
        {"標準 puts every default back", others, "q", [](Form2* d) { d->Command3->click(); }, kDefaultKeys},
    };
    board->Slots.SlotFile[0] = "bell.wav";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        board->HotKey = c.keysBefore;
        for (int i = 0; i < kSlotCount; ++i) board->Label4[i]->setText("A");
        board->Slots.SelectedSlot = 0;
        ModalAnswer answer([&](QWidget* dialog) {
            if (!c.typed.isEmpty()) TypeText(dialog, c.typed);
            c.close(qobject_cast<Form2*>(dialog));
        });
        board->mnuHotkey_Click();
        EXPECT_TRUE(answer.shown);
        EXPECT_EQ(board->HotKey, c.keysAfter);
        QString labels;
        for (int i = 0; i < kSlotCount; ++i) labels += board->Label4[i]->text();
        EXPECT_EQ(labels, c.keysAfter);
        mci.clear();
        board->BoardKeyPress(c.keysAfter[0].toLower().unicode());
        EXPECT_EQ(mci.actions(), (std::vector<std::string>{"seek A0 to  0", "play A0"}));
    }
}

}  // namespace
