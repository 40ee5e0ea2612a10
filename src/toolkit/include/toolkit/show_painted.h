#pragma once
// Shows a window and paints it at once, before the caller goes on with slow work: without
// this the first paint waits for the event loop, after the work. Call on the user-interface
// thread.
class QWidget;

namespace toolkit {

// Waits (at most about a second) for the window system to put the window on screen, then
// paints it. No user input and no socket event is handled meanwhile.
void ShowPainted(QWidget* window);

}  // namespace toolkit
