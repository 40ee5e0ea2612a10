#pragma once
// What the dialog tests share: a board built afresh with the default keys and a recording
// media service, and a way to act on a modal dialog while exec() runs.
#include <QApplication>
#include <QPointer>
#include <QTest>
#include <QTimer>
#include <QWidget>
#include <QWindow>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <ostream>

#include "board/slot_table.h"
#include "board/window/form1.h"
#include "recording_mci.h"
#include "toolkit/message_box.h"

// Readable failure messages.
inline void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }

inline const QString kDefaultKeys = QStringLiteral("0123456789/*-+.ABCDEFGHIJKLMNOPQRSTUVW");

class BoardTest : public ::testing::Test
{
protected:
    void SetUp() override {
        ResetSlotTable();
        board = std::make_unique<Form1>();
        board->HotKey0 = kDefaultKeys;
        board->HotKey = kDefaultKeys;
        toolkit::SetBeepHook([this] { ++beeps; });
    }
    void TearDown() override {
        toolkit::SetBeepHook({});
        board.reset();
        ResetSlotTable();
    }

    RecordingMci mci;  // before the board, so the board never talks to a real service
    std::unique_ptr<Form1> board;
    int beeps = 0;
};

// Shows a dialog built directly and makes it the active window, so typed keys reach it
// through its window as a user's would.
inline void ShowActive(QWidget* dialog) {
    dialog->show();
    dialog->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(dialog));
}

inline void Type(QWidget* dialog, char c) { QTest::keyClick(dialog->windowHandle(), c); }
inline void Type(QWidget* dialog, Qt::Key key) { QTest::keyClick(dialog->windowHandle(), key); }
inline void TypeText(QWidget* dialog, const QString& text) {
    QTest::sendKeyEvent(QTest::Click, dialog->windowHandle(), Qt::Key_unknown, text, {});
}

// Runs `answer` on the modal dialog as soon as exec() shows it. If the dialog is still open
// after a few seconds it is closed, so a failing test cannot hang the run.
class ModalAnswer
{
public:
    explicit ModalAnswer(std::function<void(QWidget*)> answer) {
        // The fallback timer is the context: no answer runs once this object is gone.
        QTimer::singleShot(0, &m_fallback, [this, answer] {
            QWidget* dialog = QApplication::activeModalWidget();
            if (!dialog) return;
            shown = true;
            dialog->activateWindow();
            (void)QTest::qWaitForWindowActive(dialog);
            answer(dialog);
        });
        m_fallback.setSingleShot(true);
        QObject::connect(&m_fallback, &QTimer::timeout, [] {
            if (QWidget* dialog = QApplication::activeModalWidget()) dialog->close();
        });
        m_fallback.start(5000);
    }
    bool shown = false;

private:
    QTimer m_fallback;
};
