// The board's pop-up item "ホットキーの変更": opens the hotkey dialog for the slot the menu
// was opened on (empty slots too) and, however the dialog closed, shows every slot's key
// from HotKey again.
#include <QLabel>

#include "board/window/form1.h"
#include "board/window/slot_label.h"
#include "dialogs/hotkey/form2.h"

void Form1::mnuHotkey_Click() {
    KeyIndex = SelectedSlot();
    {
        Form2 dialog(*this, this);
        dialog.exec();
    }
    for (int i = 0; i < kSlotCount; ++i) Label4[i]->setText(HotKey.mid(i, 1));
}
