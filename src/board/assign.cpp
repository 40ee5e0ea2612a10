// How a sound gets into a slot while the board runs, and how it leaves again: a file dropped
// on a slot's name box, and the release of a slot (the pop-up menu's items, board/menu.cpp).
//
// A drop tries the file on the scratch channel first, so a file the media service cannot
// play is refused before the slot loses the sound it held. A sound under the board's folder
// (where its list is kept) is stored as a path relative to it, so the board moves with its
// folder; the media service resolves such a path against the current folder, which is that one.
// User-interface thread only.
#include <QDebug>

#include "board/window/board_window.h"
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
    const auto refuse = [&] {
        qWarning().noquote() << "drop on slot" << i << "refused:" << path << "-" << whyNot;
        toolkit::MsgBox(this, path + QStringLiteral("は扱えません"), toolkit::kStyleStop);
    };
    if (!playable) return refuse();

    MciCloseSound(i);  // silences and frees whatever the slot held
    if (!MciOpenSound(i, path, &whyNot)) {
        // The trial opened it but the slot cannot (the file went meanwhile, the service has no
        // voice left): the slot goes back to the sound it held, stopped, as a refused drop
        // leaves it.
        SetUpSlot(i);
        return refuse();
    }
    // A fade-out of the old sound must not put its remembered volume on the new one at the
    // next tick, and a record kept from start-up is replaced by what the user chose.
    Slots.FadeActive[i] = false;
    Slots.Kept[i].reset();
    Slots.Released[i] = false;
    Slots.SlotName[i] = DisplayName(path);
    Slots.SlotFile[i] = path;
    Slots.SlotVolume[i] = kFreshVolume;
    Slots.SlotStart[i] = 0.0;
    // The assigned set-up, as start-up gives it, with the slot's key and ticks as they were. It
    // also sends the fresh volume to the new channel even when the bar already shows 800.
    AssignedSetUp(i);
}

void Form1::ReleaseSlot(SlotIndex i) {
    // Nothing of the old sound may come back: a running fade would put its volume back on
    // the bar at the next tick, and a record kept from start-up would be written at exit.
    Slots.FadeActive[i] = false;
    Slots.Kept[i].reset();
    Slots.Released[i] = true;
    // Closing the channel stops a playing sound; the set-up also puts out the key label of one
    // released while playing, which the tick no longer repaints.
    EmptySetUp(i);
}

}  // namespace board
