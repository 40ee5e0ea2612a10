#pragma once
// Slots' keys as typed: how a typed character is matched (the board's keyboard operation and the
// hotkey dialog fold it alike) and which characters can become a key. The key string is kept in
// the system's 8-bit code page (CP932), one byte per slot, so a key must be a single character
// that is one byte there: printable ASCII and the half-width katakana.
#include <QChar>

namespace slots {

// a to z become A to Z; every other character is kept as typed, so it matches only itself.
QChar FoldKeyCharacter(QChar typed);

// True for a character above the blank that CP932 writes as one byte and that is not a
// control character (DEL, C1 codes).
bool IsCapturableKey(QChar key);

}  // namespace slots
