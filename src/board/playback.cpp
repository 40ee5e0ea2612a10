// Playing and stopping slots, stop-all, the per-slot volume and the 100 ms tick that lights
// the key labels and drives the fade-outs.
//
// A fade-out is not an audio ramp: the tick walks the slot's volume bar down, and the bar's
// change handler (ApplySlotVolume) carries each step to the channel. So the fade shows on
// the board, and anything reading the bar or SlotVolume mid-fade sees the lowered level.
// User-interface thread only; no handler here yields to the event loop.
#include <QCheckBox>
#include <QScrollBar>
#include <QtGlobal>

#include "board/window/form1.h"
#include "board/window/slot_label.h"
#include "channels/mci_channels.h"
#include "toolkit/colors.h"
#include "toolkit/number_text.h"

using namespace channels;

namespace {

constexpr std::uint32_t kPlayingColor = 0xFF80FF;  // light magenta
constexpr std::uint32_t kIdleColor = 0xFFFFFF;     // white
constexpr double kFadeFactor = 0.9;
constexpr int kFadeEndBelow = 10;  // the level falls geometrically and never reaches 0 alone

bool IsSet(const QCheckBox* box) { return box->checkState() != Qt::Unchecked; }

bool HasSound(int i) { return !SlotFile(i).isEmpty(); }

}  // namespace

void Form1::PlaySlot(std::int16_t i) {
    if (HasSound(i)) MciPlayFrom(i, SlotStart(i));
    // Exclusive play hangs on the box alone, and comes after the start so the new sound
    // is already running when the others fall silent.
    if (!IsSet(Check2[i])) return;
    for (std::int16_t j = 0; j < kSlotCount; ++j) {
        if (j != i && HasSound(j)) MciStopSound(j);
    }
}

void Form1::StopSlot(std::int16_t i) {
    if (!HasSound(i)) return;
    if (!IsSet(Check1[i])) {
        MciStopSound(i);
        return;
    }
    if (!MciIsPlaying(i)) return;
    // A second Stop while the fade runs (a double key press, a held key) keeps the level
    // remembered at the first one; taking the lowered level would shrink the slot's volume
    // for good.
    if (!FadeActive(i)) FadeRestoreVolume(i) = static_cast<std::int16_t>(HScroll1[i]->value());
    FadeActive(i) = true;
}

void Form1::StopAllSlots() {
    // Fades on the stopped slots end at the next tick, which finds them silent and puts
    // their volumes back.
    for (std::int16_t i = 0; i < kSlotCount; ++i) {
        if (HasSound(i)) MciStopSound(i);
    }
}

void Form1::ApplySlotVolume(std::int16_t i) {
    SlotVolume(i) = static_cast<std::int16_t>(HScroll1[i]->value());
    MciSetVolume(i, SlotVolume(i));
}

void Form1::FadeTick() {
    // The indicator pass runs first, so a slot whose fade ends in this tick stays lit until
    // the next one.
    for (std::int16_t i = 0; i < kSlotCount; ++i) {
        if (!HasSound(i)) continue;
        toolkit::SetBackColor(Label4[i], MciIsPlaying(i) ? kPlayingColor : kIdleColor);
    }

    for (std::int16_t i = 0; i < kSlotCount; ++i) {
        if (!FadeActive(i)) continue;
        QScrollBar* bar = HScroll1[i];
        const int v = bar->value();
        if (MciIsPlaying(i) && v >= kFadeEndBelow) {
            bar->setValue(static_cast<int>(toolkit::RoundHalfEven(v * kFadeFactor)));
            continue;
        }
        // Silence the channel before stopping it so the restored level cannot be heard as a
        // blip, then put the remembered level back on the bar (and so on the channel).
        bar->setValue(0);
        MciStopSound(i);
        bar->setValue(FadeRestoreVolume(i));
        FadeActive(i) = false;
    }
}
