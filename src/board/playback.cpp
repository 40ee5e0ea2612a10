// Placeholder until this topic lands; replaced whole by its implementation.
#include "board/window/form1.h"

void Form1::PlaySlot(std::int16_t) {}
void Form1::StopSlot(std::int16_t) {}
void Form1::StopAllSlots() {}
void Form1::ApplySlotVolume(std::int16_t) {}
void Form1::FadeTick() {}
