#include "toolkit/show_painted.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <QWidget>
#include <QWindow>

namespace toolkit {

void ShowPainted(QWidget* window) {
    if (!window->isVisible()) window->show();
    // Only a window that is on screen can be painted; until then a paint is dropped.
    constexpr int kWaitMs = 1000;
    QElapsedTimer waited;
    waited.start();
    while (window->windowHandle() && !window->windowHandle()->isExposed() && waited.elapsed() < kWaitMs) {
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents | QEventLoop::ExcludeSocketNotifiers);
        QThread::msleep(5);
    }
    window->repaint();
}

}  // namespace toolkit
