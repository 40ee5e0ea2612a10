// A slot's look, worked out in one place from the slot table: the key label shows the slot's key,
// light magenta while the slot sounds and white otherwise; an assigned slot shows its name on
// yellow with its ticks, and Play, Stop, both boxes and the bar enabled; an empty one shows
// nothing and is disabled, its name box white once released (else the window's colour), and a
// kept record names its file and why it could not be opened in the tooltip.
#include <QCheckBox>
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

}  // namespace

void Form1::ShowSlot(SlotIndex i) {
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
