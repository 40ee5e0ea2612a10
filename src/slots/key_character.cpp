#include "slots/key_character.h"

#include <QByteArray>
#include <QString>
#include <QStringEncoder>

namespace slots {

QChar FoldKeyCharacter(QChar typed) {
    const char16_t c = typed.unicode();
    if (c >= u'a' && c <= u'z') return QChar(char16_t(c - u'a' + u'A'));
    return typed;
}

bool IsCapturableKey(QChar key) {
    if (key.unicode() <= 32) return false;
    // A lone surrogate (half of a character outside the basic plane) or a control character
    // would put something into the key string that no one can see or type again.
    if (key.isSurrogate() || key.category() == QChar::Other_Control) return false;
    QStringEncoder toCodePage("windows-31j");
    const QByteArray bytes = toCodePage.encode(QString(key));
    return !toCodePage.hasError() && bytes.size() == 1;
}

}  // namespace slots
