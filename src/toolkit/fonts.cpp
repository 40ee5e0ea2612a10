#include "toolkit/fonts.h"

#include <QStringList>

namespace toolkit {

namespace {
const QString kLayoutFamily = QStringLiteral("ＭＳ Ｐゴシック");
const QString kLatinName = QStringLiteral("MS PGothic");
// Same metrics as the layout's font, so captions fit the boxes they were measured for.
const QString kSubstitute = QStringLiteral("IPAPGothic");
}  // namespace

void InstallFontSubstitutes() {
    QFont::insertSubstitution(kLayoutFamily, kSubstitute);
    QFont::insertSubstitution(kLatinName, kSubstitute);
}

QFont GothicFont(double points, bool bold) {
    QFont font;
    // The fallbacks make the font right even where the substitutes were not installed.
    font.setFamilies({kLayoutFamily, kLatinName, kSubstitute});
    font.setPointSizeF(points);
    font.setWeight(bold ? QFont::Bold : QFont::Normal);
    return font;
}

}  // namespace toolkit
