// The board as it is installed and started: its folder is the one it starts in, where the list
// lives; sounds from inside it are kept relative to it and the menu opens it, or says it cannot.
// A list from an earlier build still finds the sounds it meant; a volume typed during a fade-out
// is kept.
#include <QLineEdit>
#include <QWheelEvent>
#include <QWindow>

#include "board_fixture.h"
#include "dialogs/details/details_dialog.h"
#include "dialogs/hotkey/hotkey_dialog.h"

namespace {

using dialogs::Form3;

TEST_F(BoardTest, TheFolderItStartsInHoldsItsListItsSoundsAndIsWhatTheMenuOpens) {
    toolkit::SetBoardFolderForTests({});  // the real rule: the current folder
    QDir().mkpath(path("fx"));
    drop(3, path("fx/bell.wav"));
    EXPECT_EQ(f->Slots.SlotFile[3], "fx/bell.wav");
    f->mnuOpenFolder_Click();
    EXPECT_EQ(events, Commands{"open folder " + QDir::currentPath().toStdString()});
    toolkit::SetOpenFolderHook([](const QString&) { return false; });  // no file manager answers
    f->mnuOpenFolder_Click();
    EXPECT_EQ(events.back(), "box 16 " + QDir::currentPath().toStdString() + "を開けません");
}

// Earlier builds kept a sound lying beside the program relative to the program's folder. Such a
// path, found nowhere in the board's folder, names the file beside the program; a relative path
// that the board's folder holds, or that names nothing anywhere, is taken as it stands.
TEST_F(BoardTest, AnEarlierListFindsTheSoundsItKeptBesideTheProgram) {
    QDir().mkpath(path("bin"));
    write(path("bin/beside.wav"), "RIFF");
    write(path("here.wav"), "RIFF");
    toolkit::SetProgramFolderForTests(path("bin"));
    write(listPath(), ListLine(0, "0", "beside", "beside.wav") + ListLine(1, "1", "here", "here.wav") +
                          ListLine(2, "2", "gone", "gone.wav") + EmptyLines(3));
    fake.unopenable.insert("gone.wav");
    start();
    EXPECT_EQ(f->Slots.SlotFile[0], path("bin/beside.wav"));
    EXPECT_EQ(f->Slots.SlotFile[1], "here.wav");
    EXPECT_TRUE(f->Slots.Kept[2].has_value());
    f->close();
    EXPECT_EQ(read(listPath()), ListLine(0, "0", "beside", path("bin/beside.wav").toUtf8()) +
                                    ListLine(1, "1", "here", "here.wav") + ListLine(2, "2", "gone", "gone.wav") +
                                    EmptyLines(3));
}

// Slot 0 fades out from 800 when the details dialog opens on it; the dialog's volume box then
// shows the fade's level. A volume typed there is the slot's volume from then on, whether the
// fade still runs at the exit or has ended while the dialog was open; an untouched box leaves the
// volume the fade remembered, which is what the exit keeps of a slot caught in a fade-out.
TEST_F(BoardTest, AVolumeTypedDuringAFadeOutIsTheOneTheListKeeps) {
    for (const char* typed : {"500", static_cast<const char*>(nullptr)}) {  // nullptr: the box left as it was
        for (const bool fadeEndsMeanwhile : {false, true}) {
            SCOPED_TRACE(std::string(typed ? typed : "untouched") + (fadeEndsMeanwhile ? ", fade ends" : ""));
            write(listPath(), ListLine(0, "0", "x", "x.wav", "0", "800", "1") + EmptyLines(1));
            start();
            f->PlaySlot(0);
            f->StopSlot(0);
            f->FadeTick();
            f->FadeTick();
            ASSERT_EQ(bar(0), 648);
            ModalAnswer details([&, board = f.get()](QWidget* w) {
                if (fadeEndsMeanwhile) {
                    fake.playing.clear();  // the sound runs out while the dialog is open
                    board->FadeTick();
                }
                if (typed) qobject_cast<Form3*>(w)->Text3->setText(QString::fromLatin1(typed));
                qobject_cast<Form3*>(w)->Command1->click();
            });
            f->Slots.SelectedSlot = 0;
            f->mnuSoundFile_Click();
            ASSERT_TRUE(details.shown);
            EXPECT_EQ(f->Slots.FadeActive[0], !fadeEndsMeanwhile);
            f->close();
            EXPECT_TRUE(read(listPath()).startsWith(ListLine(0, "0", "x", "x.wav", "0", typed ? typed : "800", "1")));
        }
    }
}

// The wheel over a slot's volume bar changes nothing: scrolling past the board must not change
// a sound's level.
TEST_F(BoardTest, TheMouseWheelOverAVolumeBarChangesNothing) {
    drop(3, "/srv/bell.wav");
    for (const int notch : {120, -120}) {
        QWheelEvent wheel(QPointF(5, 5), QPointF(5, 5), QPoint(), QPoint(0, notch), Qt::NoButton, Qt::NoModifier,
                          Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(f->HScroll1[3], &wheel);
    }
    EXPECT_EQ(bar(3), 800);
    EXPECT_TRUE(fake.calls.empty());
}

// The board shows its icon; the two dialogs show none (a window without its own icon would show
// the application's), and the details dialog opens where the window system puts a new window,
// not centred over the board.
TEST_F(BoardTest, TheDialogsHaveNoIconAndTheDetailsOpenWhereTheSystemPutsThem) {
    f->move(300, 200);
    f->show();
    EXPECT_FALSE(f->windowHandle()->icon().isNull());
    drop(0, "/srv/bell.wav");
    std::optional<QRect> details;  // where the first, the details dialog, opened
    for (void (Form1::*open)() : {&Form1::mnuSoundFile_Click, &Form1::mnuHotkey_Click}) {
        std::optional<bool> icon;
        ModalAnswer answer([&](QWidget* w) {
            icon = !w->windowHandle()->icon().isNull();
            if (!details) details = w->geometry();
            w->close();
        });
        (f.get()->*open)();
        EXPECT_EQ(icon, false) << (open == &Form1::mnuHotkey_Click ? "the hotkey dialog" : "the details dialog");
    }
    ASSERT_TRUE(details.has_value());
    QWidget fresh;  // a new window that asks for no place
    fresh.resize(details->size());
    fresh.show();
    EXPECT_EQ(details->topLeft(), fresh.geometry().topLeft());
}

}  // namespace
