// The command strings each board operation sends to the media service, and their order: the
// service understands nothing else, so a changed blank or a reordered stop is a broken board.
// Status queries are left out; when the board asks is its own business.
#include <QMessageBox>

#include "board_fixture.h"

namespace {

// Slots 3 (start 1.5 s, volume 640), 5 and 37 hold sounds; slot 3 plays.
TEST_F(BoardTest, EachOperationSendsExactlyItsCommandsInOrder) {
    const auto ladder = [](std::initializer_list<int> levels) {
        Commands out;
        for (int v : levels) out.push_back("setaudio A3 volume to  " + std::to_string(v));
        return out;
    };
    const struct {
        const char* what;
        std::function<void(Form1&, RecordingMci&)> operation;
        Commands sent;
    } cases[] = {
        {"drop under the program folder: trial on the scratch channel, then the slot",
         [](Form1& b, RecordingMci&) { DropFiles(b, 3, {"/home/u/board/fx/bell.wav"}); },
         {"open \"fx/bell.wav\" alias A100 type mpegvideo", "close A100", "close A3",
          "open \"fx/bell.wav\" alias A3 type mpegvideo", "setaudio A3 volume to  800"}},
        {"drop of a file the service refuses",
         [](Form1& b, RecordingMci& fake) {
             fake.unopenable.insert("/srv/bad.wav");
             DropFiles(b, 3, {"/srv/bad.wav"});
         },
         {"open \"/srv/bad.wav\" alias A100 type mpegvideo", "close A100"}},
        {"Play seeks to the start position",
         [](Form1& b, RecordingMci&) { b.Command1[3]->click(); },
         {"seek A3 to  1500", "play A3"}},
        {"exclusive Play stops the others afterwards, ascending",
         [](Form1& b, RecordingMci&) {
             b.Check2[5]->setChecked(true);
             b.Command1[5]->click();
         },
         {"seek A5 to  0", "play A5", "stop A3", "stop A37"}},
        {"Stop", [](Form1& b, RecordingMci&) { b.Command2[3]->click(); }, {"stop A3"}},
        {"Stop on a silent slot", [](Form1& b, RecordingMci&) { b.Command2[5]->click(); }, {"stop A5"}},
        {"Stop with the fade box starts a fade and sends nothing",
         [](Form1& b, RecordingMci&) {
             b.Check1[3]->setChecked(true);
             b.Command2[3]->click();
         },
         {}},
        {"Escape stops every slot with a sound",
         [](Form1& b, RecordingMci&) { b.BoardKeyPress(27); },
         {"stop A3", "stop A5", "stop A37"}},
        {"the key of slot 3 stops it; of slot 5 plays it",
         [](Form1& b, RecordingMci&) {
             b.BoardKeyPress('3');
             b.BoardKeyPress('5');
         },
         {"stop A3", "seek A5 to  0", "play A5"}},
        {"the bar",
         [](Form1& b, RecordingMci&) {
             b.HScroll1[3]->setValue(1000);
             b.HScroll1[3]->setValue(1000);
         },
         {"setaudio A3 volume to  1000"}},
        {"release", [](Form1& b, RecordingMci&) { b.ReleaseSlot(3); }, {"close A3", "setaudio A3 volume to  0"}},
        {"a fade walks down by tenths, halves to even, ends below 10 and puts the volume back",
         [](Form1& b, RecordingMci&) {
             b.Check1[3]->setChecked(true);
             b.Command2[3]->click();
             for (int n = 0; n < 100 && b.Slots.FadeActive[3]; ++n) b.FadeTick();
         },
         [&] {
             Commands c = ladder({576, 518, 466, 419, 377, 339, 305, 274, 247, 222, 200, 180, 162, 146,
                                  131, 118, 106, 95,  86,  77,  69,  62,  56,  50,  45,  40,  36,  32,
                                  29,  26,  23,  21,  19,  17,  15,  14,  13,  12,  11,  10,  9,   0});
             c.push_back("stop A3");
             c.push_back("setaudio A3 volume to  640");
             return c;
         }()},
        {"exit: every channel stopped and closed, once",
         [](Form1& b, RecordingMci&) {
             b.Form_Unload();
             b.Form_Unload();
         },
         [] {
             Commands c;
             for (int i = 0; i < kSlotCount; ++i) {
                 c.push_back("stop A" + std::to_string(i));
                 c.push_back("close A" + std::to_string(i));
             }
             return c;
         }()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        f = std::make_unique<Form1>();
        f->HotKey = QString::fromLatin1(kDefaultKeys);
        fake.open.clear();
        for (const auto& [i, file, start, volume] :
             {std::tuple{3, "a.wav", 1.5, 640}, {5, "b.wav", 0.0, 800}, {37, "c.wav", 0.0, 800}}) {
            f->Slots.SlotFile[i] = file;
            f->Slots.SlotName[i] = file;
            f->Slots.SlotStart[i] = start;
            f->Slots.SlotVolume[i] = std::int16_t(volume);
            fake.open.insert(i);
            f->AssignedSetUp(i, false, false);
        }
        fake.playing = {3};
        fake.calls.clear();
        fake.volume.clear();
        c.operation(*f, fake);
        EXPECT_EQ(fake.actions(), c.sent);
    }
}

// Start-up opens each recorded sound and sends its volume, then closes the slots without one.
TEST_F(BoardTest, StartUpOpensRecordedSoundsAndSendsTheirVolumes) {
    write(listPath(), ListLine(0, "0", "x", "x.wav", "0", "2000") + EmptyLines(1, 2) +
                          ListLine(2, "2", "y", "y.wav", "0", "-5") + EmptyLines(3));
    start();
    Commands expected = {"open \"x.wav\" alias A0 type mpegvideo", "setaudio A0 volume to  1000", "close A1",
                         "open \"y.wav\" alias A2 type mpegvideo", "setaudio A2 volume to  0"};
    for (int i = 3; i < kSlotCount; ++i) expected.push_back("close A" + std::to_string(i));
    EXPECT_EQ(fake.actions(), expected);
}

// A sound from inside the program folder (/home/u/board) is kept relative to it; only the
// whole folder name counts, compared case for case. The folder itself is no sound: nothing
// happens.
TEST_F(BoardTest, ADropIsStoredRelativeOnlyFromInsideTheProgramFolder) {
    const std::pair<const char*, const char*> cases[] = {
        {"/home/u/board/fx/x.wav", "fx/x.wav"},
        {"/home/u/boardgames/x.wav", "/home/u/boardgames/x.wav"},
        {"/home/U/board/x.wav", "/home/U/board/x.wav"},
        {"/home/u/board", ""},
    };
    for (const auto& [dropped, stored] : cases) {
        SCOPED_TRACE(dropped);
        f->ReleaseSlot(4);
        fake.calls.clear();
        DropFiles(*f, 4, {dropped});
        EXPECT_EQ(f->Slots.SlotFile[4], stored);
        if (*stored) {
            EXPECT_EQ(fake.actions().front(), "open \"" + std::string(stored) + "\" alias A100 type mpegvideo");
        } else {
            EXPECT_EQ(fake.calls, Commands{});
            EXPECT_EQ(events, Commands{});
        }
    }
}

// The board says why it refused a drop once, in its log; the user's box names the file only, as
// text even where the name reads as markup.
TEST_F(BoardTest, ARefusedDropLogsItsReasonOnceAndShowsTheNameAsText) {
    static QStringList logged;
    logged.clear();
    const QtMessageHandler previous =
        qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& text) {
            if (type == QtWarningMsg && text.startsWith("drop")) logged << text;  // not Qt's own
        });
    toolkit::SetMsgBoxHook({});  // the box the user sees
    std::optional<std::pair<QString, Qt::TextFormat>> shown;
    ModalAnswer answer([&](QWidget* w) {
        auto* box = qobject_cast<QMessageBox*>(w);
        shown.emplace(box->text(), box->textFormat());
        box->button(QMessageBox::Ok)->click();
    });
    fake.unopenable.insert("/srv/<b>x</b>.wav");
    DropFiles(*f, 4, {"/srv/<b>x</b>.wav"});
    DropFiles(*f, 4, {"/srv/good.wav"});
    qInstallMessageHandler(previous);
    EXPECT_EQ(logged, QStringList{"drop on slot 4 refused: /srv/<b>x</b>.wav - error 277"});
    EXPECT_EQ(shown, std::pair(QStringLiteral("/srv/<b>x</b>.wavは扱えません"), Qt::PlainText));
}

}  // namespace
