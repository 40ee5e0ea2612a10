// Placeholder until the layout lands; replaced whole by its implementation.
#include "board/window/slot_label.h"

SlotLabel::SlotLabel(QWidget* parent) : QLabel(parent) {}
void SlotLabel::mousePressEvent(QMouseEvent* event) { QLabel::mousePressEvent(event); }
void SlotLabel::dragEnterEvent(QDragEnterEvent* event) { QLabel::dragEnterEvent(event); }
void SlotLabel::dragMoveEvent(QDragMoveEvent* event) { QLabel::dragMoveEvent(event); }
void SlotLabel::dropEvent(QDropEvent* event) { QLabel::dropEvent(event); }
