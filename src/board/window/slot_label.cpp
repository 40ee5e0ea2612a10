#include "board/window/slot_label.h"

#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QMouseEvent>

namespace board {

// Names and keys come from file names and a hand-editable list: they are shown as typed,
// never read as markup (a file called "<img src=…>.wav" must not load anything).
SlotLabel::SlotLabel(QWidget* parent) : QLabel(parent) {
    setTextFormat(Qt::PlainText);
}

void SlotLabel::mousePressEvent(QMouseEvent* event) {
    event->accept();
    Q_EMIT mousePressed(event->button());
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
    Q_EMIT dropped(event->mimeData());
}

}  // namespace board
