// Start-up: runs once when the board window loads, before any user input is handled.
// It stamps the version into the caption, sets the default keys, reads the slot list into the
// slot table, opens one channel per recorded sound and gives every slot its assigned or empty
// set-up.
#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QPushButton>
#include <QScrollBar>
#include <QTimer>
#include <algorithm>
#include <vector>

#include "board/window/board_window.h"
#include "channels/mci_channels.h"
#include "slots/slot_list_file.h"
#include "text/number_text.h"
#include "toolkit/app_info.h"
#include "toolkit/message_box.h"
#include "toolkit/show_painted.h"

namespace board {

namespace {

// The default keys are the first characters of this, one per slot: digits, the keypad signs,
// then A to W.
const QString kKeyAlphabet = QStringLiteral("0123456789/*-+.ABCDEFGHIJKLMNOPQRSTUVWXYZ");

QString Shown(const QString& path) {
    return QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath());
}

// Lists written before the board kept sounds relative to its own folder may hold a sound that
// lay beside the program by a path relative to the program's folder (a board started from the
// desktop's menu stored it so). Such a path names nothing in the board's folder; when it names a
// file beside the program, that file is meant, and it is kept by its full path from now on.
QString SoundOfEarlierList(const QString& file) {
    if (QDir::isAbsolutePath(file) || QFileInfo::exists(file)) return file;
    const QString besideProgram = QDir(toolkit::ProgramFolder()).filePath(file);
    return QFileInfo(besideProgram).isFile() ? besideProgram : file;
}

// Why a recorded sound did not open, as far as the file system tells.
slots::OpenFailure WhyNotOpened(const QString& file) {
    const QFileInfo info(file);
    if (!info.exists()) return slots::OpenFailure::Missing;
    if (!info.isFile()) return slots::OpenFailure::NotAFile;
    if (!info.isReadable()) return slots::OpenFailure::Unreadable;
    return slots::OpenFailure::NotASound;
}

}  // namespace

void Form1::Form_Load() {
    using text::NumberText;

    // The caption gets the version, every number with its leading blank: "Sorvane Ver 2. 1. 6".
    setWindowTitle(windowTitle() + QStringLiteral(" Ver") + NumberText(toolkit::AppMajor()) + QStringLiteral(".") +
                   NumberText(toolkit::AppMinor()) + QStringLiteral(".") + NumberText(toolkit::AppRevision()));

    // Every slot starts with its default key; the list's records then fill the table, keys
    // included. The first character of a slot's key is the one that plays it.
    HotKey0 = kKeyAlphabet.left(kSlotCount);
    for (SlotIndex i = 0; i < kSlotCount; ++i) Slots.Key[i] = HotKey0.mid(i, 1);
    const QString listPath = slots::FindSlotListFile(QDir::currentPath());
    const std::vector<slots::SlotRecord> records = slots::ReadSlotList(QDir::currentPath());
    for (std::size_t i = 0; i < std::min<std::size_t>(records.size(), kSlotCount); ++i)
        Slots.Take(static_cast<SlotIndex>(i), records[i]);
    HotKey = HotKey0;
    for (SlotIndex i = 0; i < kSlotCount; ++i)
        if (!Slots.Key[i].isEmpty()) HotKey[i] = Slots.Key[i].at(0);

    // A list that could not be read to its end would lose the records after the damage when
    // the exit writes over it, so it is kept as it was found; the user is told after start-up.
    QString damageMessage;
    if (!records.empty() && records.back().fieldsRead < slots::kFieldCount) {
        QString error;
        const QString copy = slots::KeepCopyOfList(listPath, &error);
        damageMessage = Shown(listPath) + QStringLiteral("のスロット") + QString::number(records.size() - 1) +
                        QStringLiteral("を読めません\n");
        if (copy.isEmpty()) {
            m_listWriteBlocked = QStringLiteral("元のリストの写しを残せません: ") + error;
            damageMessage += m_listWriteBlocked;
        } else {
            damageMessage += QStringLiteral("元のリストを") + Shown(copy) + QStringLiteral("に残しました");
        }
    }

    // The window is shown, painted with the board as the list has it, before the channels open,
    // which can take a while.
    for (SlotIndex i = 0; i < kSlotCount; ++i) ShowSlot(i);
    toolkit::ShowPainted(this);

    // One channel per recorded sound.
    for (SlotIndex i = 0; i < kSlotCount; ++i) SetUpSlot(i);

    // The focus goes to the key operation button and the keys play the board. The timer starts
    // last, with no fade-out running, so that no tick runs during start-up.
    Command3->setFocus();
    KeyOperationOn();
    for (SlotIndex i = 0; i < kSlotCount; ++i) Slots.FadeActive[i] = false;
    Timer1->start();

    if (!damageMessage.isEmpty()) toolkit::MsgBox(this, damageMessage, toolkit::kStyleStop);
}

// A sound that cannot be opened now (a drive not plugged in, a share down) leaves the slot
// empty, but its record is kept and written back at exit, so a missing drive never erases the
// user's board.
void Form1::SetUpSlot(SlotIndex i) {
    const QString sound = Slots.HasSound(i) ? SoundOfEarlierList(Slots.SlotFile[i]) : QString();
    if (sound.isEmpty()) return EmptySetUp(i);
    QString whyNot;
    if (channels::MciOpenSound(i, sound, &whyNot)) {
        Slots.SlotFile[i] = sound;
        return AssignedSetUp(i);
    }
    qWarning().noquote() << "slot" << i << "keeps its record but cannot open" << Slots.SlotFile[i] << "-" << whyNot;
    Slots.Kept[i] = slots::KeptRecord{Slots.Record(i), WhyNotOpened(sound)};
    EmptySetUp(i);
}

void Form1::AssignedSetUp(SlotIndex i) {
    // The channel was opened just now: nothing sounds on it yet.
    Slots.Sounding[i] = false;
    ShowSlot(i);
    // A freshly opened channel plays at full level. The bar reports only a real change, so
    // when it already shows the slot's volume the volume is sent here instead.
    const std::int16_t volume = Slots.SlotVolume[i];
    if (HScroll1[i]->value() == volume) {
        ApplySlotVolume(i);
    } else {
        HScroll1[i]->setValue(volume);
    }
}

void Form1::EmptySetUp(SlotIndex i) {
    channels::MciCloseSound(i);
    Slots.SlotFile[i].clear();
    Slots.SlotName[i].clear();
    Slots.SlotVolume[i] = 0;
    Slots.SlotStart[i] = 0;
    Slots.Fade[i] = false;
    Slots.Exclusive[i] = false;
    Slots.Sounding[i] = false;
    ShowSlot(i);
    HScroll1[i]->setValue(0);
}

}  // namespace board
