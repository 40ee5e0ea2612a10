// Placeholder until this topic lands; replaced whole by its implementation.
#include "board/window/form1.h"

void Form1::mnuHotkey_Click() {}
