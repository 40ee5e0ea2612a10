// Start-up: runs once when the board window loads, before any user input is handled.
// It stamps the version into the caption, sets the default keys, reads the slot list,
// opens one channel per recorded sound and gives every slot its assigned or empty look.
#include <QCheckBox>
#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QTimer>
#include <algorithm>
#include <vector>

#include "board/window/board_window.h"
#include "board/window/slot_label.h"
#include "channels/mci_channels.h"
#include "slots/slot_list_file.h"
#include "slots/slot_table.h"
#include "text/number_text.h"
#include "toolkit/app_info.h"
#include "toolkit/message_box.h"
#include "toolkit/show_painted.h"

namespace board {

namespace {

// The default keys are the first 38 characters: digits, the keypad signs, then A to W.
const QString kKeyAlphabet = QStringLiteral("0123456789/*-+.ABCDEFGHIJKLMNOPQRSTUVWXYZ");

// The bar takes 0..1000 only: a hand-edited list can hold anything, and a value the bar
// cannot show must not reach the channel or be written back as something else.
std::int16_t BoundedVolume(int volume) {
    return static_cast<std::int16_t>(std::clamp(volume, 0, 1000));
}

int CheckValue(int value) {
    return value != 0 ? 1 : 0;
}

// A record as it is kept for a slot whose sound could not be opened: the values the slot
// would have shown, so that writing it back gives a line the reader takes as it was.
slots::SlotRecord KeptForm(slots::SlotRecord record) {
    record.volume = BoundedVolume(record.volume);
    record.fade = CheckValue(record.fade);
    record.exclusive = CheckValue(record.exclusive);
    return record;
}

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

    // 1. Caption with the version; every number keeps its leading blank ("Ver 2. 1. 6").
    setWindowTitle(windowTitle() + QStringLiteral(" Ver") + NumberText(toolkit::AppMajor()) + QStringLiteral(".") +
                   NumberText(toolkit::AppMinor()) + QStringLiteral(".") + NumberText(toolkit::AppRevision()));

    // 2. Default keys.
    HotKey0 = kKeyAlphabet.left(kSlotCount);
    HotKey = HotKey0;
    for (SlotIndex i = 0; i < kSlotCount; ++i) Label4[i]->setText(HotKey.mid(i, 1));

    // 3. The slot list. A record that failed part-way gives the fields read before the
    // failure but not its key, which is only taken from a whole record.
    const QString listPath = slots::FindSlotListFile(QDir::currentPath());
    const std::vector<slots::SlotRecord> records = slots::ReadSlotList(QDir::currentPath());
    slots::PerSlot<bool> fadeValue;
    slots::PerSlot<bool> exclusiveValue;
    slots::PerSlot<std::optional<slots::SlotRecord>> recordOf;
    const auto recordCount = static_cast<SlotIndex>(std::min<std::size_t>(records.size(), kSlotCount));
    for (SlotIndex i = 0; i < recordCount; ++i) {
        const slots::SlotRecord& record = records[i];
        const int read = record.fieldsRead;
        if (read >= 3) Slots.SlotName[i] = record.name;
        if (read >= 4) Slots.SlotFile[i] = record.file;
        if (read >= 5) Slots.SlotStart[i] = record.start;
        if (read >= 6) Slots.SlotVolume[i] = BoundedVolume(record.volume);
        if (read >= 7) fadeValue[i] = record.fade != 0;
        if (read >= 8) {
            exclusiveValue[i] = record.exclusive != 0;
            Label4[i]->setText(record.key);
            if (!record.key.isEmpty()) HotKey[i] = record.key.at(0);
        }
        recordOf[i] = record;
    }

    // A list that could not be read to its end would lose the records after the damage when
    // the exit writes over it, so it is kept as it was found; the user is told after start-up.
    QString damageMessage;
    if (!records.empty() && records.back().fieldsRead < 8) {
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

    // 4. Show the window, painted, before the channels open, which can take a while.
    toolkit::ShowPainted(this);

    // 5. One channel per recorded sound. A sound that cannot be opened now (a drive not
    // plugged in, a share down) leaves the slot empty, but its record is kept and written
    // back at exit, so a missing drive never erases the user's board.
    for (SlotIndex i = 0; i < kSlotCount; ++i) {
        Slots.KeptRecord[i].reset();
        QString whyNot;
        const QString sound = Slots.SlotFile[i].isEmpty() ? QString() : SoundOfEarlierList(Slots.SlotFile[i]);
        if (sound.isEmpty()) {
            EmptySetUp(i);
        } else if (channels::MciOpenSound(i, sound, &whyNot)) {
            Slots.SlotFile[i] = sound;
            AssignedSetUp(i, fadeValue[i], exclusiveValue[i]);
        } else {
            qWarning().noquote() << "slot" << i << "keeps its record but cannot open" << Slots.SlotFile[i] << "-"
                                 << whyNot;
            slots::SlotRecord kept = recordOf[i] ? KeptForm(*recordOf[i]) : slots::SlotRecord{};
            kept.index = i;
            kept.file = Slots.SlotFile[i];
            Slots.KeptRecord[i] = kept;
            Slots.KeptBecause[i] = WhyNotOpened(sound);
            EmptySetUp(i);
        }
    }

    // 6.-9. Focus, keyboard operation, no fade running, then the timer last, so that no
    // tick can run during start-up.
    Command3->setFocus();
    KeyOperationOn();
    for (SlotIndex i = 0; i < kSlotCount; ++i) Slots.FadeActive[i] = false;
    Timer1->start();

    if (!damageMessage.isEmpty()) toolkit::MsgBox(this, damageMessage, toolkit::kStyleStop);
}

void Form1::AssignedSetUp(SlotIndex i, bool fade, bool exclusive) {
    Check1[i]->setChecked(fade);
    Check2[i]->setChecked(exclusive);
    ShowSlot(i);
    // A freshly opened channel plays at full level. The bar reports only a real change, so
    // when it already shows the saved volume the volume is sent here instead.
    const std::int16_t volume = BoundedVolume(Slots.SlotVolume[i]);
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
    ShowSlot(i);
    HScroll1[i]->setValue(0);
}

}  // namespace board
