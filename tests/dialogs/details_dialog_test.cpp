// The details dialog: what it shows from the slot table and the channel, what "決定" stores
// (and drops), what the trial buttons send, and the board's name box and bar afterwards.
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <cmath>

#include "board/window/slot_label.h"
#include "dialog_test_support.h"
#include "dialogs/details/form3.h"

namespace {

constexpr std::int16_t kSlot = 3;

class DetailsDialogTest : public BoardTest
{
protected:
    void SetUp() override {
        BoardTest::SetUp();
        SlotFile(kSlot) = "bell.wav";
        SlotName(kSlot) = "bell";
        board->HScroll1[kSlot]->setValue(500);  // the bar carries the volume to the slot
        board->Text1[kSlot]->setText("bell");
        SelectedSlot() = kSlot;
        board->KeyIndex = kSlot;
        mci.clear();
    }
};

struct LoadCase {
    const char* name;
    double start;
    std::string lengthReply;  // empty: the channel is not open
    QString start_shown;
    QString length_shown;
};

TEST_F(DetailsDialogTest, ShowsTheSlotAndTheChannelLength) {
    const LoadCase cases[] = {
        {"whole start", 0, "123456", " 0", " 123.456"},
        {"start below one", 0.25, "500", " .25", " .5"},
        {"negative start", -2, "", " -2", " 0"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SlotStart(kSlot) = c.start;
        mci.lengthReply.clear();
        if (!c.lengthReply.empty()) mci.lengthReply[kSlot] = c.lengthReply;
        Form3 dialog(*board, board.get());
        EXPECT_EQ(dialog.windowTitle(), QStringLiteral("サウンドファイルの詳細"));
        EXPECT_EQ(dialog.Text1->text(), "bell");
        EXPECT_EQ(dialog.Label7->text(), "bell.wav");
        EXPECT_EQ(dialog.Text3->text(), " 500");
        EXPECT_EQ(dialog.Text2->text(), c.start_shown);
        EXPECT_EQ(dialog.Label4->text(), c.length_shown);
        EXPECT_EQ(dialog.size(), QSize(397, 198));
    }
}

TEST_F(DetailsDialogTest, OpensOnTheNameBoxAndTabsThroughTheValues) {
    Form3 dialog(*board, board.get());
    ShowActive(&dialog);
    EXPECT_EQ(QApplication::focusWidget(), dialog.Text1);
    for (QWidget* next : std::initializer_list<QWidget*>{dialog.Text2, dialog.Text3, dialog.Command1}) {
        Type(&dialog, Qt::Key_Tab);
        EXPECT_EQ(QApplication::focusWidget(), next);
    }
}

struct ApplyCase {
    const char* name;
    QString typedStart;
    QString typedVolume;
    double storedStart;
    int storedVolume;  // 500 where the typed volume is dropped
};

TEST_F(DetailsDialogTest, ApplyStoresWhatWasTypedAndDropsAVolumeOutOfRange) {
    const ApplyCase cases[] = {
        {"plain", " 1.5", "300", 1.5, 300},
        {"no zero before the point", ".25", "0", 0.25, 0},
        {"number then letters", "12abc", "12abc", 12, 12},
        {"no number reads as 0", "abc", "abc", 0, 0},
        {"empty volume is 0", "", "", 0, 0},
        {"below a half rounds down", "0", "1000.4", 0, 1000},
        {"a half goes to the even one", "0", "1000.5", 0, 1000},
        {"rounds above the range", "0", "1000.6", 0, 500},
        {"a small negative rounds to 0", "0", "-0.4", 0, 0},
        {"negative", "0", "-1", 0, 500},
        {"huge", "1E300", "1E10", 1e300, 500},
        {"negative start kept", "-2", "800", -2, 800},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SlotStart(kSlot) = 7;
        SlotVolume(kSlot) = 500;
        Form3 dialog(*board, board.get());
        dialog.Text1->setText("");  // an empty name is a name too
        dialog.Text2->setText(c.typedStart);
        dialog.Text3->setText(c.typedVolume);
        mci.clear();
        dialog.Command1->click();
        EXPECT_EQ(dialog.result(), QDialog::Accepted);
        EXPECT_EQ(mci.actions(), std::vector<std::string>{"stop A3"});
        EXPECT_EQ(SlotName(kSlot), "");
        EXPECT_EQ(SlotStart(kSlot), c.storedStart);
        EXPECT_EQ(SlotVolume(kSlot), c.storedVolume);
    }
}

// Each row clicks one button of a dialog whose start box reads "1.5" (stored start: 7).
struct ButtonCase {
    const char* name;
    QPushButton* Form3::*button;
    std::vector<std::string> sent;
};

TEST_F(DetailsDialogTest, TrialButtonsDriveTheChannelAndStoreNothing) {
    const ButtonCase cases[] = {
        {"Play starts at the very beginning", &Form3::Command3, {"seek A3 to  0", "play A3"}},
        {"Test plays from the typed start", &Form3::Command5, {"seek A3 to  1500", "play A3"}},
        {"Stop", &Form3::Command4, {"stop A3"}},
        {"閉じる leaves the sound playing", &Form3::Command2, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SlotStart(kSlot) = 7;
        Form3 dialog(*board, board.get());
        dialog.Text2->setText("1.5");
        dialog.Text3->setText("100");
        mci.clear();
        (dialog.*c.button)->click();
        EXPECT_EQ(mci.actions(), c.sent);
        EXPECT_EQ(SlotStart(kSlot), 7);
        EXPECT_EQ(SlotVolume(kSlot), 500);
    }
}

// The whole path from the pop-up item: edit, close one way, then the board.
struct FlowCase {
    const char* name;
    QString typedName;
    QString typedVolume;
    std::function<void(Form3*)> close;
    QString boardName;
    int boardVolume;
    std::vector<std::string> volumeSent;
};

TEST_F(DetailsDialogTest, TheBoardShowsTheSlotTableAfterEveryClose) {
    const FlowCase cases[] = {
        {"決定 with a new volume", "chime", "300", [](Form3* d) { d->Command1->click(); },
         "chime", 300, {"setaudio A3 volume to  300"}},
        {"決定 with the same volume", "", "500", [](Form3* d) { d->Command1->click(); }, "", 500, {}},
        {"閉じる", "chime", "300", [](Form3* d) { d->Command2->click(); }, "bell", 500, {}},
        {"Escape", "chime", "300", [](Form3* d) { Type(d, Qt::Key_Escape); }, "bell", 500, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SlotName(kSlot) = "bell";
        board->HScroll1[kSlot]->setValue(500);
        board->Text1[kSlot]->setText("bell");
        mci.clear();
        ModalAnswer answer([&](QWidget* w) {
            auto* dialog = qobject_cast<Form3*>(w);
            ASSERT_NE(dialog, nullptr);
            dialog->Text1->setText(c.typedName);
            dialog->Text3->setText(c.typedVolume);
            c.close(dialog);
        });
        board->mnuSoundFile_Click();
        EXPECT_TRUE(answer.shown);
        EXPECT_EQ(board->Text1[kSlot]->text(), c.boardName);
        EXPECT_EQ(board->HScroll1[kSlot]->value(), c.boardVolume);
        std::vector<std::string> volumeSent;
        for (const auto& a : mci.actions())
            if (a.rfind("setaudio", 0) == 0) volumeSent.push_back(a);
        EXPECT_EQ(volumeSent, c.volumeSent);
    }
}

TEST_F(DetailsDialogTest, NothingOpensOnAnEmptySlot) {
    SelectedSlot() = 4;
    ModalAnswer answer([](QWidget* w) { w->close(); });
    board->mnuSoundFile_Click();
    QCoreApplication::processEvents();
    EXPECT_FALSE(answer.shown);
    EXPECT_EQ(board->KeyIndex, 4);
    EXPECT_TRUE(mci.actions().empty());
}

}  // namespace
