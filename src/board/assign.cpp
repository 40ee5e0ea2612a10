// How a sound gets into a slot while the board runs, and how it leaves again: a file dropped
// on a slot's name box, the slot pop-up menu opened by a right click, release one slot,
// release all slots, and opening the board's folder.
//
// A drop tries the file on the scratch channel first, so a file the media service cannot
// play is refused before the slot loses the sound it held. A sound under the board's folder
// (where its list is kept) is stored as a path relative to it, so the board moves with its
// folder; the media service resolves such a path against the current folder, which is that one.
// User-interface thread only.
#include <QCheckBox>
#include <QCursor>
#include <QDebug>
#include <QMenu>

#include "board/window/board_window.h"
#include "board/window/slot_label.h"
#include "channels/mci_channels.h"
#include "toolkit/app_info.h"
#include "toolkit/file_drop.h"
#include "toolkit/message_box.h"

namespace board {

using namespace channels;

namespace {

constexpr std::int16_t kScratchChannel = 100;  // only ever open for the trial of a drop
constexpr std::int16_t kFreshVolume = 800;

// The path to store for a dropped file: relative to the board's folder when the file lies
// inside it, else the full path. Only a whole folder name counts as the folder: a board in
// /home/u/board must not take /home/u/boardgames/x.wav for a file of its own.
QString StoredPath(const QString& dropped, const QString& boardFolder) {
    if (boardFolder.isEmpty() || !dropped.startsWith(boardFolder, Qt::CaseSensitive)) return dropped;
    const bool folderIsRoot = boardFolder.endsWith(u'/');
    QString rest = dropped.mid(boardFolder.size());
    if (folderIsRoot) {
        if (rest.startsWith(u'/')) rest.remove(0, 1);
        return rest;
    }
    if (rest.isEmpty()) return rest;             // the folder itself
    if (!rest.startsWith(u'/')) return dropped;  // a longer folder name that merely begins alike
    return rest.mid(1);
}

// The file-name part without its last extension: "snd/my.song.mp3" -> "my.song",
// "jingle" -> "jingle", ".wav" -> "".
QString DisplayName(const QString& path) {
    QString name = path.mid(path.lastIndexOf(u'/') + 1);
    const qsizetype dot = name.lastIndexOf(u'.');
    if (dot >= 0) name.truncate(dot);
    return name;
}

}  // namespace

void Form1::DropOnNameBox(SlotIndex i, const QMimeData* data) {
    const QStringList files = toolkit::DroppedFiles(data);
    if (files.isEmpty()) return;  // a drag of text or links, not of files

    const QString path = StoredPath(files.first(), toolkit::BoardFolder());
    if (path.isEmpty()) return;

    // The trial on the scratch channel: the slot keeps its sound unless the new one opens.
    QString whyNot;
    const bool playable = MciOpenSound(kScratchChannel, path, &whyNot);
    MciCloseSound(kScratchChannel);
    if (!playable) {
        qWarning().noquote() << "drop on slot" << i << "refused:" << path << "-" << whyNot;
        toolkit::MsgBox(this, path + QStringLiteral("は扱えません"), toolkit::kStyleStop);
        return;
    }

    MciCloseSound(i);  // silences and frees whatever the slot held
    MciOpenSound(i, path);
    // A fade-out of the old sound must not put its remembered volume on the new one at the
    // next tick, and a record kept from start-up is replaced by what the user chose.
    Slots.FadeActive[i] = false;
    Slots.KeptRecord[i].reset();
    Slots.Released[i] = false;

    const QString name = DisplayName(path);
    Slots.SlotName[i] = name;
    Slots.SlotFile[i] = path;
    Slots.SlotVolume[i] = kFreshVolume;
    Slots.SlotStart[i] = 0.0;

    // The assigned set-up, as start-up gives it, keeping the slot's two ticks. It also sends
    // the fresh volume to the new channel even when the bar already shows 800, and the key
    // label no longer shows the old sound, silenced above.
    AssignedSetUp(i, Check1[i]->checkState() != Qt::Unchecked, Check2[i]->checkState() != Qt::Unchecked);
}

void Form1::SlotMouseDown(SlotIndex i, Qt::MouseButton button) {
    if (button != Qt::RightButton) return;
    Slots.SelectedSlot = i;
    // The chosen item's handler runs inside exec, before it returns.
    mnu->exec(QCursor::pos());
}

void Form1::ReleaseSlot(SlotIndex i) {
    // Nothing of the old sound may come back: a running fade would put its volume back on
    // the bar at the next tick, and a record kept from start-up would be written at exit.
    Slots.FadeActive[i] = false;
    Slots.KeptRecord[i].reset();
    Slots.Released[i] = true;
    // Closing the channel stops a playing sound. The tick repaints only slots that hold a
    // sound, so the set-up also puts out the key label of one released while playing.
    EmptySetUp(i);
}

void Form1::mnuDelSoundFile_Click() {
    const SlotIndex i = Slots.SelectedSlot;
    // A record kept from start-up looks empty but is still the user's: it can be let go too.
    if (Slots.SlotFile[i].isEmpty() && !Slots.KeptRecord[i]) return;
    toolkit::Beep();
    const QString name = Slots.KeptRecord[i] ? Slots.KeptRecord[i]->name : Slots.SlotName[i];
    const QString question = QStringLiteral("サウンドファイル\"") + name + QStringLiteral("\"を登録解除しますか");
    if (toolkit::MsgBox(this, question, toolkit::kStyleQuestion) != toolkit::kAnswerOk) return;
    ReleaseSlot(i);
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

void Form1::mnuOpenFolder_Click() {
    // Nothing to tell the user when no file manager answers; the board simply goes on.
    toolkit::OpenFolderInFileManager(toolkit::BoardFolder());
}

}  // namespace board
