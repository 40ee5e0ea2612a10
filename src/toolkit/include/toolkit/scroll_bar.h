#pragma once
// A horizontal bar that reports a change only when its value really changes: once at the
// release of a thumb drag, once per arrow or track click, at once for setValue. Connect to
// QScrollBar::valueChanged. The Right arrow key increases it. The mouse wheel does nothing: a
// slot's volume bar under the pointer must not change a sound's level while the user scrolls.
#include <QScrollBar>

namespace toolkit {

class HScrollBar : public QScrollBar {
    Q_OBJECT
public:
    HScrollBar(int minimum, int maximum, int smallStep, int largeStep, QWidget* parent = nullptr);

protected:
    void wheelEvent(QWheelEvent* event) override;
};

}  // namespace toolkit
