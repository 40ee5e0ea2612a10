#include "quit_signals.h"

#include <QApplication>
#include <QMetaObject>
#include <QSocketNotifier>
#include <QWidget>

namespace {

// A pop-up menu or a modal dialog runs its own event loop on top of the board's. Closing them
// first (a dialog closed this way stores nothing, as with its close button) lets those loops
// return before the board closes, so no handler goes on working on a closed board.
void CloseMenusAndDialogs() {
    for (int guard = 0; guard < 16; ++guard) {
        QWidget* top = QApplication::activePopupWidget();
        if (!top) top = QApplication::activeModalWidget();
        if (!top) return;
        top->close();
        if (top->isVisible()) return;  // it refused; the board closes anyway
    }
}

}  // namespace

void QuitSignals::closeWindow() {
    CloseMenusAndDialogs();
    // Queued, so the loops of the dialogs just closed unwind before the exit steps run.
    QMetaObject::invokeMethod(
        this,
        [this] {
            // close() runs the window's close event, hence the exit steps, once: a second
            // signal finds the window hidden already.
            if (m_window && m_window->isVisible()) m_window->close();
        },
        Qt::QueuedConnection);
}

#if defined(Q_OS_UNIX)
#include <fcntl.h>
#include <unistd.h>
#include <cerrno>
#include <csignal>

namespace {

// [0] read end (user-interface thread), [1] write end (signal handler). Set once before the
// handlers are installed.
int g_pipe[2] = {-1, -1};

extern "C" void WriteSignalByte(int signo) {
    const int savedErrno = errno;
    const char byte = static_cast<char>(signo);
    // write() is async-signal-safe; a full pipe means a close is already on its way.
    [[maybe_unused]] const ssize_t n = ::write(g_pipe[1], &byte, 1);
    errno = savedErrno;
}

bool MakePipe() {
    if (::pipe(g_pipe) != 0) return false;
    for (int fd : g_pipe) {
        ::fcntl(fd, F_SETFD, FD_CLOEXEC);
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    }
    return true;
}

void InstallHandler(int signo, void (*handler)(int)) {
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(signo, &action, nullptr);
}

}  // namespace

QuitSignals::QuitSignals(QWidget* window, QObject* parent) : QObject(parent), m_window(window) {
    if (g_pipe[0] >= 0 || !MakePipe()) return;  // one instance per process
    m_notifier = new QSocketNotifier(g_pipe[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &QuitSignals::onSignalByte);
    InstallHandler(SIGINT, WriteSignalByte);
    InstallHandler(SIGTERM, WriteSignalByte);
}

QuitSignals::~QuitSignals() {
    if (!m_notifier) return;
    InstallHandler(SIGINT, SIG_DFL);
    InstallHandler(SIGTERM, SIG_DFL);
    delete m_notifier;
    m_notifier = nullptr;
    ::close(g_pipe[0]);
    ::close(g_pipe[1]);
    g_pipe[0] = g_pipe[1] = -1;
}

void QuitSignals::onSignalByte() {
    char bytes[16];
    while (::read(g_pipe[0], bytes, sizeof bytes) > 0) {}
    closeWindow();
}

#else  // no POSIX signals: the platform ends the program its own way

QuitSignals::QuitSignals(QWidget* window, QObject* parent) : QObject(parent), m_window(window) {}
QuitSignals::~QuitSignals() = default;
void QuitSignals::onSignalByte() {}

#endif
