#pragma once
// The slot table: the data of the board's 38 slots. The board window owns it and hands it to
// the details dialog; nothing else holds slot data. Every slot is addressed by one index type,
// SlotIndex, which is also the slot's channel number. An index outside 0..37 is a programming
// error: asserted in a debug build, held inside the table in a release build.
// User-interface thread only.
#include <QString>
#include <QtGlobal>
#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>

#include "slots/slot_list_file.h"

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

struct SlotTable {
    PerSlot<QString> SlotFile;                // stored path; empty for an empty slot
    PerSlot<QString> SlotName;                // display name
    PerSlot<std::int16_t> SlotVolume;         // 0..1000, follows the slot's volume bar
    PerSlot<double> SlotStart;                // start position, seconds
    PerSlot<bool> FadeActive;                 // a fade-out runs on the slot
    PerSlot<std::int16_t> FadeRestoreVolume;  // volume put back when the fade-out ends
    // A record read at start-up whose sound could not be opened (a drive not plugged in, a
    // share down). The slot shows empty, but the record is written back at exit unchanged
    // unless the user assigns or releases the slot during the run.
    PerSlot<std::optional<SlotRecord>> KeptRecord;
    PerSlot<OpenFailure> KeptBecause;  // meaningful while a record is kept
    // Emptied by a release: its name box is painted white; one never assigned keeps the
    // window's own colour.
    PerSlot<bool> Released;
    SlotIndex SelectedSlot = 0;  // slot the pop-up menu was last opened on

    bool HasSound(SlotIndex i) const { return !SlotFile[i].isEmpty(); }
};

}  // namespace slots
