// Start-up: what the board shows and which commands reach the media service after the list
// has been read.
#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QTimer>

#include "board/window/slot_label.h"
#include "startup_fixture.h"
#include "toolkit/colors.h"

namespace startup_tests {
namespace {

constexpr std::uint32_t kYellow = 0x00FFFF;
constexpr std::uint32_t kLightPink = 0xFFC0FF;

void ExpectEmpty(const Form1& f, int i) {
    SCOPED_TRACE("slot " + std::to_string(i));
    EXPECT_TRUE(SlotFile(i).isEmpty());
    EXPECT_TRUE(SlotName(i).isEmpty());
    EXPECT_EQ(SlotVolume(i), 0);
    EXPECT_EQ(SlotStart(i), 0.0);
    EXPECT_TRUE(f.Text1[i]->text().isEmpty());
    EXPECT_FALSE(f.Command1[i]->isEnabled());
    EXPECT_FALSE(f.Command2[i]->isEnabled());
    EXPECT_FALSE(f.Check1[i]->isEnabled());
    EXPECT_FALSE(f.Check2[i]->isEnabled());
    EXPECT_FALSE(f.Check1[i]->isChecked());
    EXPECT_FALSE(f.Check2[i]->isChecked());
    EXPECT_FALSE(f.HScroll1[i]->isEnabled());
    EXPECT_EQ(f.HScroll1[i]->value(), 0);
}

void ExpectAssigned(const Form1& f, int i, const QString& name, int volume) {
    SCOPED_TRACE("slot " + std::to_string(i));
    EXPECT_EQ(SlotName(i), name);
    EXPECT_EQ(f.Text1[i]->text(), name);
    EXPECT_EQ(toolkit::BackColor(f.Text1[i]), kYellow);
    EXPECT_TRUE(f.Command1[i]->isEnabled());
    EXPECT_TRUE(f.Command2[i]->isEnabled());
    EXPECT_TRUE(f.Check1[i]->isEnabled());
    EXPECT_TRUE(f.Check2[i]->isEnabled());
    EXPECT_TRUE(f.HScroll1[i]->isEnabled());
    EXPECT_EQ(f.HScroll1[i]->value(), volume);
    EXPECT_EQ(SlotVolume(i), volume);
}

std::vector<std::string> ClosesFrom(int first) {
    std::vector<std::string> out;
    for (int i = first; i < kSlotCount; ++i) out.push_back("close A" + std::to_string(i));
    return out;
}

TEST_F(StartupFixture, WithoutListEverySlotIsEmptyWithDefaultKeys) {
    Form1& f = start();

    EXPECT_EQ(f.windowTitle(), QStringLiteral("Sorvane Ver 2. 1. 6"));
    EXPECT_EQ(f.HotKey0, QString::fromLatin1(kDefaultKeys));
    EXPECT_EQ(f.HotKey, f.HotKey0);
    for (int i = 0; i < kSlotCount; ++i) {
        EXPECT_EQ(f.Label4[i]->text(), QString(QChar::fromLatin1(kDefaultKeys[i])));
        ExpectEmpty(f, i);
    }
    EXPECT_EQ(f.Label3->text(), QStringLiteral("キー操作\u3000有効"));
    EXPECT_EQ(toolkit::BackColor(f.Label3), kLightPink);
    EXPECT_TRUE(f.KeyPreviewOn());
    EXPECT_EQ(f.focusWidget(), f.Command3);
    EXPECT_TRUE(f.Timer1->isActive());
    EXPECT_TRUE(f.isVisible());
    // Only the empty set-up's closes: nothing is opened and no volume is sent.
    EXPECT_EQ(mci.actions(), ClosesFrom(0));
}

TEST_F(StartupFixture, FiveRecordsFillTheFirstFiveSlots) {
    writeList(ListLine(0, "Q", "Bell", "bell.wav", "0", "800", "1", "0") +
              ListLine(1, "1", "Horn", "snd/horn.mp3", ".5", "250", "0", "1") +
              ListLine(2, "Z", "Gong", "/abs/gong.ogg", "12.25", "1000", "1", "1") +
              ListLine(3, "3", "Clap", "clap.wav", "0", "0", "0", "0") +
              ListLine(4, "!", "Drum", "drum.flac", "3", "600", "0", "0"));
    Form1& f = start();

    ExpectAssigned(f, 0, "Bell", 800);
    ExpectAssigned(f, 1, "Horn", 250);
    ExpectAssigned(f, 2, "Gong", 1000);
    ExpectAssigned(f, 3, "Clap", 0);
    ExpectAssigned(f, 4, "Drum", 600);
    EXPECT_EQ(SlotFile(1), QStringLiteral("snd/horn.mp3"));
    EXPECT_EQ(SlotStart(1), 0.5);
    EXPECT_EQ(SlotStart(2), 12.25);
    EXPECT_TRUE(f.Check1[0]->isChecked());
    EXPECT_FALSE(f.Check2[0]->isChecked());
    EXPECT_FALSE(f.Check1[1]->isChecked());
    EXPECT_TRUE(f.Check2[1]->isChecked());

    EXPECT_EQ(f.HotKey.left(6), QStringLiteral("Q1Z3!5"));
    EXPECT_EQ(f.Label4[0]->text(), QStringLiteral("Q"));
    EXPECT_EQ(f.Label4[4]->text(), QStringLiteral("!"));
    for (int i = 5; i < kSlotCount; ++i) {
        EXPECT_EQ(f.Label4[i]->text(), QString(QChar::fromLatin1(kDefaultKeys[i])));
        ExpectEmpty(f, i);
    }
    EXPECT_EQ(mci.open, (std::set<int>{0, 1, 2, 3, 4}));
}

TEST_F(StartupFixture, AssignedSlotOpensItsChannelThenSendsItsVolume) {
    writeList(ListLine(0, "0", "x", "x.wav", "0", "800", "0", "0"));
    start();
    std::vector<std::string> expected = {"open \"x.wav\" alias A0 type mpegvideo",
                                         "setaudio A0 volume to  800"};
    for (const auto& close : ClosesFrom(1)) expected.push_back(close);
    EXPECT_EQ(mci.actions(), expected);
}

// Hand-edited or unusual values: what the controls take, and which volume reaches the
// channel. A fresh channel plays at full level, so the volume is sent even when the bar
// already shows it.
TEST_F(StartupFixture, RecordValuesBecomeControlStates) {
    struct Case {
        const char* what;
        const char* key;
        const char* volume;
        const char* fade;
        const char* exclusive;
        int barValue;
        const char* volumeCommand;
        bool fadeTicked, exclusiveTicked;
        const char* keyLabel;
        QChar hotKey;
    };
    const Case cases[] = {
        {"negative volume", "0", "-5", "0", "0", 0, "setaudio A0 volume to  0", false, false, "0", u'0'},
        {"volume 0", "0", "0", "0", "0", 0, "setaudio A0 volume to  0", false, false, "0", u'0'},
        {"volume above the scale", "0", "2000", "0", "0", 1000, "setaudio A0 volume to  1000", false, false, "0", u'0'},
        {"fade on, exclusive off", "0", "500", "1", "0", 500, "setaudio A0 volume to  500", true, false, "0", u'0'},
        {"fade off, exclusive on", "0", "500", "0", "1", 500, "setaudio A0 volume to  500", false, true, "0", u'0'},
        {"check value 2 ticks", "0", "500", "2", "-1", 500, "setaudio A0 volume to  500", true, true, "0", u'0'},
        {"key Q", "Q", "500", "0", "0", 500, "setaudio A0 volume to  500", false, false, "Q", u'Q'},
        {"longer key: first character counts", "XY", "500", "0", "0", 500, "setaudio A0 volume to  500", false, false, "XY", u'X'},
        {"empty key keeps the default", "", "500", "0", "0", 500, "setaudio A0 volume to  500", false, false, "", u'0'},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        writeList(ListLine(0, c.key, "x", "x.wav", "0", c.volume, c.fade, c.exclusive));
        Form1& f = restart();
        EXPECT_EQ(f.HScroll1[0]->value(), c.barValue);
        EXPECT_EQ(SlotVolume(0), c.barValue);
        EXPECT_EQ(f.Check1[0]->isChecked(), c.fadeTicked);
        EXPECT_EQ(f.Check2[0]->isChecked(), c.exclusiveTicked);
        EXPECT_TRUE(f.Check1[0]->isEnabled());
        EXPECT_EQ(f.Label4[0]->text(), QString::fromLatin1(c.key));
        EXPECT_EQ(f.HotKey.at(0), c.hotKey);
        const std::vector<std::string> actions = mci.actions();
        ASSERT_GE(actions.size(), 2u);
        EXPECT_EQ(actions[0], "open \"x.wav\" alias A0 type mpegvideo");
        EXPECT_EQ(actions[1], c.volumeCommand);
        EXPECT_EQ(actions[2], "close A1");  // sent once, not twice
    }
}

TEST_F(StartupFixture, SlotKeyFromTheListPlaysThatSlot) {
    writeList(ListLine(0, "Q", "x", "x.wav", "0", "800", "0", "0"));
    Form1& f = start();
    mci.clear();
    f.BoardKeyPress('Q');
    EXPECT_EQ(mci.actions(), (std::vector<std::string>{"seek A0 to  0", "play A0"}));
}

// A drive that is not plugged in must not erase the board: the slot looks empty for this
// run, but its record goes back to the list unchanged and comes back once the file is there.
TEST_F(StartupFixture, UnopenableSoundKeepsItsRecordForTheNextRun) {
    const QByteArray gone = ListLine(0, "K", "Gone", "/media/usb/gone.wav", ".5", "700", "1", "1");
    const QByteArray here = ListLine(1, "L", "Here", "here.wav", "0", "300", "0", "0");
    writeList(gone + here);
    mci.unopenable.insert("/media/usb/gone.wav");

    Form1& f = start();
    ExpectEmpty(f, 0);
    EXPECT_EQ(f.Label4[0]->text(), QStringLiteral("K"));
    EXPECT_EQ(f.HotKey.at(0), u'K');
    EXPECT_EQ(mci.open, std::set<int>{1});
    ASSERT_TRUE(KeptRecord(0).has_value());
    EXPECT_FALSE(KeptRecord(1).has_value());

    f.close();
    QByteArray expected = gone + here;
    for (int i = 2; i < kSlotCount; ++i) expected += EmptyLine(i);
    EXPECT_EQ(readList(), expected);

    // Still missing on the next run: written back the same again.
    restart().close();
    EXPECT_EQ(readList(), expected);

    // The drive is back: the slot is assigned as it was.
    mci.unopenable.clear();
    Form1& back = restart();
    ExpectAssigned(back, 0, "Gone", 700);
    EXPECT_EQ(SlotStart(0), 0.5);
    EXPECT_TRUE(back.Check1[0]->isChecked());
    EXPECT_TRUE(back.Check2[0]->isChecked());
    EXPECT_FALSE(KeptRecord(0).has_value());
}

// A record cut short by the end of the file: the fields before the cut are used, its key is not.
TEST_F(StartupFixture, RecordCutShortUsesTheFieldsReadBeforeTheCut) {
    writeList(ListLine(0, "Q", "Bell", "bell.wav", "0", "800", "0", "0") +
              " 1 ,\"Z\",\"Half\",\"half.wav\", 2 ");
    Form1& f = start();
    ExpectAssigned(f, 0, "Bell", 800);
    ExpectAssigned(f, 1, "Half", 0);
    EXPECT_EQ(SlotStart(1), 2.0);
    EXPECT_EQ(f.Label4[1]->text(), QStringLiteral("1"));
    EXPECT_EQ(f.HotKey.at(1), u'1');
    for (int i = 2; i < kSlotCount; ++i) ExpectEmpty(f, i);
}

}  // namespace
}  // namespace startup_tests
