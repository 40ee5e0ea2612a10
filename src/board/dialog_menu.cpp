// The pop-up items that open the two dialogs for the slot the menu was opened on. However a
// dialog closed, the board then shows again what the dialog may have changed: every key label
// from HotKey after the hotkey dialog, the slot's name and volume after the details dialog.
#include <QLabel>
#include <QScrollBar>

#include "board/window/board_window.h"
#include "board/window/slot_label.h"
#include "dialogs/details/details_dialog.h"
#include "dialogs/hotkey/hotkey_dialog.h"

void Form1::mnuHotkey_Click() {
    KeyIndex = Slots.SelectedSlot;  // empty slots too
    EditHotkey(this, HotKey, HotKey0, KeyIndex);
    for (SlotIndex i = 0; i < kSlotCount; ++i) Label4[i]->setText(HotKey.mid(i, 1));
}

void Form1::mnuSoundFile_Click() {
    KeyIndex = Slots.SelectedSlot;
    const SlotIndex k = KeyIndex;
    if (!Slots.HasSound(k)) return;
    EditSoundDetails(this, Slots, k);
    Text1[k]->setText(Slots.SlotName[k]);
    // Moving the bar is what sends a changed volume to the channel; an equal value sends nothing.
    HScroll1[k]->setValue(Slots.SlotVolume[k]);
}
