#pragma once
// Turns SIGINT and SIGTERM into a normal close of the board's window, so Ctrl+C in a terminal
// or the end of a desktop session runs the same exit steps as the close button and the slot
// list is written. A signal handler may do almost nothing, so it only writes one byte into a
// pipe; a QSocketNotifier on the pipe's other end runs the close on the user-interface thread
// (the classic self-pipe). Where there are no POSIX signals this does nothing.
#include <QObject>

class QSocketNotifier;
class QWidget;

class QuitSignals : public QObject {
    Q_OBJECT
public:
    // Installs the handlers; `window` is closed (QWidget::close) when a signal arrives.
    // Create once, on the user-interface thread, after QApplication.
    explicit QuitSignals(QWidget* window, QObject* parent = nullptr);
    ~QuitSignals() override;

    QuitSignals(const QuitSignals&) = delete;
    QuitSignals& operator=(const QuitSignals&) = delete;

private:
    void onSignalByte();
    void closeWindow();

    QWidget* m_window;
    QSocketNotifier* m_notifier = nullptr;
};
