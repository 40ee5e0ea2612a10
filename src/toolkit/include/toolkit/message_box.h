#pragma once
// Message boxes carry the application title. Styles are the board's own flag values.
#include <QString>
#include <functional>

class QWidget;

namespace toolkit {

constexpr int kStyleStop = 0x10;       // OK only, stop icon
constexpr int kStyleQuestion = 0x121;  // OK and Cancel, question icon, Cancel default
constexpr int kAnswerOk = 1;
constexpr int kAnswerCancel = 2;

// Shows a modal box; returns kAnswerOk for OK, kAnswerCancel otherwise (closing counts as Cancel).
int MsgBox(QWidget* parent, const QString& text, int style);
void Beep();

// Test hooks: while set, a box is not shown but answered by the hook (which sees its text
// and style), and a beep calls the beep hook instead of sounding. Pass {} to remove.
using MsgBoxHook = std::function<int(const QString& text, int style)>;
void SetMsgBoxHook(MsgBoxHook hook);
void SetBeepHook(std::function<void()> hook);

}  // namespace toolkit
