#pragma once
// A tooltip that shows its text as typed. Qt guesses whether a tooltip is markup, so a path
// such as "<b>x</b>.wav" would show in bold; this one never is read as markup.
#include <QString>

class QWidget;

namespace toolkit {

void SetPlainToolTip(QWidget* widget, const QString& text);  // an empty text removes it

}  // namespace toolkit
