// A slot's look, worked out in one place from the slot table: an assigned slot shows its name on
// yellow with Play, Stop, both boxes and the bar enabled; an empty one shows nothing, unticked
// and disabled, its name box white once released (else the window's colour), and a record kept
// from start-up names its file and why it could not be opened in the tooltip. The key label is
// light magenta while the slot sounds and white otherwise.
//
// The tick shows every assigned slot again ten times a second. A slot whose look would be worked
// out from the same table entry and sound state as last time is left as it is: its controls are
// not touched at all, which on a waiting board is most of what the tick would cost.
#include <QCheckBox>
#include <QHash>
#include <QPushButton>
#include <QScrollBar>

#include "board/window/board_window.h"
#include "board/window/slot_label.h"
#include "toolkit/colors.h"
#include "toolkit/tool_tip.h"

namespace {

constexpr std::uint32_t kAssignedNameColor = 0x00FFFF;  // yellow
constexpr std::uint32_t kReleasedNameColor = 0xFFFFFF;  // white
constexpr std::uint32_t kPlayingKeyColor = 0xFF80FF;    // light magenta
constexpr std::uint32_t kIdleKeyColor = 0xFFFFFF;       // white

QString Because(OpenFailure failure) {
    switch (failure) {
        case OpenFailure::NotAFile:
            return QStringLiteral("は通常のファイルではありません");
        case OpenFailure::Unreadable:
            return QStringLiteral("を読めません");
        case OpenFailure::NotASound:
            return QStringLiteral("は再生できる音ではありません");
        case OpenFailure::Missing:
            break;
    }
    return QStringLiteral("が見つかりません");
}

// What a slot's look was last worked out from.
struct LookSource {
    bool assigned = false;
    bool released = false;
    bool sounding = false;
    QString name;
    std::optional<QString> keptFile;
    OpenFailure keptBecause = OpenFailure::Missing;
};

// By the slot's key label, which lives as long as the slot's other controls. User-interface
// thread only.
QHash<const QWidget*, LookSource>& Shown() {
    static QHash<const QWidget*, LookSource> shown;
    return shown;
}

// Compares in place: the texts are shared with the table, so equal ones are not even read.
bool Same(const LookSource& shown, bool assigned, bool released, bool sounding, const QString& name,
          const std::optional<board::SlotRecord>& kept, OpenFailure because) {
    return shown.assigned == assigned && shown.released == released && shown.sounding == sounding &&
           shown.name == name && shown.keptFile.has_value() == kept.has_value() &&
           (!kept || (*shown.keptFile == kept->file && shown.keptBecause == because));
}

}  // namespace

void Form1::ShowSlot(SlotIndex i, bool sounding) {
    const bool assigned = Slots.HasSound(i);
    static const QString kNoName;
    const QString& shownName = assigned ? Slots.SlotName[i] : kNoName;
    const auto& keptRecord = Slots.KeptRecord[i];
    auto& shown = Shown();
    const auto known = shown.find(Label4[i]);
    if (known != shown.end() && Same(*known, assigned, Slots.Released[i], sounding, shownName, keptRecord, Slots.KeptBecause[i])) return;
    if (known == shown.end()) {
        QObject::connect(Label4[i], &QObject::destroyed, [key = Label4[i]] { Shown().remove(key); });
    }
    shown.insert(Label4[i], {assigned, Slots.Released[i], sounding, shownName,
                             keptRecord ? std::optional<QString>(keptRecord->file) : std::nullopt, Slots.KeptBecause[i]});

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
