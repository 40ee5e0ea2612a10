// Play, Stop, stop-all, the volume bar and the tick, checked by the exact commands that reach
// the media service and by what the board shows.
#include <QElapsedTimer>
#include <QTest>
#include <QTimer>

#include <algorithm>

#include "playback_fixture.h"

namespace {

constexpr std::uint32_t kLit = 0xFF80FF;
constexpr std::uint32_t kWhite = 0xFFFFFF;

}  // namespace

TEST_F(PlaybackBoard, PlayRestartsFromTheStartPositionAndExclusiveStopsTheOthersAfterwards) {
    Assign(1);
    Assign(3, 800, false, false, 1.5);
    Assign(5);
    Assign(37);
    mci.playing = {1, 3};

    board->Command1[3]->click();
    EXPECT_EQ(mci.commands(), (Commands{"seek A3 to  1500", "play A3"}));

    // The exclusive box: the restart comes first, then every other slot with a sound, in
    // ascending order, playing or not; empty slots are left alone.
    mci.clear();
    board->Check2[3]->setChecked(true);
    board->Command1[3]->click();
    EXPECT_EQ(mci.commands(), (Commands{"seek A3 to  1500", "play A3", "stop A1", "stop A5",
                                        "stop A37"}));
    // Play changes nothing else.
    EXPECT_EQ(Bar(3), 800);
    EXPECT_FALSE(FadeActive(3));
}

TEST_F(PlaybackBoard, PlayOnAnEmptySlotSendsNothing) {
    board->PlaySlot(7);
    EXPECT_TRUE(mci.commands().empty());
}

