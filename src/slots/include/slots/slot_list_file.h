#pragma once
// The slot list "SoundList.csv": a line of comma-separated fields per slot (slots/slot_record.h),
// CR LF, kept in the board's folder. This file knows its bytes only; where the fields live on the
// board is the slot table's business.
#include <QByteArray>
#include <QString>
#include <vector>

#include "slots/slot_record.h"

namespace slots {

// What the reader takes at most, so that a hostile file cannot exhaust memory. A text may be
// 32 K characters, more than the details dialog's name box takes (32767); a file 8 MiB, about
// twice a board of 38 such names with the longest paths, in UTF-8 or with every quote doubled.
constexpr qsizetype kMaxTextLength = 32 * 1024;
constexpr qsizetype kMaxListBytes = 8 * 1024 * 1024;

// The records a list holds, in file order (the n-th record fills slot n-1). A record that
// failed part-way is the last one, with fieldsRead < kFieldCount: the list is damaged there. At
// most one record per slot is read.
std::vector<SlotRecord> ParseSlotList(const QByteArray& bytes);

// The whole file: one line per slot, slot i's index field i, an empty slot's line where
// `records` ends.
QByteArray FormatSlotList(const std::vector<SlotRecord>& records);

// Where the list is: "SoundList.csv" in `folder`, or else a file there named
// "soundlist.csv" in any mix of case. Returns the path to read (may not exist).
QString FindSlotListFile(const QString& folder);

// Reads the list in `folder`; an unopenable file gives no records.
std::vector<SlotRecord> ReadSlotList(const QString& folder);

// Writes the list safely (a temporary file in the same folder, flushed, renamed over the
// old list). On failure the old list is left whole and `error` holds the system's reason.
bool WriteSlotList(const QString& folder, const std::vector<SlotRecord>& records, QString* error);
bool WriteSlotListFile(const QString& path, const std::vector<SlotRecord>& records, QString* error);

// Copies the list at `path` beside it as "<name>.bak", or ".bak.1", ".bak.2" and so on when
// that name is taken: an earlier copy is never overwritten. Returns the copy's path, or an
// empty text with `error` set.
QString KeepCopyOfList(const QString& path, QString* error);

}  // namespace slots
