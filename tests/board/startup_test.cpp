// Start-up: what the board shows and which commands reach the media service once the list
// has been read.
#include <QLabel>
#include <QStringEncoder>
#include <QTextDocumentFragment>
#include <QTimer>

#include "board_fixture.h"

#ifdef Q_OS_UNIX
#include <csignal>
#include <sys/resource.h>
#endif

namespace {

SlotLooks EmptyAtStart(int i) { return Empty(QString(QChar::fromLatin1(kDefaultKeys[i])), toolkit::kWindowBackground); }

Commands ClosesFrom(int first) {
    Commands out;
    for (int i = first; i < kSlotCount; ++i) out.push_back("close A" + std::to_string(i));
    return out;
}

TEST_F(BoardTest, WithoutListEverySlotIsEmptyWithDefaultKeys) {
    Form1& b = start();
    EXPECT_EQ(b.windowTitle(), QStringLiteral("Sorvane Ver 2. 1. 6"));
    EXPECT_EQ(b.HotKey, QString::fromLatin1(kDefaultKeys));
    EXPECT_EQ(b.HotKey0, b.HotKey);
    for (int i = 0; i < kSlotCount; ++i) EXPECT_EQ(LooksOf(b, i), EmptyAtStart(i)) << i;
    EXPECT_EQ(b.Label3->text(), QStringLiteral("キー操作\u3000有効"));
    EXPECT_EQ(toolkit::BackColor(b.Label3), 0xFFC0FFu);
    EXPECT_TRUE(b.KeyPreviewOn() && b.Timer1->isActive() && b.isVisible());
    EXPECT_EQ(b.focusWidget(), b.Command3);
    EXPECT_EQ(mci.actions(), ClosesFrom(0));  // nothing opened, no volume sent
}

// Keys, names with commas and blanks, Japanese text, fractions, volumes and check states come
// in, and go back out byte for byte, run after run.
TEST_F(BoardTest, FiveRecordsFillTheirSlotsAndSurviveTwoRunsByteForByte) {
    const QByteArray japanese = QStringEncoder("windows-31j").encode(QStringLiteral("拍手　大"));
    const QByteArray list = ListLine(0, "Q", "Bell, loud", "bell.wav", "0", "800", "1", "0") +
                            ListLine(1, "1", "  spaced", "snd/horn.mp3", ".5", "250", "0", "1") +
                            ListLine(2, "Z", japanese, "/abs/clap.ogg", "12.25", "1000", "1", "1") + EmptyLines(3, 4) +
                            ListLine(4, "!", "quiet", "q.wav", "3", "0", "0", "0") + EmptyLines(5);
    writeList(list);
    for (int run = 0; run < 2; ++run) {
        Form1& b = start();
        const SlotLooks expected[] = {
            Assigned("bell.wav", "Bell, loud", "Q", 800, true),
            Assigned("snd/horn.mp3", "  spaced", "1", 250, false, true, .5),
            Assigned("/abs/clap.ogg", "拍手　大", "Z", 1000, true, true, 12.25), EmptyAtStart(3),
            Assigned("q.wav", "quiet", "!", 0, false, false, 3)};
        for (int i = 0; i < 5; ++i) EXPECT_EQ(LooksOf(b, i), expected[i]) << i;
        for (int i = 5; i < kSlotCount; ++i) EXPECT_EQ(LooksOf(b, i), EmptyAtStart(i)) << i;
        EXPECT_EQ(b.HotKey.left(6), QStringLiteral("Q1Z3!5"));
        EXPECT_EQ(mci.open, (std::set<int>{0, 1, 2, 4}));
        b.close();
        EXPECT_EQ(readList(), list);
    }
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
    writeList(ListLine(0, "0", "x", "x.wav", "0", "800", "0", "0"));
    Restart();
    f = std::make_unique<Form1>();
    f->Label3->installEventFilter(&spy);
    std::optional<QStringList> paintedAtOpen;
    mci.onCommand = [&](const std::string& command) {
        if (command.rfind("open ", 0) == 0 && !paintedAtOpen) paintedAtOpen = spy.painted;
    };
    f->Form_Load();
    mci.onCommand = nullptr;
    EXPECT_EQ(paintedAtOpen, QStringList{QStringLiteral("初期化中")});
}

// A list damaged in a record is kept beside it as it was found, never over an earlier copy,
// before the exit writes over it; the user is told once, after start-up, where it is.
TEST_F(BoardTest, ADamagedListIsKeptBesideItAndTheUserToldOnce) {
    QByteArray damaged[2];
    for (int run = 0; run < 2; ++run) {
        damaged[run] = ListLine(0, "Q", "a", "a.wav", "0", "800", "0", "0") + ListLine(1, "1", "b", "b.wav", "0", "800", "0", "0") +
                       " 2 ,\"2\",\"c\",\"c.wav\", x" + QByteArray::number(run) + " , 800 , 0 , 0 \r\n" + EmptyLines(3);
        writeList(damaged[run]);
        Form1& b = start();
        const QString copy = listPath() + (run == 0 ? ".bak" : ".bak.1");
        EXPECT_EQ(events, Commands{"box 16 " + (QDir::toNativeSeparators(listPath()) + "のスロット2を読めません\n元のリストを" +
                                                QDir::toNativeSeparators(copy) + "に残しました").toStdString()});
        EXPECT_EQ(LooksOf(b, 1), Assigned("b.wav", "b", "1", 800));
        b.close();
        EXPECT_NE(readList(), damaged[run]);
    }
    for (const int run : {0, 1}) {
        QFile copy(listPath() + (run == 0 ? ".bak" : ".bak.1"));
        EXPECT_TRUE(copy.open(QIODevice::ReadOnly) && copy.readAll() == damaged[run]) << run;
    }
#ifdef Q_OS_UNIX
    // No copy can be made (here a file size limit, which stops even root): the exit leaves the
    // damaged list alone and keeps the board in the state folder.
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit saved{}, small{};
    getrlimit(RLIMIT_FSIZE, &saved);
    small = saved, small.rlim_cur = 100;
    writeList(damaged[0]);
    setrlimit(RLIMIT_FSIZE, &small);
    Form1& b = start();
    setrlimit(RLIMIT_FSIZE, &saved);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_NE(events[0].find("のスロット2を読めません\n元のリストの写しを残せません"), std::string::npos) << events[0];
    b.close();
    EXPECT_EQ(readList(), damaged[0]);
    EXPECT_EQ(QDir("state/sorvane").entryList(QDir::Files).size(), 1);
#endif
}

// A record cut short by the end of the file gives the fields read before the cut, not its key.
TEST_F(BoardTest, RecordCutShortUsesTheFieldsReadBeforeTheCut) {
    writeList(" 0 ,\"Z\",\"Half\",\"half.wav\", 2 ");
    Form1& b = start();
    EXPECT_EQ(LooksOf(b, 0), Assigned("half.wav", "Half", "0", 0, false, false, 2));
    EXPECT_EQ(b.HotKey.at(0), u'0');
}

// Hand-edited or unusual values. A fresh channel plays at full level, so the volume is sent
// once even when the bar already shows it.
TEST_F(BoardTest, RecordValuesBecomeControlStatesAndTheVolumeFollowsTheOpen) {
    const struct {
        const char *what, *key, *volume, *fade, *exclusive;
        int bar;
        bool fadeTicked, exclusiveTicked;
        QChar hotKey;
    } cases[] = {
        {"negative volume", "0", "-5", "0", "0", 0, false, false, u'0'},
        {"volume 0, as the bar shows", "0", "0", "0", "0", 0, false, false, u'0'},
        {"volume above the scale", "0", "2000", "0", "0", 1000, false, false, u'0'},
        {"fade on, exclusive off", "0", "500", "1", "0", 500, true, false, u'0'},
        {"fade off, exclusive on", "0", "500", "0", "1", 500, false, true, u'0'},
        {"other check values tick", "0", "500", "2", "-1", 500, true, true, u'0'},
        {"key Q", "Q", "500", "0", "0", 500, false, false, u'Q'},
        {"longer key: its first character counts", "XY", "500", "0", "0", 500, false, false, u'X'},
        {"empty key keeps the default", "", "500", "0", "0", 500, false, false, u'0'},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        writeList(ListLine(0, c.key, "x", "x.wav", "0", c.volume, c.fade, c.exclusive));
        Form1& b = start();
        EXPECT_EQ(LooksOf(b, 0), Assigned("x.wav", "x", c.key, c.bar, c.fadeTicked, c.exclusiveTicked));
        EXPECT_EQ(b.HotKey.at(0), c.hotKey);
        Commands expected = {"open \"x.wav\" alias A0 type mpegvideo", "setaudio A0 volume to  " + std::to_string(c.bar)};
        for (const auto& close : ClosesFrom(1)) expected.push_back(close);
        EXPECT_EQ(mci.actions(), expected);
    }
}

// A drive that is not plugged in must not erase the board: the slot looks empty for this
// run, tells by its tooltip which file is missing, and its record goes back to the list
// unchanged and comes back once the file is there; or the user lets it go.
TEST_F(BoardTest, UnopenableSoundKeepsItsRecordForTheNextRun) {
    const char* gone = "/media/<b>usb</b>/gone.wav";
    const QByteArray list = ListLine(0, "K", "Gone", gone, ".5", "700", "1", "1") +
                            ListLine(1, "L", "Here", "here.wav", "0", "300", "0", "0") + EmptyLines(2);
    writeList(list);
    mci.unopenable.insert(gone);
    for (int run = 0; run < 2; ++run) {  // still missing at the second run: written back the same again
        Form1& b = start();
        EXPECT_EQ(LooksOf(b, 0), Empty("K", toolkit::kWindowBackground));
        EXPECT_EQ(QTextDocumentFragment::fromHtml(b.Text1[0]->toolTip()).toPlainText(), QString(gone) + "が見つかりません");
        EXPECT_EQ(b.HotKey.at(0), u'K');
        EXPECT_EQ(mci.open, std::set<int>{1});
        b.close();
        EXPECT_EQ(readList(), list);
    }
    mci.unopenable.clear();  // the drive is back
    EXPECT_EQ(LooksOf(start(), 0), Assigned(gone, "Gone", "K", 700, true, true, .5));
    EXPECT_FALSE(f->Slots.KeptRecord[0].has_value());
    EXPECT_TRUE(f->Text1[0]->toolTip().isEmpty());

    mci.unopenable.insert(gone);  // missing again, and released
    start();
    f->Slots.SelectedSlot = 0, answers = {toolkit::kAnswerOk};
    f->mnuDelSoundFile_Click();
    EXPECT_EQ(events, (Commands{"beep", "box 289 サウンドファイル\"Gone\"を登録解除しますか"}));
    EXPECT_TRUE(f->Text1[0]->toolTip().isEmpty());
    f->close();
    EXPECT_EQ(readList(), ListLine(0, "K", "", "", "0", "0", "0", "0") + list.mid(list.indexOf('\n') + 1));
}

}  // namespace
