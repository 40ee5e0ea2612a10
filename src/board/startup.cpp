// Placeholder until this topic lands; replaced whole by its implementation.
#include "board/window/form1.h"

void Form1::Form_Load() {}
void Form1::AssignedSetUp(int, int, int) {}
void Form1::EmptySetUp(int) {}
