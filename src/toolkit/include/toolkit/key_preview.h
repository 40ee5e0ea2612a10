#pragma once
// Key preview: a window sees each typed character before its focused control does.
// Installed on the application, it acts only on key presses addressed to its own window
// (so keys typed into a dialog or a message box never reach the board), and only once per
// press even where the platform delivers the event to several receivers.
#include <QObject>
#include <functional>

class QWidget;

namespace toolkit {

class KeyPreview : public QObject {
    Q_OBJECT
public:
    // The handler gets each typed character (Escape as QChar(27)); returning true consumes
    // it, so the focused control never sees it. Keys that type no character are not reported.
    using Handler = std::function<bool(QChar typed)>;

    KeyPreview(QWidget* window, Handler handler);
    ~KeyPreview() override;

    void setEnabled(bool on);
    bool isEnabled() const { return m_enabled; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* m_window;
    Handler m_handler;
    bool m_enabled = false;
};

}  // namespace toolkit
