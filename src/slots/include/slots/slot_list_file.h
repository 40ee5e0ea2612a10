#pragma once
// The slot list "SoundList.csv": 38 lines of eight comma-separated fields, CR LF, kept in the
// current directory. This file knows its bytes only; which controls the fields come from and
// go to is start-up's and exit's business.
#include <QByteArray>
#include <QString>
#include <vector>

namespace slots {

// One line of the list. Fields are read in this order; `fieldsRead` says how many of the
// eight were read (8 for a whole record; fewer when reading failed inside it).
struct SlotRecord {
    int index = 0;      // field 1, read and ignored
    QString key;        // field 2
    QString name;       // field 3
    QString file;       // field 4
    double start = 0;   // field 5, seconds
    int volume = 0;     // field 6
    int fade = 0;       // field 7, fade-out check box
    int exclusive = 0;  // field 8, exclusive check box
    int fieldsRead = 0;

    bool operator==(const SlotRecord&) const = default;
};

// What the reader takes at most, so that a hostile file cannot exhaust memory. A text may be
// 32 K characters, more than the details dialog's name box takes (32767); a file 8 MiB, about
// twice a board of 38 such names with the longest paths, in UTF-8 or with every quote doubled.
constexpr qsizetype kMaxTextLength = 32 * 1024;
constexpr qsizetype kMaxListBytes = 8 * 1024 * 1024;

// The records a list holds, in file order (the n-th record fills slot n-1). A record that
// failed part-way is the last one, with fieldsRead < 8: the list is damaged there. At most
// 38 records are read.
std::vector<SlotRecord> ParseSlotList(const QByteArray& bytes);

// The whole file for 38 records (one per slot, slot i's index field is i).
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
