// Playing and stopping slots, stop-all, the per-slot volume and the 100 ms tick that lights
// the key labels and drives the fade-outs.
//
// A fade-out is not an audio ramp: the tick walks the slot's volume bar down, and the bar's
// change handler (ApplySlotVolume) carries each step to the channel. So the fade shows on
// the board, and anything reading the bar or SlotVolume mid-fade sees the lowered level.
// User-interface thread only; no handler here yields to the event loop.
#include <QScrollBar>
#include <QtGlobal>

#include "board/window/board_window.h"
#include "channels/mci_channels.h"
#include "text/number_text.h"

namespace board {

using namespace channels;

namespace {

constexpr double kFadeFactor = 0.9;
constexpr int kFadeEndBelow = 10;  // the level falls geometrically and never reaches 0 alone

}  // namespace

void Form1::PlaySlot(SlotIndex i) {
    if (Slots.HasSound(i)) MciPlayFrom(i, Slots.SlotStart[i]);
    // Exclusive play hangs on the tick alone, and comes after the start so the new sound
    // is already running when the others fall silent.
    if (!Slots.Exclusive[i]) return;
    for (SlotIndex j = 0; j < kSlotCount; ++j) {
        if (j != i && Slots.HasSound(j)) MciStopSound(j);
    }
}

void Form1::StopSlot(SlotIndex i) {
    if (!Slots.HasSound(i)) return;
    if (!Slots.Fade[i]) {
        MciStopSound(i);
        return;
    }
    if (!MciIsPlaying(i)) return;
    // A second Stop while the fade runs (a double key press, a held key) keeps the level
    // remembered at the first one; taking the lowered level would shrink the slot's volume
    // for good.
    if (!Slots.FadeActive[i]) Slots.FadeRestoreVolume[i] = Slots.SlotVolume[i];
    Slots.FadeActive[i] = true;
}

void Form1::StopAllSlots() {
    // Fades on the stopped slots end at the next tick, which finds them silent and puts
    // their volumes back.
    for (SlotIndex i = 0; i < kSlotCount; ++i) {
        if (Slots.HasSound(i)) MciStopSound(i);
    }
}

void Form1::ApplySlotVolume(SlotIndex i) {
    Slots.SlotVolume[i] = static_cast<std::int16_t>(HScroll1[i]->value());
    MciSetVolume(i, Slots.SlotVolume[i]);
}

void Form1::FadeTick() {
    // The indicator pass runs first, so a slot whose fade ends in this tick stays lit until
    // the next one.
    for (SlotIndex i = 0; i < kSlotCount; ++i) {
        if (!Slots.HasSound(i)) continue;
        Slots.Sounding[i] = MciIsPlaying(i);
        ShowSlotIfChanged(i);
    }

    for (SlotIndex i = 0; i < kSlotCount; ++i) {
        if (!Slots.FadeActive[i]) continue;
        QScrollBar* bar = HScroll1[i];
        const int v = Slots.SlotVolume[i];
        if (MciIsPlaying(i) && v >= kFadeEndBelow) {
            bar->setValue(static_cast<int>(text::RoundHalfEven(v * kFadeFactor)));
            continue;
        }
        // Silence the channel before stopping it so the restored level cannot be heard as a
        // blip, then put the remembered level back on the bar (and so on the channel).
        bar->setValue(0);
        MciStopSound(i);
        bar->setValue(Slots.FadeRestoreVolume[i]);
        Slots.FadeActive[i] = false;
    }
}

}  // namespace board
