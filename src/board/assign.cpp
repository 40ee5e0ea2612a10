// Placeholder until this topic lands; replaced whole by its implementation.
#include "board/window/form1.h"

void Form1::DropOnNameBox(std::int16_t, const QMimeData*) {}
void Form1::SlotMouseDown(std::int16_t, Qt::MouseButton) {}
void Form1::ReleaseSlot(std::int16_t) {}
void Form1::mnuDelSoundFile_Click() {}
void Form1::mnuAllClear_Click() {}
void Form1::mnuOpenFolder_Click() {}
