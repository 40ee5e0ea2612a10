#include "toolkit/tool_tip.h"

#include <QWidget>

namespace toolkit {

void SetPlainToolTip(QWidget* widget, const QString& text) {
    // Escaped inside a paragraph that keeps blanks and line ends: markup that shows the text.
    widget->setToolTip(text.isEmpty() ? QString()
                                      : QStringLiteral("<p style=\"white-space:pre\">") + text.toHtmlEscaped() +
                                            QStringLiteral("</p>"));
}

}  // namespace toolkit
