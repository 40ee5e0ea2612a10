// Exit: closing the board window stops and closes every channel, then writes the slot list.
// This is the only time the list is saved, so a failure to write it is told to the user, and
// the board is written elsewhere for the user to take back.
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QTimer>
#include <vector>

#include "board/window/board_window.h"
#include "channels/mci_channels.h"
#include "slots/slot_list_file.h"
#include "toolkit/message_box.h"

namespace board {

namespace {

QString Shown(const QString& path) {
    return QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath());
}

// A board whose list cannot be written is not lost with the program: it goes to the user's
// state folder ($XDG_STATE_HOME/sorvane, by default ~/.local/state/sorvane), else to the
// temporary folder, as SoundList-<date-time>.csv beside any earlier one. Returns its path,
// or an empty text when it could be written nowhere.
QString KeepElsewhere(const std::vector<slots::SlotRecord>& records) {
    QString state = qEnvironmentVariable("XDG_STATE_HOME");
    if (!QDir::isAbsolutePath(state)) state = QDir::homePath() + QStringLiteral("/.local/state");
    const QString name =
        QStringLiteral("SoundList-") + QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    for (const QString& folder : {state + QStringLiteral("/sorvane"), QDir::tempPath()}) {
        if (!QDir().mkpath(folder)) continue;
        QString path = QDir(folder).filePath(name + QStringLiteral(".csv"));
        for (int n = 1; QFileInfo::exists(path); ++n)
            path = QDir(folder).filePath(name + QStringLiteral("-%1.csv").arg(n));
        if (slots::WriteSlotListFile(path, records, nullptr)) return path;
    }
    return {};
}

}  // namespace

void Form1::Form_Unload() {
    if (m_unloaded) return;
    m_unloaded = true;
    // No fade-out tick may run against channels that are already closed.
    Timer1->stop();

    for (SlotIndex i = 0; i < kSlotCount; ++i) {
        channels::MciStopSound(i);
        channels::MciCloseSound(i);
    }

    // The table holds all the list keeps; the controls only show it.
    std::vector<slots::SlotRecord> records;
    records.reserve(kSlotCount);
    for (SlotIndex i = 0; i < kSlotCount; ++i) records.push_back(Slots.Record(i));

    const QString folder = QDir::currentPath();
    QString reason = m_listWriteBlocked;
    if (reason.isEmpty() && slots::WriteSlotList(folder, records, &reason)) return;
    const QString rescued = KeepElsewhere(records);
    const QString where = rescued.isEmpty()
                              ? QStringLiteral("ほかの場所にも保存できません")
                              : QStringLiteral("代わりに") + Shown(rescued) + QStringLiteral("に保存しました");
    toolkit::MsgBox(this,
                    Shown(slots::FindSlotListFile(folder)) + QStringLiteral("を保存できません\n") + reason +
                        QLatin1Char('\n') + where,
                    toolkit::kStyleStop);
}

}  // namespace board
