// The details dialog: what it shows, what each button sends and stores, and the board after.
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>

#include "dialog_test_support.h"
#include "dialogs/details/details_dialog.h"

namespace {

constexpr std::int16_t kSlot = 3;
using Commands = std::vector<std::string>;

// Slot 3 holds "bell" (bell.wav) at volume 500 and start 0, and is selected.
class DetailsDialogTest : public BoardTest
{
protected:
    void SetUp() override {
        BoardTest::SetUp();
        board->Slots.SlotFile[kSlot] = "bell.wav";
        board->Slots.SlotName[kSlot] = "bell";
        board->HScroll1[kSlot]->setValue(500);  // the bar carries the volume to the slot
        board->Slots.SelectedSlot = board->KeyIndex = kSlot;
        mci.clear();
    }
};

TEST_F(DetailsDialogTest, ShowsTheSlotAndTheChannelLength) {
    // No length reply: the channel is not open.
    struct Case { double start; std::map<int, std::string> lengthReply; QString startShown, lengthShown; };
    for (const Case& c : {Case{0, {{kSlot, "123456"}}, " 0", " 123.456"}, Case{0.25, {{kSlot, "500"}}, " .25", " .5"},
                          Case{-2, {}, " -2", " 0"}}) {
        board->Slots.SlotStart[kSlot] = c.start;
        mci.lengthReply = c.lengthReply;
        Form3 dialog(board->Slots, board->KeyIndex, board.get());
        EXPECT_EQ((QStringList{dialog.windowTitle(), dialog.Text1->text(), dialog.Label7->text(),
                               dialog.Text3->text(), dialog.Text2->text(), dialog.Label4->text()}),
                  (QStringList{QStringLiteral("サウンドファイルの詳細"), "bell", "bell.wav", " 500",
                               c.startShown, c.lengthShown}));
    }
}

// The whole path from the pop-up item: type a name, start and volume, click one button (none:
// Escape), close with 閉じる if still open, then the commands sent, the table and the board.
// 決定 stores all three (a volume outside 0..1000 after rounding is dropped, leaving 500).
TEST_F(DetailsDialogTest, EachButtonSendsAndStoresWhatItShouldAndTheBoardFollows) {
    struct Case { const char* name; QPushButton* Form3::*button; QString typedName, start, volume;
                  Commands sent; QString boardName; double storedStart; int boardVolume; };
    const auto apply = &Form3::Command1;
    const Commands stop{"stop A3"};
    const Case cases[] = {
        {"plain", apply, "chime", " 1.5", "300", {"stop A3", "setaudio A3 volume to  300"}, "chime", 1.5, 300},
        {"empty name, number then letters", apply, "", "12abc", "12abc", {"stop A3", "setaudio A3 volume to  12"}, "", 12, 12},
        {"no number reads as 0", apply, "x", "abc", "abc", {"stop A3", "setaudio A3 volume to  0"}, "x", 0, 0},
        {"a half goes to the even one", apply, "x", "0", "1000.5", {"stop A3", "setaudio A3 volume to  1000"}, "x", 0, 1000},
        {"rounds above the range", apply, "x", "0", "1000.6", stop, "x", 0, 500},
        {"a small negative rounds to 0", apply, "x", ".25", "-0.4", {"stop A3", "setaudio A3 volume to  0"}, "x", 0.25, 0},
        {"negative volume, start kept", apply, "x", "-2", "-1", stop, "x", -2, 500},
        {"huge", apply, "x", "1E300", "1E10", stop, "x", 1e300, 500},
        {"Play starts at the very beginning", &Form3::Command3, "x", "1.5", "100", {"seek A3 to  0", "play A3"}, "bell", 0, 500},
        {"Test plays from the typed start", &Form3::Command5, "x", "1.5", "100", {"seek A3 to  1500", "play A3"}, "bell", 0, 500},
        {"Stop", &Form3::Command4, "x", "1.5", "100", stop, "bell", 0, 500},
        {"閉じる leaves the sound playing", &Form3::Command2, "x", "1.5", "100", {}, "bell", 0, 500},
        {"Escape", nullptr, "x", "1.5", "100", {}, "bell", 0, 500},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        ModalAnswer answer([&](QWidget* w) {
            auto* dialog = qobject_cast<Form3*>(w);
            dialog->Text1->setText(c.typedName);
            dialog->Text2->setText(c.start);
            dialog->Text3->setText(c.volume);
            c.button ? (dialog->*c.button)->click() : QTest::keyClick(w->windowHandle(), Qt::Key_Escape);
            EXPECT_EQ(dialog->isVisible(), c.button != apply && c.button != &Form3::Command2 && c.button);
            if (dialog->isVisible()) dialog->Command2->click();
        });
        board->mnuSoundFile_Click();
        EXPECT_TRUE(answer.shown);
        EXPECT_EQ(mci.actions(), c.sent);
        EXPECT_EQ(board->Slots.SlotStart[kSlot], c.storedStart);
        EXPECT_EQ(board->Text1[kSlot]->text(), c.boardName);
        EXPECT_EQ(board->HScroll1[kSlot]->value(), c.boardVolume);
    }
}

TEST_F(DetailsDialogTest, NothingOpensOnAnEmptySlot) {
    board->Slots.SelectedSlot = 4;
    ModalAnswer answer([](QWidget* w) { w->close(); });
    board->mnuSoundFile_Click();
    EXPECT_FALSE(answer.shown);
    EXPECT_TRUE(mci.actions().empty());
}

}  // namespace