TEST_F(PlaybackBoard, StopAtOnceOrStartAFade) {
    struct Case {
        const char* what;
        bool assigned, fade, playing;
        Commands sent;  // status queries included
        bool fading;
    };
    const Case cases[] = {
        {"empty slot", false, false, true, {}, false},
        {"plain stop, playing", true, false, true, {"stop A2"}, false},
        {"plain stop, silent: stop is sent anyway", true, false, false, {"stop A2"}, false},
        {"fade box, silent: nothing is sent", true, true, false, {"status A2 mode"}, false},
        {"fade box, playing: fade starts, sound goes on", true, true, true, {"status A2 mode"}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SetUp();
        if (c.assigned) Assign(2, 640, c.fade);
        if (c.playing) mci.playing = {2};

        board->StopSlot(2);

        EXPECT_EQ(mci.commands(), c.sent);
        EXPECT_EQ(FadeActive(2), c.fading);
        EXPECT_EQ(FadeRestoreVolume(2), c.fading ? 640 : 0);
        EXPECT_EQ(Bar(2), c.assigned ? 640 : 0);
        mci.playing.clear();
    }
}

TEST_F(PlaybackBoard, StopAllStopsEverySlotWithASoundAndTouchesNothingElse) {
    Assign(0);
    Assign(7, 500, true);
    Assign(37);
    mci.playing = {7};
    board->StopSlot(7);  // a fade in progress stays in progress
    mci.clear();

    board->Command4->click();

    EXPECT_EQ(mci.commands(), (Commands{"stop A0", "stop A7", "stop A37"}));
    EXPECT_TRUE(FadeActive(7));
    EXPECT_EQ(Bar(7), 500);
}

TEST_F(PlaybackBoard, TheVolumeBarCarriesItsValueToTheSlotAndTheChannel) {
    Assign(4);
    board->HScroll1[4]->setValue(0);
    board->HScroll1[4]->setValue(1000);
    EXPECT_EQ(mci.commands(), (Commands{"setaudio A4 volume to  0", "setaudio A4 volume to  1000"}));
    EXPECT_EQ(SlotVolume(4), 1000);

    // The same value again is no change: nothing is sent.
    mci.clear();
    board->HScroll1[4]->setValue(1000);
    EXPECT_TRUE(mci.commands().empty());
}

TEST_F(PlaybackBoard, FadeFallsByATenthPerTickAndEndsBelowTen) {
    struct Case {
        int start;
        std::vector<int> expectedSteps;  // empty: only the count and the anchors are checked
        std::size_t reductions;
        std::vector<int> anchors;  // a run that must appear in order
    };
    const Case cases[] = {
        {800,
         {720, 648, 583, 525, 472, 425, 382, 344, 310, 279, 251, 226, 203, 183, 165,
          148, 133, 120, 108, 97,  87,  78,  70,  63,  57,  51,  46,  41,  37,  33,
          30,  27,  24,  22,  20,  18,  16,  14,  13,  12,  11,  10,  9},
         43,
         {}},
        {1000, {}, 45, {185, 166, 149}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.start);
        SetUp();
        Assign(0, c.start, true);
        mci.playing = {0};
        board->Command2[0]->click();

        for (std::size_t tick = 0; tick < c.reductions; ++tick) board->FadeTick();
        const std::vector<int> steps = VolumesSent(0);
        ASSERT_EQ(steps.size(), c.reductions);
        if (!c.expectedSteps.empty()) EXPECT_EQ(steps, c.expectedSteps);
        EXPECT_EQ(steps.back(), 9);
        EXPECT_EQ(steps[steps.size() - 2], 10);
        if (!c.anchors.empty())
            EXPECT_NE(std::search(steps.begin(), steps.end(), c.anchors.begin(), c.anchors.end()),
                      steps.end());
        EXPECT_TRUE(FadeActive(0));
        EXPECT_EQ(mci.actions().size(), c.reductions) << "no stop yet";

        // The next tick ends it: silence, stop, the remembered volume back, flag cleared.
        mci.clear();
        board->FadeTick();
        EXPECT_EQ(mci.actions(), (Commands{"setaudio A0 volume to  0", "stop A0",
                                           "setaudio A0 volume to  " + std::to_string(c.start)}));
        EXPECT_FALSE(FadeActive(0));
        EXPECT_EQ(Bar(0), c.start);
        EXPECT_EQ(SlotVolume(0), c.start);
    }
}

TEST_F(PlaybackBoard, EachTickLightsTheKeyLabelsBeforeItAdvancesTheFades) {
    Assign(0, 800, true);
    Assign(2);
    mci.playing = {0, 2};
    board->StopSlot(0);
    mci.clear();

    board->FadeTick();
    EXPECT_EQ(mci.commands(), (Commands{"status A0 mode", "status A2 mode", "status A0 mode",
                                        "setaudio A0 volume to  720"}));
    EXPECT_EQ(KeyColor(0), kLit);
    EXPECT_EQ(KeyColor(2), kLit);
    EXPECT_EQ(KeyColor(1), kWhite) << "a slot without a sound keeps its colour";

    // Slot 2's sound ends by itself: white at the next tick. Slot 0 falls below 10 while
    // still sounding: its fade ends in this tick, yet it stays lit until the next one.
    mci.playing = {0};
    board->HScroll1[0]->setValue(9);
    board->FadeTick();
    EXPECT_EQ(KeyColor(2), kWhite);
    EXPECT_EQ(KeyColor(0), kLit);
    EXPECT_FALSE(FadeActive(0));
    mci.playing.clear();
    board->FadeTick();
    EXPECT_EQ(KeyColor(0), kWhite);
}

TEST_F(PlaybackBoard, FadesEndAtTheNextTickWhenTheirSoundWasStoppedOtherwise) {
    // Stop-all, an exclusive start elsewhere, a plain Stop after unticking the box, or a
    // sound running out: the fade finds the slot silent and puts the volume back.
    struct Case {
        const char* what;
        void (*interrupt)(Form1&);
    };
    const Case cases[] = {
        {"stop-all", [](Form1& f) { f.StopAllSlots(); }},
        {"exclusive play of another slot", [](Form1& f) { f.PlaySlot(9); }},
        {"plain stop", [](Form1& f) { f.Check1[1]->setChecked(false); f.StopSlot(1); }},
        {"sound ran out", [](Form1&) {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SetUp();
        Assign(1, 700, true);
        Assign(9, 800, false, true);
        mci.playing = {1};
        board->StopSlot(1);
        board->FadeTick();
        board->FadeTick();
        ASSERT_EQ(Bar(1), 567);

        c.interrupt(*board);
        EXPECT_TRUE(FadeActive(1)) << "only the tick ends a fade";
        mci.playing.clear();
        mci.clear();
        board->FadeTick();
        EXPECT_EQ(mci.actions(), (Commands{"setaudio A1 volume to  0", "stop A1",
                                           "setaudio A1 volume to  700"}));
        EXPECT_FALSE(FadeActive(1));
        EXPECT_EQ(SlotVolume(1), 700);
    }
}

TEST_F(PlaybackBoard, TheFadeFollowsTheBarButPutsBackTheVolumeRememberedAtStop) {
    Assign(6, 800, true);
    mci.playing = {6};
    board->StopSlot(6);
    board->FadeTick();  // 720
    board->HScroll1[6]->setValue(300);  // the user pulls the bar during the fade
    board->FadeTick();
    EXPECT_EQ(Bar(6), 270);

    // Play during the fade restarts the sound and the fade goes on from where it was.
    mci.clear();
    board->PlaySlot(6);
    board->FadeTick();
    EXPECT_EQ(mci.actions(), (Commands{"seek A6 to  0", "play A6", "setaudio A6 volume to  243"}));

    // A bar the user pulled to 0 cannot change to 0: only the remembered volume is sent.
    board->HScroll1[6]->setValue(0);
    mci.clear();
    board->FadeTick();
    EXPECT_EQ(mci.actions(), (Commands{"stop A6", "setaudio A6 volume to  800"}));
    EXPECT_EQ(SlotVolume(6), 800);
}

TEST_F(PlaybackBoard, StopDuringAFadeKeepsTheVolumeRememberedAtTheFirstStop) {
    // A key pressed twice must not leave the slot quieter for good.
    Assign(3, 800, true);
    mci.playing = {3};
    board->Command2[3]->click();
    board->FadeTick();
    board->FadeTick();
    ASSERT_EQ(Bar(3), 648);

    board->Command2[3]->click();
    EXPECT_TRUE(FadeActive(3));
    EXPECT_EQ(FadeRestoreVolume(3), 800);

    // The fade carries on from the present level, not from the top.
    board->FadeTick();
    EXPECT_EQ(Bar(3), 583);
    for (int tick = 0; tick < 100 && FadeActive(3); ++tick) board->FadeTick();
    EXPECT_FALSE(FadeActive(3));
    EXPECT_EQ(Bar(3), 800);
    EXPECT_EQ(SlotVolume(3), 800);
}

TEST_F(PlaybackBoard, TheTimerRunsTheTickEveryHundredMilliseconds) {
    EXPECT_EQ(board->Timer1->interval(), 100);
    Assign(0);
    mci.playing = {0};
    board->Timer1->start();
    QElapsedTimer waited;
    waited.start();
    while (KeyColor(0) != kLit && waited.elapsed() < 2000) QTest::qWait(10);
    EXPECT_EQ(KeyColor(0), kLit);
    board->Timer1->stop();
}
