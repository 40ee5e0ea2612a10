#include "board/window/slot_label.h"

#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QMouseEvent>

SlotLabel::SlotLabel(QWidget* parent) : QLabel(parent) {}

void SlotLabel::mousePressEvent(QMouseEvent* event) {
    event->accept();
    emit mousePressed(event->button());
}

// Every drag is let in: the board itself looks at the data and decides what a drop does,
// so a drag without files simply comes to nothing when it is dropped.
void SlotLabel::dragEnterEvent(QDragEnterEvent* event) {
    event->acceptProposedAction();
}

void SlotLabel::dragMoveEvent(QDragMoveEvent* event) {
    event->acceptProposedAction();
}

void SlotLabel::dropEvent(QDropEvent* event) {
    event->acceptProposedAction();
    emit dropped(event->mimeData());
}
