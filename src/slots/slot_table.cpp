#include "slots/slot_table.h"

namespace slots {

namespace {

// Where each field of a list record lives in the table, in the list's order (the index field
// is the slot's place in the table). Record and Take both walk this list.
template <typename Table, typename Record, typename Visit>
void ForEachListedField(Table& table, SlotIndex i, Record& record, Visit visit) {
    visit(table.Key[i], record.key);
    visit(table.SlotName[i], record.name);
    visit(table.SlotFile[i], record.file);
    visit(table.SlotStart[i], record.start);
    visit(table.SlotVolume[i], record.volume);
    visit(table.Fade[i], record.fade);
    visit(table.Exclusive[i], record.exclusive);
}

// A listed value as the table keeps it: a tick is any value but 0, and a volume is one the bar
// takes, so a hand-edited list cannot put a level on the channel that the bar does not show.
template <typename Kept, typename Listed>
void Keep(Kept& kept, const Listed& listed) {
    kept = static_cast<Kept>(listed);
}
void Keep(std::int16_t& volume, int listed) {
    volume = static_cast<std::int16_t>(std::clamp(listed, 0, 1000));
}

}  // namespace

SlotRecord SlotTable::Record(SlotIndex i) const {
    SlotRecord record;
    ForEachListedField(*this, i, record, [](const auto& kept, auto& listed) { listed = kept; });
    if (FadeActive[i]) record.volume = FadeRestoreVolume[i];
    if (Kept[i]) {
        record = Kept[i]->record;
        record.key = Key[i];
        record.fieldsRead = kFieldCount;
    }
    record.index = i;
    return record;
}

void SlotTable::Take(SlotIndex i, const SlotRecord& record) {
    const QString key = Key[i];
    ForEachListedField(*this, i, record, [](auto& kept, const auto& listed) { Keep(kept, listed); });
    if (record.fieldsRead < kFieldCount) Key[i] = key;
}

}  // namespace slots
