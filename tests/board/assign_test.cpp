// Dropping files on a slot's name box: which path is stored, what the slot shows, which
// commands reach the media service, and what a refused file leaves behind.
#include <algorithm>

#include "assign_fixture.h"

using namespace assign_tests;

namespace {

constexpr int kSlot = 3;

class DropTest : public BoardFixture {};

struct DropCase {
    const char* what;
    QString programFolder;
    QString dropped;
    QString stored;  // empty: the drop does nothing
    QString name;
};

TEST_F(DropTest, StoresPathShowsNameAndSendsTrialThenOpen) {
    const QString folder = QString::fromLatin1(kProgramFolder);
    const DropCase cases[] = {
        {"file in the program folder", folder, "/home/u/board/bell.wav", "bell.wav", "bell"},
        {"file in a subfolder", folder, "/home/u/board/fx/bell.wav", "fx/bell.wav", "bell"},
        {"file elsewhere", folder, "/srv/music/intro.mp3", "/srv/music/intro.mp3", "intro"},
        {"folder differs in case", folder, "/home/u/Board/x.wav", "/home/u/Board/x.wav", "x"},
        {"longer folder name alike", folder, "/home/u/boardgames/x.wav",
         "/home/u/boardgames/x.wav", "x"},
        {"the program folder itself", folder, "/home/u/board", "", ""},
        {"several points", folder, "/home/u/snd/my.song.mp3", "/home/u/snd/my.song.mp3",
         "my.song"},
        {"no point", folder, "/srv/jingle", "/srv/jingle", "jingle"},
        {"only an extension", folder, "/srv/.wav", "/srv/.wav", ""},
        {"point only in a folder name", folder, "/srv/a.b/c", "/srv/a.b/c", "c"},
        {"Japanese names", folder, "/home/u/board/効果音/ベル.wav", "効果音/ベル.wav", "ベル"},
        {"program in the root", "/", "/x/y.wav", "x/y.wav", "y"},
        {"markup in the name", folder, "/srv/<i>loud.wav", "/srv/<i>loud.wav", "<i>loud"},
    };
    for (const DropCase& c : cases) {
        SCOPED_TRACE(c.what);
        Restart();
        toolkit::SetProgramFolderForTests(c.programFolder);
        const SlotLooks before = LooksOf(*f, kSlot);

        DropFiles(*f, kSlot, {c.dropped});

        EXPECT_TRUE(events.empty()) << events.front();
        if (c.stored.isEmpty()) {
            EXPECT_TRUE(mci.commands().empty());
            EXPECT_EQ(LooksOf(*f, kSlot), before);
            continue;
        }
        const std::string path = c.stored.toStdString();
        EXPECT_EQ(mci.commands(), (std::vector<std::string>{
                                      "open \"" + path + "\" alias A100 type mpegvideo",
                                      "close A100",
                                      "close A3",
                                      "open \"" + path + "\" alias A3 type mpegvideo",
                                      "setaudio A3 volume to  800",
                                  }));
        EXPECT_EQ(SlotFile(kSlot), c.stored);
        EXPECT_EQ(SlotName(kSlot), c.name);
        EXPECT_EQ(f->Text1[kSlot]->text(), c.name);
        EXPECT_EQ(f->Text1[kSlot]->textFormat(), Qt::PlainText) << "a name is never markup";
        EXPECT_EQ(toolkit::BackColor(f->Text1[kSlot]), 0x00FFFFu);
        EXPECT_EQ(SlotVolume(kSlot), 800);
        EXPECT_EQ(f->HScroll1[kSlot]->value(), 800);
        EXPECT_EQ(SlotStart(kSlot), 0.0);
        EXPECT_TRUE(f->Command1[kSlot]->isEnabled());
        EXPECT_TRUE(f->Command2[kSlot]->isEnabled());
        EXPECT_TRUE(f->Check1[kSlot]->isEnabled());
        EXPECT_TRUE(f->Check2[kSlot]->isEnabled());
        EXPECT_TRUE(f->HScroll1[kSlot]->isEnabled());
        EXPECT_TRUE(mci.open.count(kSlot));
        EXPECT_FALSE(mci.open.count(100)) << "the scratch channel stays closed";
    }
}

TEST_F(DropTest, AssignedSlotKeepsKeyAndTicksAndDoesNotStart) {
    f->Label4[kSlot]->setText("Q");
    f->Check1[kSlot]->setChecked(true);
    Assign(kSlot, "/srv/a.wav");
    f->Check2[kSlot]->setChecked(true);
    mci.playing.insert(kSlot);
    toolkit::SetBackColor(f->Label4[kSlot], 0xFF80FF);  // lit by the tick while playing

    DropFiles(*f, kSlot, {"/srv/b.wav"});

    EXPECT_EQ(f->Label4[kSlot]->text(), "Q");
    EXPECT_TRUE(f->Check1[kSlot]->isChecked());
    EXPECT_TRUE(f->Check2[kSlot]->isChecked());
    EXPECT_EQ(SlotFile(kSlot), "/srv/b.wav");
    // The old sound ends with its channel; nothing starts the new one.
    EXPECT_FALSE(mci.playing.count(kSlot));
    for (const std::string& c : mci.actions()) {
        EXPECT_EQ(c.rfind("play", 0), std::string::npos) << c;
        EXPECT_EQ(c.rfind("stop", 0), std::string::npos) << c;
    }
    EXPECT_EQ(toolkit::BackColor(f->Label4[kSlot]), 0xFFFFFFu) << "no longer playing";
}

TEST_F(DropTest, UnplayableFileIsRefusedAndSlotKeepsPlaying) {
    const struct {
        const char* dropped;
        const char* stored;  // what the message and the trial name
    } cases[] = {
        {"/srv/notes.txt", "/srv/notes.txt"},
        {"/home/u/board/fx/broken.wav", "fx/broken.wav"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.dropped);
        Restart();
        Assign(kSlot, "/srv/old.wav");
        KeptRecord(kSlot) = board::SlotRecord{};
        mci.playing.insert(kSlot);
        mci.unopenable.insert(c.stored);
        const SlotLooks before = LooksOf(*f, kSlot);

        DropFiles(*f, kSlot, {QString::fromUtf8(c.dropped)});

        EXPECT_EQ(events, (std::vector<std::string>{"box 16 " + std::string(c.stored) +
                                                    "は扱えません"}));
        ASSERT_EQ(mci.commands().size(), 2u);
        EXPECT_EQ(mci.commands()[1], "close A100");
        EXPECT_EQ(LooksOf(*f, kSlot), before);
        EXPECT_TRUE(mci.playing.count(kSlot));
        EXPECT_TRUE(KeptRecord(kSlot).has_value());
    }
}

TEST_F(DropTest, OnlyTheFirstOfSeveralFilesIsAssigned) {
    DropFiles(*f, kSlot, {"/srv/one.wav", "/srv/two.wav", "/srv/three.wav"});

    EXPECT_EQ(SlotFile(kSlot), "/srv/one.wav");
    for (const std::string& c : mci.commands()) {
        EXPECT_EQ(c.find("two"), std::string::npos) << c;
        EXPECT_EQ(c.find("three"), std::string::npos) << c;
    }
}

TEST_F(DropTest, DragDataWithoutLocalFilesIsIgnored) {
    QMimeData text;
    text.setText("/srv/a.wav");
    QMimeData web;
    web.setUrls({QUrl("https://example.com/a.wav")});
    QMimeData empty;
    for (const QMimeData* data : {&text, &web, &empty}) {
        SendDrop(*f, kSlot, *data);
        EXPECT_TRUE(mci.commands().empty());
        EXPECT_TRUE(events.empty());
        EXPECT_TRUE(SlotFile(kSlot).isEmpty());
    }
}

// The volume reaches a freshly opened channel exactly once, whatever the bar showed before.
TEST_F(DropTest, FreshChannelGetsTheVolumeOnce) {
    for (const int barBefore : {0, 500, 800}) {
        SCOPED_TRACE(barBefore);
        Restart();
        Assign(kSlot, "/srv/a.wav");
        f->HScroll1[kSlot]->setValue(barBefore);
        mci.clear();

        DropFiles(*f, kSlot, {"/srv/b.wav"});

        const auto cmds = mci.commands();
        ASSERT_FALSE(cmds.empty());
        EXPECT_EQ(cmds.back(), "setaudio A3 volume to  800");
        EXPECT_EQ(std::count_if(cmds.begin(), cmds.end(),
                                [](const std::string& c) { return c.rfind("setaudio", 0) == 0; }),
                  1);
        EXPECT_EQ(SlotVolume(kSlot), 800);
    }
}

// A fade-out running when the sound is replaced or released must not put its remembered
// volume back on the slot at the next tick.
TEST_F(DropTest, DropAndReleaseEndARunningFadeOut) {
    for (const bool release : {false, true}) {
        SCOPED_TRACE(release ? "release" : "drop");
        Restart();
        Assign(kSlot, "/srv/a.wav");
        f->Check1[kSlot]->setChecked(true);
        mci.playing.insert(kSlot);
        f->StopSlot(kSlot);
        f->FadeTick();
        ASSERT_TRUE(FadeActive(kSlot));
        ASSERT_LT(f->HScroll1[kSlot]->value(), 800);

        if (release)
            f->ReleaseSlot(kSlot);
        else
            DropFiles(*f, kSlot, {"/srv/b.wav"});
        EXPECT_FALSE(FadeActive(kSlot));
        EXPECT_EQ(toolkit::BackColor(f->Label4[kSlot]), 0xFFFFFFu);
        f->FadeTick();

        const int expected = release ? 0 : 800;
        EXPECT_EQ(f->HScroll1[kSlot]->value(), expected);
        EXPECT_EQ(SlotVolume(kSlot), expected);
        EXPECT_EQ(toolkit::BackColor(f->Label4[kSlot]), 0xFFFFFFu);
    }
}

TEST_F(DropTest, DropReplacesARecordKeptFromStartUp) {
    KeptRecord(kSlot) = board::SlotRecord{};
    DropFiles(*f, kSlot, {"/srv/a.wav"});
    EXPECT_FALSE(KeptRecord(kSlot).has_value());
}

}  // namespace
