#include "toolkit/key_preview.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QWidget>
#include <QWindow>

namespace toolkit {

KeyPreview::KeyPreview(QWidget* window, Handler handler)
    : QObject(window), m_window(window), m_handler(std::move(handler)) {
    // On the application, because a filter on the window alone misses keys addressed to its
    // focused child.
    if (QCoreApplication::instance()) QCoreApplication::instance()->installEventFilter(this);
}

KeyPreview::~KeyPreview() {
    if (QCoreApplication::instance()) QCoreApplication::instance()->removeEventFilter(this);
}

void KeyPreview::setEnabled(bool on) {
    m_enabled = on;
}

bool KeyPreview::eventFilter(QObject* watched, QEvent* event) {
    if (!m_enabled || event->type() != QEvent::KeyPress || !m_handler || !m_window) return false;
    // A press first arrives at the platform window and is then passed on to the focus widget
    // and perhaps its parents; acting only on the window's own delivery reports it once, and
    // keys typed in other windows (dialogs, message boxes) are never ours.
    if (!watched->isWindowType() || watched != m_window->windowHandle()) return false;

    const auto* key = static_cast<const QKeyEvent*>(event);
    QString typed = key->text();
    if (key->key() == Qt::Key_Escape) typed = QString(QChar(27));
    // Tab moves the focus between controls; it is not a typed character.
    if (key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab) return false;
    if (typed.isEmpty()) return false;  // F1, arrows and the like type nothing

    bool consumed = false;
    for (const QChar c : typed)  // an auto-repeat may carry several characters
        consumed = m_handler(c) || consumed;
    return consumed;
}

}  // namespace toolkit
