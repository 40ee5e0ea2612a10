// Start-up and exit: what a list gives the board, and that the board gives it back, whole or
// damaged.
#include <QLabel>
#include <QStringEncoder>
#include <QTextDocumentFragment>

#include "board_fixture.h"

#ifdef Q_OS_UNIX
#include <sys/resource.h>
#include <csignal>
#endif

namespace {

// The look of a slot: its caption, name and key colours, the five controls' enabled bits, ticks
// and bar.
std::string Look(const Form1& f, int i) {
    const int enabled = f.Command1[i]->isEnabled() | f.Command2[i]->isEnabled() << 1 | f.Check1[i]->isEnabled() << 2 |
                        f.Check2[i]->isEnabled() << 3 | f.HScroll1[i]->isEnabled() << 4;
    return (f.Label4[i]->text() + "|" + f.Text1[i]->text() + "|" + f.Slots.SlotFile[i]).toStdString() +
           QString::asprintf("|%06x|%x|%d%d|%d|%g", toolkit::BackColor(f.Text1[i]), enabled, f.Check1[i]->isChecked(),
                             f.Check2[i]->isChecked(), f.HScroll1[i]->value(), f.Slots.SlotStart[i])
               .toStdString();
}

// Keys, quotes, commas, blanks, Japanese text, fractions, unusual volumes and check values come
// in as the board shows them. A sound that does not open (a drive not plugged in) must not erase
// the board: its slot looks empty, its tooltip says why, naming the file as text. The list goes
// back out byte for byte, run after run: quotes inside a text doubled, or the next run reads a
// different board, and a record kept as it came until the user releases its slot. The controls
// only show the slot table: a name or a tick changed behind its back is not what the list keeps.
TEST_F(BoardTest, AListComesInAsItsLooksAndGoesBackByteForByte) {
    const char* gone = "/media/<b>usb</b>/gone.wav";
    QDir().mkpath(path("folder.wav"));
    write(path("notes.wav"), "not a sound");
    for (const char* file : {gone, "folder.wav", "notes.wav"}) fake.unopenable.insert(file);
    const QString why[] = {QString(gone) + "が見つかりません", "folder.wavは通常のファイルではありません",
                           "notes.wavは再生できる音ではありません"};
    const QByteArray japanese = QStringEncoder("windows-31j").encode(QStringLiteral("拍手　大"));
    const QByteArray head = ListLine(0, "Q", "Bell, \"\"loud\"\"", "bell.wav", "0", "800", "1", "0") +
                            ListLine(1, "\"\"", "  spaced", "snd/horn.mp3", ".5", "250", "0", "1") +
                            ListLine(2, "Z", japanese, "/abs/clap.ogg", "12.25", "1000", "1", "1");
    const QByteArray tail = ListLine(4, "4", "x", "folder.wav") + ListLine(5, "5", "x", "notes.wav") + EmptyLines(6);
    const QByteArray list = head + ListLine(3, "3", "Gone", gone, ".5", "700", "1", "1") + tail;
    const std::string assigned = "|00ffff|1f|";
    const std::string empty = QString::asprintf("|%06x|0|00|0|0", toolkit::kWindowBackground).toStdString();
    write(listPath(), list);
    for (int run = 0; run < 2; ++run) {
        start();
        EXPECT_EQ(Look(*f, 0), "Q|Bell, \"loud\"|bell.wav" + assigned + "10|800|0");
        EXPECT_EQ(Look(*f, 1), "\"|  spaced|snd/horn.mp3" + assigned + "01|250|0.5");
        EXPECT_EQ(Look(*f, 2), "Z|拍手　大|/abs/clap.ogg" + assigned + "11|1000|12.25");
        for (int i = 3; i < kSlotCount; ++i) EXPECT_EQ(Look(*f, i), kDefaultKeys[i] + ("||" + empty)) << i;
        for (int i = 3; i < 6; ++i)
            EXPECT_EQ(QTextDocumentFragment::fromHtml(f->Text1[i]->toolTip()).toPlainText(), why[i - 3]);
        EXPECT_EQ(f->HotKey, "Q\"Z" + QString::fromLatin1(kDefaultKeys).mid(3));
        EXPECT_EQ(f->windowTitle(), QStringLiteral("Sorvane Ver 2. 1. 6"));
        EXPECT_TRUE(f->KeyPreviewOn());
        EXPECT_TRUE(f->Timer1->isActive());
        EXPECT_EQ(f->focusWidget(), f->Command3);
        f->Text1[0]->setText("changed behind the table's back, which the list keeps");
        f->Check1[0]->blockSignals(true);
        f->Check1[0]->setChecked(false);
        f->close();
        EXPECT_EQ(read(listPath()), list);
    }
    start();
    f->Slots.SelectedSlot = 3;
    answers = {toolkit::kAnswerOk};
    f->mnuDelSoundFile_Click();
    EXPECT_EQ(events, (Commands{"beep", "box 289 サウンドファイル\"Gone\"を登録解除しますか"}));
    EXPECT_TRUE(f->Text1[3]->toolTip().isEmpty());
    f->close();
    EXPECT_EQ(read(listPath()), head + ListLine(3, "3") + tail);
    // Hand-edited values: the bar holds 0..1000, any check value but 0 ticks, a record cut
    // short gives what was read before the cut but not its key.
    write(listPath(), ListLine(0, "XY", "x", "x.wav", "0", "-5", "2", "-1") + " 1 ,\"K\",\"Half\",\"half.wav\", 2 ");
    start();
    EXPECT_EQ(Look(*f, 0), "XY|x|x.wav" + assigned + "11|0|0");
    EXPECT_EQ(Look(*f, 1), "1|Half|half.wav" + assigned + "00|0|2");
    EXPECT_EQ(f->HotKey.left(2), "X1");
    events.clear();  // the damaged list's box
}

// The window is shown and painted, its status box reading "初期化中", before the first channel
// opens, so a board of long sounds is seen starting.
TEST_F(BoardTest, TheWindowIsPaintedBeforeTheFirstChannelOpens) {
    struct PaintSpy : QObject {
        QStringList painted;  // the status box's text at each of its paints
        bool eventFilter(QObject* label, QEvent* e) override {
            if (e->type() == QEvent::Paint) painted << static_cast<QLabel*>(label)->text();
            return false;
        }
    } spy;
    write(listPath(), ListLine(0, "0", "x", "x.wav", "0", "800"));
    f->Label3->installEventFilter(&spy);
    std::optional<QStringList> paintedAtOpen;
    fake.onCommand = [&](const std::string& command) {
        if (command.rfind("open ", 0) == 0 && !paintedAtOpen) paintedAtOpen = spy.painted;
    };
    f->Form_Load();
    fake.onCommand = nullptr;
    EXPECT_EQ(paintedAtOpen, QStringList{QStringLiteral("初期化中")});
}

// A list damaged in its third record is kept beside it as it was found, never over an earlier
// copy, before the exit writes over it; the user is told once, after start-up, where it is. When
// no copy can be made the exit leaves the damaged list alone and keeps the board elsewhere.
TEST_F(BoardTest, ADamagedListIsKeptAsACopyBeforeTheExitWritesOverIt) {
    QByteArray damaged[2];
    for (int run = 0; run < 2; ++run) {
        damaged[run] = ListLine(0, "Q", "a", "a.wav") + ListLine(1, "1") + " 2 ,\"2\",\"c\",\"c.wav\", x" +
                       QByteArray::number(run);
        write(listPath(), damaged[run]);
        start();
        const QString copy = listPath() + (run == 0 ? ".bak" : ".bak.1");
        EXPECT_EQ(events,
                  Commands{"box 16 " + (QDir::toNativeSeparators(listPath()) + "のスロット2を読めません\n元のリストを" +
                                        QDir::toNativeSeparators(copy) + "に残しました")
                                           .toStdString()});
        f->close();
        EXPECT_EQ(read(copy), damaged[run]);
        EXPECT_NE(read(listPath()), damaged[run]);
    }
#ifdef Q_OS_UNIX
    std::signal(SIGXFSZ, SIG_IGN);  // a file size limit stops even root from making the copy
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    rlimit small = saved;
    small.rlim_cur = 10;
    write(listPath(), damaged[0]);
    setrlimit(RLIMIT_FSIZE, &small);
    start();
    setrlimit(RLIMIT_FSIZE, &saved);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_NE(events[0].find("を読めません\n元のリストの写しを残せません"), std::string::npos) << events[0];
    f->close();
    EXPECT_EQ(read(listPath()), damaged[0]);
    EXPECT_EQ(QDir(path("state/sorvane")).entryList(QDir::Files).size(), 1);
#endif
}

}  // namespace
