// A slot's look, worked out in one place from the slot table: an assigned slot shows its name on
// yellow with Play, Stop, both boxes and the bar enabled; an empty one shows nothing, unticked
// and disabled, its name box white once released (else the window's colour), and a record kept
// from start-up names its file and why it could not be opened in the tooltip. The key label is
// light magenta while the slot sounds and white otherwise.
#include <QCheckBox>
#include <QPushButton>
#include <QScrollBar>

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

void Form1::ShowSlot(SlotIndex i, bool sounding) {
    const bool assigned = Slots.HasSound(i);
    SlotLabel* name = Text1[i];
    name->setText(assigned ? Slots.SlotName[i] : QString());
    if (assigned) {
        toolkit::SetBackColor(name, kAssignedNameColor);
    } else if (Slots.Released[i]) {
        toolkit::SetBackColor(name, kReleasedNameColor);
    }
    const auto& kept = Slots.KeptRecord[i];
    toolkit::SetPlainToolTip(name, kept ? kept->file + Because(Slots.KeptBecause[i]) : QString());
    Command1[i]->setEnabled(assigned);
    Command2[i]->setEnabled(assigned);
    if (!assigned) {
        Check1[i]->setChecked(false);
        Check2[i]->setChecked(false);
    }
    Check1[i]->setEnabled(assigned);
    Check2[i]->setEnabled(assigned);
    HScroll1[i]->setEnabled(assigned);
    toolkit::SetBackColor(Label4[i], sounding ? kPlayingKeyColor : kIdleKeyColor);
}

}  // namespace board
