#pragma once
// Which typed characters can become a slot's key. The key string is kept in the system's
// 8-bit code page (CP932), one byte per slot, so a key must be a single character that is
// one byte there: printable ASCII and the half-width katakana.
#include <QChar>

namespace slots {

// a to z become A to Z; every other character is kept as typed.
QChar FoldKeyCharacter(QChar typed);

// True for a character above the blank that CP932 writes as one byte and that is not a
// control character (DEL, C1 codes).
bool IsCapturableKey(QChar key);

}  // namespace slots
