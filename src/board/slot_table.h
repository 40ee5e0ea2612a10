#pragma once
// The slot table: program-wide data of the 38 slots, shared by the board and its dialogs.
// Every access checks the slot index; an index outside 0..37 is a programming error.
// User-interface thread only.
#include <QString>
#include <array>
#include <cstdint>
#include <optional>

#include "board/slot_list_file.h"

constexpr int kSlotCount = 38;

QString& SlotFile(int i);            // stored path; empty for an empty slot
QString& SlotName(int i);            // display name
std::int16_t& SlotVolume(int i);     // 0..1000, follows the slot's volume bar
double& SlotStart(int i);            // start position, seconds
bool& FadeActive(int i);             // a fade-out runs on the slot
std::int16_t& FadeRestoreVolume(int i);  // volume put back when the fade-out ends
std::int16_t& SelectedSlot();        // slot the pop-up menu was last opened on

// A record read at start-up whose sound could not be opened (a drive not plugged in, a
// share down). The slot shows empty, but the record is written back at exit unchanged
// unless the user assigns or releases the slot during the run.
std::optional<board::SlotRecord>& KeptRecord(int i);

void ResetSlotTable();  // everything empty or 0, as before start-up
