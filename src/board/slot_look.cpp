// A slot's look, worked out in one place from the slot table: the key label shows the slot's key,
// light magenta while the slot sounds and white otherwise; an assigned slot shows its name on
// yellow with its ticks, and Play, Stop, both boxes and the bar enabled; an empty one shows
// nothing and is disabled, its name box white once released (else the window's colour), and a
// kept record names its file and why it could not be opened in the tooltip.
//
// The tick shows every assigned slot again ten times a second. A slot whose look would be worked
// out from the same table entry as last time is left as it is: its controls are not touched at
// all, which on a waiting board is most of what the tick would cost. Every other path shows the
// slot whole, so a path that changed the table never depends on what the tick last saw.
#include <QCheckBox>
#include <QHash>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalBlocker>

#include "board/window/board_window.h"
#include "board/window/slot_label.h"
#include "toolkit/colors.h"
#include "toolkit/tool_tip.h"

namespace board {

namespace {

constexpr std::uint32_t kAssignedNameColor = 0x00FFFF;  // yellow
constexpr std::uint32_t kReleasedNameColor = 0xFFFFFF;  // white
constexpr std::uint32_t kPlayingKeyColor = 0xFF80FF;    // light magenta
constexpr std::uint32_t kIdleKeyColor = 0xFFFFFF;       // white

QString Because(slots::OpenFailure failure) {
    switch (failure) {
        case slots::OpenFailure::NotAFile:
            return QStringLiteral("は通常のファイルではありません");
        case slots::OpenFailure::Unreadable:
            return QStringLiteral("を読めません");
        case slots::OpenFailure::NotASound:
            return QStringLiteral("は再生できる音ではありません");
        case slots::OpenFailure::Missing:
            break;
    }
    return QStringLiteral("が見つかりません");
}

// Everything of the table a slot's look is worked out from. A field ShowSlot shows that is not
// here would leave the slot showing its old value until something else changed.
struct LookSource {
    QString key;
    bool sounding = false;
    bool assigned = false;
    bool released = false;
    QString name;
    bool fade = false;
    bool exclusive = false;
    std::optional<QString> keptFile;
    slots::OpenFailure keptBecause = slots::OpenFailure::Missing;

    // The texts are shared with the table, so equal ones compare without being read.
    bool operator==(const LookSource&) const = default;
};

LookSource SourceOf(const slots::SlotTable& table, SlotIndex i) {
    const bool assigned = table.HasSound(i);
    const auto& kept = table.Kept[i];
    return {table.Key[i],
            table.Sounding[i],
            assigned,
            table.Released[i],
            assigned ? table.SlotName[i] : QString(),
            table.Fade[i],
            table.Exclusive[i],
            kept ? std::optional<QString>(kept->record.file) : std::nullopt,
            kept ? kept->because : slots::OpenFailure::Missing};
}

// By the slot's key label, which lives as long as the slot's other controls. User-interface
// thread only.
QHash<const QWidget*, LookSource>& Shown() {
    static QHash<const QWidget*, LookSource> shown;
    return shown;
}

// Whether the slot whose key label this is was last shown from `source`; remembers it as shown
// if not.
bool AlreadyShown(const QWidget* keyLabel, LookSource source) {
    auto& shown = Shown();
    const auto known = shown.find(keyLabel);
    if (known != shown.end() && *known == source) return true;
    if (known == shown.end()) {
        QObject::connect(keyLabel, &QObject::destroyed, [keyLabel] { Shown().remove(keyLabel); });
    }
    shown.insert(keyLabel, std::move(source));
    return false;
}

}  // namespace

void Form1::ShowSlotIfChanged(SlotIndex i) {
    if (AlreadyShown(Label4[i], SourceOf(Slots, i))) return;
    ShowSlot(i);
}

void Form1::ShowSlot(SlotIndex i) {
    AlreadyShown(Label4[i], SourceOf(Slots, i));
    const bool assigned = Slots.HasSound(i);
    Label4[i]->setText(Slots.Key[i]);
    toolkit::SetBackColor(Label4[i], Slots.Sounding[i] ? kPlayingKeyColor : kIdleKeyColor);
    SlotLabel* name = Text1[i];
    name->setText(assigned ? Slots.SlotName[i] : QString());
    toolkit::SetBackColor(name, assigned            ? kAssignedNameColor
                                : Slots.Released[i] ? kReleasedNameColor
                                                    : toolkit::kWindowBackground);
    const auto& kept = Slots.Kept[i];
    toolkit::SetPlainToolTip(name, kept ? kept->record.file + Because(kept->because) : QString());
    Command1[i]->setEnabled(assigned);
    Command2[i]->setEnabled(assigned);
    {
        // Showing a tick is not a click: the table holds it already.
        const QSignalBlocker fadeQuiet(Check1[i]);
        const QSignalBlocker exclusiveQuiet(Check2[i]);
        Check1[i]->setChecked(Slots.Fade[i]);
        Check2[i]->setChecked(Slots.Exclusive[i]);
    }
    Check1[i]->setEnabled(assigned);
    Check2[i]->setEnabled(assigned);
    HScroll1[i]->setEnabled(assigned);
}

}  // namespace board
