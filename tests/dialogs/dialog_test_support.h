#pragma once
// The dialog tests' board (default keys, a recording media service, beeps counted) and how
// to type into a dialog's window and to answer a modal exec().
#include <QApplication>
#include <QTest>
#include <QTimer>
#include <functional>
#include <gtest/gtest.h>

#include "board/slot_table.h"
#include "board/window/board_window.h"
#include "board/window/slot_label.h"
#include "recording_mci.h"
#include "toolkit/message_box.h"

inline void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }

inline const QString kDefaultKeys = QStringLiteral("0123456789/*-+.ABCDEFGHIJKLMNOPQRSTUVW");

class BoardTest : public ::testing::Test
{
protected:
    void SetUp() override {
        board = std::make_unique<Form1>();
        board->HotKey0 = board->HotKey = kDefaultKeys;
        toolkit::SetBeepHook([this] { ++beeps; });
    }
    void TearDown() override { toolkit::SetBeepHook({}); }

    RecordingMci mci;  // before the board, so the board never talks to a real service
    std::unique_ptr<Form1> board;
    int beeps = 0;
};

inline void TypeText(QWidget* dialog, const QString& text) {
    QTest::sendKeyEvent(QTest::Click, dialog->windowHandle(), Qt::Key_unknown, text, {});
}

// Runs `answer` on the modal dialog that exec() shows next; one still open after 5 s is
// closed, so a failing test cannot hang the run.
struct ModalAnswer {
    explicit ModalAnswer(std::function<void(QWidget*)> answer) {
        QTimer::singleShot(0, &context, [this, answer] {
            if (QWidget* dialog = QApplication::activeModalWidget()) {
                shown = true;
                answer(dialog);
            }
        });
        QTimer::singleShot(5000, &context, [] {
            if (QWidget* dialog = QApplication::activeModalWidget()) dialog->close();
        });
    }
    QObject context;  // no timer fires once the answer is gone
    bool shown = false;
};
