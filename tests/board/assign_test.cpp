// Dropping files on a slot's name box: which path is stored, what the slot shows, which
// commands reach the media service, and what a refused file leaves behind.
#include "board_fixture.h"

namespace {

constexpr int kSlot = 3;

TEST_F(BoardTest, DropStoresThePathShowsTheNameAndSendsTrialThenOpen) {
    const QString folder = QStringLiteral("/home/u/board");
    const struct {
        const char* what;
        QString programFolder, dropped, stored /* empty: the drop does nothing */, name;
    } cases[] = {
        {"file in the program folder", folder, "/home/u/board/bell.wav", "bell.wav", "bell"},
        {"file in a subfolder", folder, "/home/u/board/fx/bell.wav", "fx/bell.wav", "bell"},
        {"file elsewhere", folder, "/srv/music/intro.mp3", "/srv/music/intro.mp3", "intro"},
        {"folder differs in case", folder, "/home/u/Board/x.wav", "/home/u/Board/x.wav", "x"},
        {"longer folder name alike", folder, "/home/u/boardgames/x.wav", "/home/u/boardgames/x.wav", "x"},
        {"the program folder itself", folder, "/home/u/board", "", ""},
        {"several points", folder, "/home/u/snd/my.song.mp3", "/home/u/snd/my.song.mp3", "my.song"},
        {"no point", folder, "/srv/jingle", "/srv/jingle", "jingle"},
        {"only an extension", folder, "/srv/.wav", "/srv/.wav", ""},
        {"point only in a folder name", folder, "/srv/a.b/c", "/srv/a.b/c", "c"},
        {"Japanese names", folder, "/home/u/board/効果音/ベル.wav", "効果音/ベル.wav", "ベル"},
        {"program in the root", "/", "/x/y.wav", "x/y.wav", "y"},
        {"markup in the name", folder, "/srv/<i>loud.wav", "/srv/<i>loud.wav", "<i>loud"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Restart();
        toolkit::SetProgramFolderForTests(c.programFolder);
        const SlotLooks before = LooksOf(*f, kSlot);
        DropFiles(*f, kSlot, {c.dropped});
        EXPECT_TRUE(events.empty());
        if (c.stored.isEmpty()) {
            EXPECT_TRUE(mci.commands().empty());
            EXPECT_EQ(LooksOf(*f, kSlot), before);
            continue;
        }
        const std::string path = c.stored.toStdString();
        EXPECT_EQ(mci.commands(), (Commands{"open \"" + path + "\" alias A100 type mpegvideo", "close A100",
                                            "close A3", "open \"" + path + "\" alias A3 type mpegvideo",
                                            "setaudio A3 volume to  800"}));
        EXPECT_EQ(LooksOf(*f, kSlot), Assigned(c.stored, c.name, "A", 800));
        EXPECT_EQ(f->Text1[kSlot]->textFormat(), Qt::PlainText) << "a name is never markup";
        EXPECT_EQ(mci.open, std::set<int>{kSlot}) << "the scratch channel stays closed";
    }
}

// Several files: only the first counts. A drop on a playing slot keeps its key and ticks and
// does not start the new sound; the old one ends with its channel. A fresh channel plays at
// full level, so the volume is sent even though the bar already shows 800.
TEST_F(BoardTest, DropOnAPlayingSlotKeepsKeyAndTicksAndAssignsTheFirstFile) {
    f->Label4[kSlot]->setText("Q");
    Drop(kSlot, "/srv/a.wav");
    f->Check1[kSlot]->setChecked(true);
    f->Check2[kSlot]->setChecked(true);
    mci.playing.insert(kSlot);
    toolkit::SetBackColor(f->Label4[kSlot], kLit);

    DropFiles(*f, kSlot, {"/srv/b.wav", "/srv/two.wav", "/srv/three.wav"});

    EXPECT_EQ(LooksOf(*f, kSlot), Assigned("/srv/b.wav", "b", "Q", 800, true, true));
    EXPECT_EQ(mci.commands(), (Commands{"open \"/srv/b.wav\" alias A100 type mpegvideo", "close A100", "close A3",
                                        "open \"/srv/b.wav\" alias A3 type mpegvideo", "setaudio A3 volume to  800"}));
    EXPECT_FALSE(mci.playing.count(kSlot));
}

TEST_F(BoardTest, UnplayableFileIsRefusedAndTheSlotKeepsPlaying) {
    // The dropped path, and the stored one the message and the trial open name.
    for (const auto& [dropped, stored] : {std::pair{"/srv/<b>x</b>.wav", "/srv/<b>x</b>.wav"},
                                          std::pair{"/home/u/board/fx/broken.wav", "fx/broken.wav"}}) {
        SCOPED_TRACE(dropped);
        Restart();
        Drop(kSlot, "/srv/old.wav");
        f->Slots.KeptRecord[kSlot] = board::SlotRecord{};
        mci.playing.insert(kSlot);
        mci.unopenable.insert(stored);
        const SlotLooks before = LooksOf(*f, kSlot);
        DropFiles(*f, kSlot, {dropped});
        EXPECT_EQ(events, Commands{"box 16 " + std::string(stored) + "は扱えません"});
        EXPECT_EQ(mci.commands(),
                  (Commands{"open \"" + std::string(stored) + "\" alias A100 type mpegvideo", "close A100"}));
        EXPECT_EQ(LooksOf(*f, kSlot), before);
        EXPECT_TRUE(mci.playing.count(kSlot));
        EXPECT_TRUE(f->Slots.KeptRecord[kSlot].has_value());
    }
}

TEST_F(BoardTest, DragDataWithoutLocalFilesIsIgnored) {
    QMimeData text, web, empty;
    text.setText("/srv/a.wav");
    web.setUrls({QUrl("https://example.com/a.wav")});
    for (const QMimeData* data : {&text, &web, &empty}) SendDrop(*f, kSlot, *data);
    EXPECT_TRUE(mci.commands().empty());
    EXPECT_TRUE(events.empty());
    EXPECT_TRUE(f->Slots.SlotFile[kSlot].isEmpty());
}

// A fade-out running when the sound is replaced or released must not put its remembered
// volume back at the next tick, nor leave the indicator lit; a record kept from start-up
// is forgotten.
TEST_F(BoardTest, DropAndReleaseEndARunningFadeOutAndAKeptRecord) {
    for (const bool release : {false, true}) {
        SCOPED_TRACE(release ? "release" : "drop");
        Restart();
        Drop(kSlot, "/srv/a.wav");
        f->Check1[kSlot]->setChecked(true);
        mci.playing.insert(kSlot);
        f->StopSlot(kSlot), f->FadeTick();
        ASSERT_LT(Bar(kSlot), 800);
        f->Slots.KeptRecord[kSlot] = board::SlotRecord{};
        if (release)
            f->ReleaseSlot(kSlot);
        else
            DropFiles(*f, kSlot, {"/srv/b.wav"});
        EXPECT_FALSE(f->Slots.FadeActive[kSlot]);
        EXPECT_FALSE(f->Slots.KeptRecord[kSlot].has_value());
        EXPECT_EQ(KeyColor(kSlot), kWhite);
        f->FadeTick();
        EXPECT_EQ(Bar(kSlot), release ? 0 : 800);
        EXPECT_EQ(f->Slots.SlotVolume[kSlot], release ? 0 : 800);
        EXPECT_EQ(KeyColor(kSlot), kWhite);
    }
}

}  // namespace
