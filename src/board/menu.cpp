// The slot pop-up menu, opened by a right click on a slot's key label or name box, and its
// items: release the slot, open the board's folder, the details dialog, release every slot and
// the hotkey dialog. However a dialog closed, the board then shows again what it may have
// changed: every key after the hotkey dialog, the slot's name and volume after the details
// dialog.
// User-interface thread only.
#include <QCursor>
#include <QDir>
#include <QMenu>
#include <QScrollBar>

#include "board/window/board_window.h"
#include "dialogs/details/details_dialog.h"
#include "dialogs/hotkey/hotkey_dialog.h"
#include "toolkit/app_info.h"
#include "toolkit/message_box.h"

namespace board {

void Form1::SlotMouseDown(SlotIndex i, Qt::MouseButton button) {
    if (button != Qt::RightButton) return;
    Slots.SelectedSlot = i;
    // The chosen item's handler runs inside exec, before it returns.
    mnu->exec(QCursor::pos());
}

void Form1::mnuDelSoundFile_Click() {
    const SlotIndex i = Slots.SelectedSlot;
    // A record kept from start-up looks empty but is still the user's: it can be let go too.
    if (!Slots.HasSound(i) && !Slots.Kept[i]) return;
    toolkit::Beep();
    const QString name = Slots.Kept[i] ? Slots.Kept[i]->record.name : Slots.SlotName[i];
    const QString question = QStringLiteral("サウンドファイル\"") + name + QStringLiteral("\"を登録解除しますか");
    if (toolkit::MsgBox(this, question, toolkit::kStyleQuestion) != toolkit::kAnswerOk) return;
    ReleaseSlot(i);
}

void Form1::mnuOpenFolder_Click() {
    // The user asked for it, so a folder no file manager opens is told; the board goes on.
    const QString folder = toolkit::BoardFolder();
    if (toolkit::OpenFolderInFileManager(folder)) return;
    toolkit::MsgBox(this, QDir::toNativeSeparators(folder) + QStringLiteral("を開けません"), toolkit::kStyleStop);
}

void Form1::mnuSoundFile_Click() {
    KeyIndex = Slots.SelectedSlot;
    const SlotIndex k = KeyIndex;
    if (!Slots.HasSound(k)) return;
    const bool fading = Slots.FadeActive[k];
    const std::int16_t shown = Slots.SlotVolume[k];  // what the dialog's volume box starts with
    const bool stored = dialogs::EditSoundDetails(this, Slots, k);
    if (stored && fading) KeepVolumeThroughFade(k, shown);
    ShowSlot(k);
    // Moving the bar is what sends a changed volume to the channel; an equal value sends nothing.
    HScroll1[k]->setValue(Slots.SlotVolume[k]);
}

// During a fade-out the volume box shows the fade's lowered level of that moment. A volume typed
// there is the slot's volume from now on: the fade's end puts it on the bar, not the level
// remembered at Stop, so it is what the list keeps. An untouched box stores nothing new: the
// fade goes on (or has ended meanwhile) with the level it remembered, and the slot keeps the
// level the fade's last tick put on the bar, over the one the dialog wrote back.
void Form1::KeepVolumeThroughFade(SlotIndex k, std::int16_t shown) {
    if (Slots.SlotVolume[k] == shown) {
        Slots.SlotVolume[k] = static_cast<std::int16_t>(HScroll1[k]->value());
    } else if (Slots.FadeActive[k]) {
        Slots.FadeRestoreVolume[k] = Slots.SlotVolume[k];
    }
}

void Form1::mnuAllClear_Click() {
    // Emptying the whole board cannot be undone, so it takes three separate yeses.
    static const QString kQuestions[] = {
        QStringLiteral("すべてのサウンドファイルを登録解除しますか"),
        QStringLiteral("ほんとうにいいですか？"),
        QStringLiteral("後悔しませんか？"),
    };
    for (const QString& question : kQuestions) {
        toolkit::Beep();
        if (toolkit::MsgBox(this, question, toolkit::kStyleQuestion) != toolkit::kAnswerOk) return;
    }
    for (SlotIndex i = 0; i < kSlotCount; ++i) ReleaseSlot(i);
}

void Form1::mnuHotkey_Click() {
    KeyIndex = Slots.SelectedSlot;  // empty slots too
    dialogs::EditHotkey(this, HotKey, HotKey0, KeyIndex);
    // However it closed, every slot's key is its play key again.
    for (SlotIndex i = 0; i < kSlotCount; ++i) {
        Slots.Key[i] = HotKey.mid(i, 1);
        ShowSlot(i);
    }
}

}  // namespace board
