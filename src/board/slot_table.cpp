#include "board/slot_table.h"

#include <QtGlobal>

namespace {

struct SlotTableData {
    std::array<QString, kSlotCount> file;
    std::array<QString, kSlotCount> name;
    std::array<std::int16_t, kSlotCount> volume{};
    std::array<double, kSlotCount> start{};
    std::array<bool, kSlotCount> fadeActive{};
    std::array<std::int16_t, kSlotCount> fadeRestoreVolume{};
    std::array<std::optional<board::SlotRecord>, kSlotCount> keptRecord;
    std::int16_t selectedSlot = 0;
};

SlotTableData& Table() {
    static SlotTableData table;
    return table;
}

int Checked(int i) {
    Q_ASSERT_X(i >= 0 && i < kSlotCount, "slot table", "slot index outside 0..37");
    // In a release build an out-of-range index must still not touch foreign memory.
    return qBound(0, i, kSlotCount - 1);
}

}  // namespace

QString& SlotFile(int i) { return Table().file[Checked(i)]; }
QString& SlotName(int i) { return Table().name[Checked(i)]; }
std::int16_t& SlotVolume(int i) { return Table().volume[Checked(i)]; }
double& SlotStart(int i) { return Table().start[Checked(i)]; }
bool& FadeActive(int i) { return Table().fadeActive[Checked(i)]; }
std::int16_t& FadeRestoreVolume(int i) { return Table().fadeRestoreVolume[Checked(i)]; }
std::optional<board::SlotRecord>& KeptRecord(int i) { return Table().keptRecord[Checked(i)]; }
std::int16_t& SelectedSlot() { return Table().selectedSlot; }

void ResetSlotTable() { Table() = SlotTableData{}; }
