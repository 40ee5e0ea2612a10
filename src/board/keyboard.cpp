// Placeholder until this topic lands; replaced whole by its implementation.
#include "board/window/form1.h"

void Form1::BoardKeyPress(int) {}
void Form1::KeyOperationOn() {}
void Form1::KeyOperationOff() {}
void Form1::ToggleKeyOperation() {}
bool Form1::KeyPreviewOn() const { return false; }
