#include "toolkit/popup_menu.h"

#include <QMouseEvent>

namespace toolkit {

void PopupMenu::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        event->accept();
        return;
    }
    QMenu::mouseReleaseEvent(event);
}

}  // namespace toolkit
