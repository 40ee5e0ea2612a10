// The board's pop-up item "サウンドの詳細": opens the details dialog for the slot the menu
// was opened on, if it holds a sound, and afterwards shows the slot's name and volume from
// the slot table again, however the dialog closed.
#include <QScrollBar>

#include "board/window/form1.h"
#include "board/window/slot_label.h"
#include "dialogs/details/form3.h"

void Form1::mnuSoundFile_Click() {
    KeyIndex = SelectedSlot();
    const std::int16_t k = KeyIndex;
    if (SlotFile(k).isEmpty()) return;
    {
        Form3 dialog(*this, this);
        dialog.exec();
    }
    Text1[k]->setText(SlotName(k));
    // Moving the bar is what sends a changed volume to the channel; an equal value sends nothing.
    HScroll1[k]->setValue(SlotVolume(k));
}
