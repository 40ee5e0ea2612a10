#pragma once
// A horizontal bar that reports a change only when its value really changes: once at the
// release of a thumb drag, once per arrow or track click, at once for setValue. Connect to
// QScrollBar::valueChanged. The Right arrow key increases it.
#include <QScrollBar>

namespace toolkit {

class HScrollBar : public QScrollBar {
    Q_OBJECT
public:
    HScrollBar(int minimum, int maximum, int smallStep, int largeStep, QWidget* parent = nullptr);
};

}  // namespace toolkit
