#include "toolkit/scroll_bar.h"

#include <QWheelEvent>

namespace toolkit {

HScrollBar::HScrollBar(int minimum, int maximum, int smallStep, int largeStep, QWidget* parent)
    : QScrollBar(Qt::Horizontal, parent) {
    setRange(minimum, maximum);
    setSingleStep(smallStep);
    setPageStep(largeStep);
    // A drag reports once, at release, instead of for every pixel the thumb moves.
    setTracking(false);
    // Qt's bars invert key direction by default; the Right arrow must increase the value.
    setInvertedControls(false);
}

void HScrollBar::wheelEvent(QWheelEvent* event) {
    event->ignore();
}

}  // namespace toolkit
