// The command strings each board operation sends to the media service, and their order: the
// service understands nothing else, so a changed blank or a reordered stop is a broken board.
// Status queries are left out; when the board asks is its own business.
#include <QMessageBox>
#include <sstream>

#include "board_fixture.h"

namespace {

// Does what a step says on the board: "Play 5" and "Stop 5" click the slot's buttons, "Fade 5"
// and "Exclusive 5" tick its boxes, "press 3" presses a key ("press Escape" too), "bar 3 1000"
// moves a bar, "release 3" releases a slot, "drop 3 <path>" drops a file on it, "timer 3" ticks
// until the slot's fade has ended and "exit" runs the exit steps.
void Do(Form1& b, const std::string& step) {
    std::istringstream words(step);
    std::string verb;
    std::string key;  // what "press" presses
    int slot = 0;
    std::string value;
    words >> verb;
    if (verb == "press") words >> key;
    words >> slot >> value;
    if (verb == "Play") b.Command1[slot]->click();
    if (verb == "Stop") b.Command2[slot]->click();
    if (verb == "Fade") b.Check1[slot]->setChecked(true);
    if (verb == "Exclusive") b.Check2[slot]->setChecked(true);
    if (verb == "press") b.BoardKeyPress(key == "Escape" ? 27 : key[0]);
    if (verb == "bar") b.HScroll1[slot]->setValue(std::stoi(value));
    if (verb == "release") b.ReleaseSlot(slot);
    if (verb == "drop") DropFiles(b, slot, {QString::fromStdString(value)});
    for (int n = 0; verb == "timer" && n < 100 && b.Slots.FadeActive[slot]; ++n) b.FadeTick();
    if (verb == "exit") b.Form_Unload();
}

// A drop on slot 3 of a file the board stores as `stored`: a trial on the scratch channel, then the slot.
Commands DropSends(const std::string& stored) {
    return {"open \"" + stored + "\" alias A100 type mpegvideo", "close A100", "close A3",
            "open \"" + stored + "\" alias A3 type mpegvideo", "setaudio A3 volume to  800"};
}

// A fade walks down by tenths, halves to even, ends below 10 and puts the volume back.
Commands FadeSends() {
    Commands sent;
    for (int level :
         {576, 518, 466, 419, 377, 339, 305, 274, 247, 222, 200, 180, 162, 146, 131, 118, 106, 95, 86, 77, 69,
          62,  56,  50,  45,  40,  36,  32,  29,  26,  23,  21,  19,  17,  15,  14,  13,  12,  11, 10, 9,  0})
        sent.push_back("setaudio A3 volume to  " + std::to_string(level));
    sent.push_back("stop A3");
    sent.push_back("setaudio A3 volume to  640");
    return sent;
}

// Every channel stopped and closed, once.
Commands ExitSends() {
    Commands sent;
    for (int i = 0; i < kSlotCount; ++i) {
        sent.push_back("stop A" + std::to_string(i));
        sent.push_back("close A" + std::to_string(i));
    }
    return sent;
}

// Slots 3 (start 1.5 s, volume 640), 5 and 37 hold sounds; slot 3 plays. The program folder is
// /home/u/board: a sound inside it is stored relative to it, only the whole folder name counting,
// case for case; the folder itself is no sound.
TEST_F(BoardTest, EachOperationSendsExactlyItsCommandsInOrder) {
    const struct {
        std::vector<std::string> steps;
        Commands sent;
    } cases[] = {
        // clang-format off
        {{"drop 3 /home/u/board/fx/bell.wav"}, DropSends("fx/bell.wav")},
        {{"drop 3 /home/u/boardgames/x.wav"}, DropSends("/home/u/boardgames/x.wav")},
        {{"drop 3 /home/U/board/x.wav"}, DropSends("/home/U/board/x.wav")},
        {{"drop 3 /home/u/board"}, {}},
        {{"drop 3 /srv/bad.wav"}, {"open \"/srv/bad.wav\" alias A100 type mpegvideo", "close A100"}},
        {{"Play 3"}, {"seek A3 to  1500", "play A3"}},
        {{"Exclusive 5", "Play 5"}, {"seek A5 to  0", "play A5", "stop A3", "stop A37"}},  // the others after, ascending
        {{"Stop 3"}, {"stop A3"}},
        {{"Stop 5"}, {"stop A5"}},  // a silent slot
        {{"Fade 3", "Stop 3"}, {}},  // a fade starts
        {{"press Escape"}, {"stop A3", "stop A5", "stop A37"}},
        {{"press 3", "press 5"}, {"stop A3", "seek A5 to  0", "play A5"}},
        {{"bar 3 1000", "bar 3 1000"}, {"setaudio A3 volume to  1000"}},
        {{"release 3"}, {"close A3", "setaudio A3 volume to  0"}},
        {{"Fade 3", "Stop 3", "timer 3"}, FadeSends()},
        {{"Fade 3", "Stop 3", "drop 3 /srv/new.wav", "timer 3"}, DropSends("/srv/new.wav")},  // the fade ends
        {{"Fade 3", "Stop 3", "release 3", "timer 3"}, {"close A3", "setaudio A3 volume to  0"}},  // with the sound
        {{"exit", "exit"}, ExitSends()},
        // clang-format on
    };
    fake.unopenable.insert("/srv/bad.wav");
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.steps));
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
            f->AssignedSetUp(i);
        }
        fake.playing = {3};
        fake.calls.clear();
        for (const std::string& step : c.steps) Do(*f, step);
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
