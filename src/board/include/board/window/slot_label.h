#pragma once
// The label kind used for a slot's key label and name box: it reports mouse presses with
// their button, and (when drops are accepted) the drag data of files dropped on it.
#include <QLabel>
#include <QMimeData>

namespace board {

class SlotLabel : public QLabel {
    Q_OBJECT
public:
    explicit SlotLabel(QWidget* parent = nullptr);

Q_SIGNALS:
    void mousePressed(Qt::MouseButton button);
    void dropped(const QMimeData* data);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
};

}  // namespace board
