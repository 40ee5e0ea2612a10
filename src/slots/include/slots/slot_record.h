#pragma once
// One slot as the slot list keeps it: a line of eight fields. kListFields is the one place that
// says which fields a line holds and in what order: the reader takes them one after the other
// from it and the writer writes them so, and a field's type says how (text quoted, a number with
// blanks around it, an integer as a 16-bit number). A new field is a member here, an entry in
// kListFields and the place the slot table keeps it (slots/slot_table.cpp).
#include <QString>
#include <algorithm>
#include <array>
#include <variant>

namespace slots {

inline constexpr int kFieldCount = 8;

struct SlotRecord {
    int index = 0;  // the slot's number; read and ignored, as the n-th record fills slot n-1
    QString key;
    QString name;
    QString file;
    double start = 0;  // seconds
    int volume = 0;
    int fade = 0;       // the fade-out tick, 0 or 1 as written
    int exclusive = 0;  // the exclusive-play tick
    // Fewer than all when the list is damaged inside this record: the fields after are not read.
    int fieldsRead = kFieldCount;

    bool operator==(const SlotRecord&) const = default;
};

using ListField = std::variant<int SlotRecord::*, QString SlotRecord::*, double SlotRecord::*>;
inline constexpr std::array<ListField, kFieldCount> kListFields = {
    &SlotRecord::index, &SlotRecord::key,    &SlotRecord::name, &SlotRecord::file,
    &SlotRecord::start, &SlotRecord::volume, &SlotRecord::fade, &SlotRecord::exclusive,
};
static_assert(std::ranges::none_of(kListFields,
                                   [](const ListField& field) {
                                       return std::visit([](auto member) { return member == nullptr; }, field);
                                   }),
              "kListFields names every field that kFieldCount counts");

}  // namespace slots
