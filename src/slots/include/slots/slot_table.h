#pragma once
// The slot table: everything the board knows of its 38 slots, in one place. The board window
// owns it and hands it to the details dialog. The window's controls only show it (Form1::ShowSlot
// works out every control of a slot from it), and every change is made here first: a click on a
// check box writes its tick here, the volume bar's change handler its level, and the exit writes
// the list from here alone. Every slot is addressed by one index type, SlotIndex, which is also
// the slot's channel number. An index outside 0..37 is a programming error: asserted in a debug
// build, held inside the table in a release build.
// User-interface thread only.
#include <QString>
#include <QtGlobal>
#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>

#include "slots/slot_record.h"

namespace slots {

using SlotIndex = std::int16_t;
inline constexpr SlotIndex kSlotCount = 38;

// One value per slot, read and written directly by index.
template <typename T>
class PerSlot {
public:
    T& operator[](SlotIndex i) { return m_values[Checked(i)]; }
    const T& operator[](SlotIndex i) const { return m_values[Checked(i)]; }

private:
    static std::size_t Checked(SlotIndex i) {
        Q_ASSERT_X(i >= 0 && i < kSlotCount, "slot table", "slot index outside 0..37");
        return static_cast<std::size_t>(std::clamp<int>(i, 0, kSlotCount - 1));
    }
    std::array<T, kSlotCount> m_values{};
};

// Why the sound of a record kept from start-up could not be opened; its tooltip says so.
enum class OpenFailure {
    Missing,     // no such file (a drive not plugged in, a share down, a file moved)
    NotAFile,    // a folder, a device or a pipe stands there
    Unreadable,  // a file the board may not read
    NotASound,   // a file, but none the media service can play
};

// A record whose sound could not be opened (a drive not plugged in, a share down). The slot
// shows empty, but the record goes back to the list at exit as it came, unless the user assigns
// or releases the slot meanwhile.
struct KeptRecord {
    SlotRecord record;
    OpenFailure because = OpenFailure::Missing;
};

struct SlotTable {
    // What the list keeps of a slot; Record and Take map it to and from a list record.
    // Key is the text of the slot's key label. The slot plays on its first character only,
    // which the board keeps in Form1::HotKey, the string of play keys the hotkey dialog edits:
    // a list's key "XY" shows XY and plays on X, an empty one shows nothing and keeps the
    // default play key, and the hotkey dialog makes every key one character again.
    PerSlot<QString> Key;
    PerSlot<QString> SlotName;         // display name
    PerSlot<QString> SlotFile;         // stored path; empty for an empty slot
    PerSlot<double> SlotStart;         // start position, seconds
    PerSlot<std::int16_t> SlotVolume;  // 0..1000; follows the volume bar, the one way to the channel
    PerSlot<bool> Fade;                // fade out on Stop
    PerSlot<bool> Exclusive;           // starting the slot stops every other one
    PerSlot<std::optional<KeptRecord>> Kept;

    // What the board keeps while it runs.
    PerSlot<bool> FadeActive;                 // a fade-out runs on the slot
    PerSlot<std::int16_t> FadeRestoreVolume;  // volume put back when the fade-out ends
    PerSlot<bool> Sounding;                   // the last tick found it playing: its key label is lit
    // Emptied by a release: its name box is painted white; one never assigned keeps the
    // window's own colour.
    PerSlot<bool> Released;
    SlotIndex SelectedSlot = 0;  // slot the pop-up menu was last opened on

    bool HasSound(SlotIndex i) const { return !SlotFile[i].isEmpty(); }

    // Slot i's line of the list: a slot caught in a fade-out at the level it fades from, not the
    // lowered one of this moment, and a kept record as it came, under the slot's key of now.
    SlotRecord Record(SlotIndex i) const;
    // Takes a record read from the list into slot i, each value as the slot's controls can show
    // it: a volume outside 0..1000 as the nearest end, any tick but 0 as ticked. A damaged
    // record's key is not taken; its fields after the damage hold an empty slot's values.
    void Take(SlotIndex i, const SlotRecord& record);
};

}  // namespace slots
