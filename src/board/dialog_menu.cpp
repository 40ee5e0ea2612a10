// The pop-up items that open the two dialogs for the slot the menu was opened on. However a
// dialog closed, the board then shows again what the dialog may have changed: every key label
// from HotKey after the hotkey dialog, the slot's name and volume after the details dialog.
#include <QLabel>
#include <QScrollBar>

#include "board/window/board_window.h"
#include "board/window/slot_label.h"
#include "dialogs/details/details_dialog.h"
#include "dialogs/hotkey/hotkey_dialog.h"

namespace board {

void Form1::mnuHotkey_Click() {
    KeyIndex = Slots.SelectedSlot;  // empty slots too
    dialogs::EditHotkey(this, HotKey, HotKey0, KeyIndex);
    for (SlotIndex i = 0; i < kSlotCount; ++i) Label4[i]->setText(HotKey.mid(i, 1));
}

void Form1::mnuSoundFile_Click() {
    KeyIndex = Slots.SelectedSlot;
    const SlotIndex k = KeyIndex;
    if (!Slots.HasSound(k)) return;
    const bool fading = Slots.FadeActive[k];
    const std::int16_t shown = Slots.SlotVolume[k];  // what the dialog's volume box starts with
    const bool stored = dialogs::EditSoundDetails(this, Slots, k);
    if (stored && fading) KeepVolumeThroughFade(k, shown);
    Text1[k]->setText(Slots.SlotName[k]);
    // Moving the bar is what sends a changed volume to the channel; an equal value sends nothing.
    HScroll1[k]->setValue(Slots.SlotVolume[k]);
}

// During a fade-out the volume box shows the fade's lowered level of that moment. A volume typed
// there is the slot's volume from now on: the fade's end puts it on the bar, not the level
// remembered at Stop, so it is what the list keeps. An untouched box stores nothing new: the
// fade goes on (or has ended meanwhile) with the level it remembered.
void Form1::KeepVolumeThroughFade(SlotIndex k, std::int16_t shown) {
    if (Slots.SlotVolume[k] == shown) {
        Slots.SlotVolume[k] = static_cast<std::int16_t>(HScroll1[k]->value());
    } else if (Slots.FadeActive[k]) {
        Slots.FadeRestoreVolume[k] = Slots.SlotVolume[k];
    }
}

}  // namespace board
