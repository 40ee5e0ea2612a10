#pragma once
// The slot pop-up menu: its items are chosen with the left button only. A release of any other
// button over an item chooses nothing and leaves the menu open (a right click that opened the
// menu must not go on to release a sound).
#include <QMenu>

namespace toolkit {

class PopupMenu : public QMenu {
public:
    using QMenu::QMenu;

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
};

}  // namespace toolkit
