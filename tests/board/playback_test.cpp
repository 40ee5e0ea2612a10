// Play, Stop, stop-all, the volume bar and the tick, checked by the exact commands that reach
// the media service and by what the board shows.
#include <QTest>
#include <QTimer>

#include "board_fixture.h"

namespace {

TEST_F(BoardTest, PlayRestartsFromTheStartAndExclusiveStopsTheOthersAfterwards) {
    for (int i : {1, 5, 37}) Assign(i);
    Assign(3, 800, false, false, 1.5);
    mci.playing = {1, 3};
    f->PlaySlot(7);  // empty
    f->Command1[3]->click();
    EXPECT_EQ(mci.commands(), (Commands{"seek A3 to  1500", "play A3"}));

    // Then every other slot with a sound, ascending, playing or not; empty slots left alone.
    mci.clear();
    f->Check2[3]->setChecked(true);
    f->Command1[3]->click();
    EXPECT_EQ(mci.commands(), (Commands{"seek A3 to  1500", "play A3", "stop A1", "stop A5", "stop A37"}));
    EXPECT_EQ(Bar(3), 800);
    EXPECT_FALSE(f->Slots.FadeActive[3]);
}

TEST_F(BoardTest, StopAtOnceOrStartAFade) {
    const struct {
        const char* what;
        bool assigned, fade, playing;
        Commands sent;  // status queries included
        bool fading;
    } cases[] = {
        {"empty slot", false, false, true, {}, false},
        {"plain stop, playing", true, false, true, {"stop A2"}, false},
        {"plain stop, silent: stop is sent anyway", true, false, false, {"stop A2"}, false},
        {"fade box, silent: nothing is sent", true, true, false, {"status A2 mode"}, false},
        {"fade box, playing: fade starts, sound goes on", true, true, true, {"status A2 mode"}, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Restart();
        if (c.assigned) Assign(2, 640, c.fade);
        if (c.playing) mci.playing = {2};
        f->StopSlot(2);
        EXPECT_EQ(mci.commands(), c.sent);
        EXPECT_EQ(f->Slots.FadeActive[2], c.fading);
        EXPECT_EQ(f->Slots.FadeRestoreVolume[2], c.fading ? 640 : 0);
        EXPECT_EQ(Bar(2), c.assigned ? 640 : 0);
    }
}

TEST_F(BoardTest, StopAllStopsEverySlotWithASoundAndLeavesFadesRunning) {
    Assign(0), Assign(7, 500, true), Assign(37);
    mci.playing = {7};
    f->StopSlot(7);
    mci.clear();
    f->Command4->click();
    EXPECT_EQ(mci.commands(), (Commands{"stop A0", "stop A7", "stop A37"}));
    EXPECT_TRUE(f->Slots.FadeActive[7]);
    EXPECT_EQ(Bar(7), 500);
}

TEST_F(BoardTest, TheVolumeBarCarriesEachChangeToTheSlotAndTheChannel) {
    Assign(4);
    for (int v : {0, 1000, 1000}) f->HScroll1[4]->setValue(v);
    EXPECT_EQ(mci.commands(), (Commands{"setaudio A4 volume to  0", "setaudio A4 volume to  1000"}));
    EXPECT_EQ(f->Slots.SlotVolume[4], 1000);
}

// Each step rounds half to even; the tick after the level falls below 10 ends the fade.
TEST_F(BoardTest, FadeFallsByATenthPerTickAndEndsBelowTen) {
    const std::vector<int> from800 = {720, 648, 583, 525, 472, 425, 382, 344, 310, 279, 251, 226, 203, 183, 165, 148,
                                      133, 120, 108, 97, 87, 78, 70, 63, 57, 51, 46, 41, 37, 33, 30, 27, 24, 22, 20,
                                      18, 16, 14, 13, 12, 11, 10, 9};
    const std::vector<int> from1000 = {900, 810, 729, 656, 590, 531, 478, 430, 387, 348, 313, 282, 254, 229, 206, 185,
                                       166, 149, 134, 121, 109, 98, 88, 79, 71, 64, 58, 52, 47, 42, 38, 34, 31, 28,
                                       25, 22, 20, 18, 16, 14, 13, 12, 11, 10, 9};
    for (const auto& [start, steps] : {std::pair{800, from800}, std::pair{1000, from1000}}) {
        SCOPED_TRACE(start);
        Restart();
        Assign(0, start, true);
        mci.playing = {0};
        f->Command2[0]->click();
        Commands expected;
        for (int v : steps) expected.push_back("setaudio A0 volume to  " + std::to_string(v)), f->FadeTick();
        EXPECT_EQ(mci.actions(), expected);
        EXPECT_TRUE(f->Slots.FadeActive[0]);

        mci.clear();
        f->FadeTick();
        EXPECT_EQ(mci.actions(), (Commands{"setaudio A0 volume to  0", "stop A0",
                                           "setaudio A0 volume to  " + std::to_string(start)}));
        EXPECT_FALSE(f->Slots.FadeActive[0]);
        EXPECT_EQ(Bar(0), start);
        EXPECT_EQ(f->Slots.SlotVolume[0], start);
    }
}

TEST_F(BoardTest, EachTickLightsTheKeyLabelsBeforeItAdvancesTheFades) {
    Assign(0, 800, true), Assign(2);
    mci.playing = {0, 2};
    f->StopSlot(0);
    mci.clear();
    f->FadeTick();
    EXPECT_EQ(mci.commands(),
              (Commands{"status A0 mode", "status A2 mode", "status A0 mode", "setaudio A0 volume to  720"}));
    EXPECT_EQ((std::vector{KeyColor(0), KeyColor(1), KeyColor(2)}), (std::vector{kLit, kWhite, kLit}));

    // Slot 2's sound ends by itself: white at the next tick. Slot 0 falls below 10 while
    // still sounding: its fade ends in this tick, yet it stays lit until the next one.
    mci.playing = {0};
    f->HScroll1[0]->setValue(9);
    f->FadeTick();
    EXPECT_EQ((std::vector{KeyColor(0), KeyColor(2)}), (std::vector{kLit, kWhite}));
    EXPECT_FALSE(f->Slots.FadeActive[0]);
    mci.playing.clear();
    f->FadeTick();
    EXPECT_EQ(KeyColor(0), kWhite);
}

// Stop-all, an exclusive start elsewhere, a plain Stop after unticking the box, or a sound
// running out: only the tick ends a fade, finding the slot silent and putting the volume back.
TEST_F(BoardTest, FadesEndAtTheNextTickWhenTheirSoundWasStoppedOtherwise) {
    const std::pair<const char*, void (*)(Form1&)> cases[] = {
        {"stop-all", [](Form1& b) { b.StopAllSlots(); }},
        {"exclusive play of another slot", [](Form1& b) { b.PlaySlot(9); }},
        {"plain stop", [](Form1& b) { b.Check1[1]->setChecked(false), b.StopSlot(1); }},
        {"sound ran out", [](Form1&) {}},
    };
    for (const auto& [what, interrupt] : cases) {
        SCOPED_TRACE(what);
        Restart();
        Assign(1, 700, true), Assign(9, 800, false, true);
        mci.playing = {1};
        f->StopSlot(1), f->FadeTick(), f->FadeTick();
        ASSERT_EQ(Bar(1), 567);
        interrupt(*f);
        EXPECT_TRUE(f->Slots.FadeActive[1]);
        mci.playing.clear(), mci.clear();
        f->FadeTick();
        EXPECT_EQ(mci.actions(), (Commands{"setaudio A1 volume to  0", "stop A1", "setaudio A1 volume to  700"}));
        EXPECT_FALSE(f->Slots.FadeActive[1]);
        EXPECT_EQ(f->Slots.SlotVolume[1], 700);
    }
}

TEST_F(BoardTest, TheFadeFollowsTheBarButPutsBackTheVolumeRememberedAtStop) {
    Assign(6, 800, true);
    mci.playing = {6};
    f->StopSlot(6), f->FadeTick();  // 720
    f->HScroll1[6]->setValue(300);  // the user pulls the bar during the fade
    f->FadeTick();
    EXPECT_EQ(Bar(6), 270);

    // Play during the fade restarts the sound and the fade goes on from where it was.
    mci.clear();
    f->PlaySlot(6), f->FadeTick();
    EXPECT_EQ(mci.actions(), (Commands{"seek A6 to  0", "play A6", "setaudio A6 volume to  243"}));

    // A bar the user pulled to 0 cannot change to 0: only the remembered volume is sent.
    f->HScroll1[6]->setValue(0);
    mci.clear();
    f->FadeTick();
    EXPECT_EQ(mci.actions(), (Commands{"stop A6", "setaudio A6 volume to  800"}));
    EXPECT_EQ(f->Slots.SlotVolume[6], 800);
}

// A key pressed twice must not leave the slot quieter for good.
TEST_F(BoardTest, StopDuringAFadeKeepsTheVolumeRememberedAtTheFirstStop) {
    Assign(3, 800, true);
    mci.playing = {3};
    f->Command2[3]->click(), f->FadeTick(), f->FadeTick();
    ASSERT_EQ(Bar(3), 648);
    f->Command2[3]->click();
    EXPECT_TRUE(f->Slots.FadeActive[3]);
    EXPECT_EQ(f->Slots.FadeRestoreVolume[3], 800);
    f->FadeTick();
    EXPECT_EQ(Bar(3), 583);  // on from the present level, not from the top
    for (int tick = 0; tick < 100 && f->Slots.FadeActive[3]; ++tick) f->FadeTick();
    EXPECT_FALSE(f->Slots.FadeActive[3]);
    EXPECT_EQ(Bar(3), 800);
    EXPECT_EQ(f->Slots.SlotVolume[3], 800);
}

TEST_F(BoardTest, TheTimerRunsTheTickEveryHundredMilliseconds) {
    EXPECT_EQ(f->Timer1->interval(), 100);
    Assign(0);
    mci.playing = {0};
    f->Timer1->start();
    EXPECT_TRUE(QTest::qWaitFor([&] { return KeyColor(0) == kLit; }, 2000));
    f->Timer1->stop();
}

}  // namespace
