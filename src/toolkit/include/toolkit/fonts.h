#pragma once
// The windows name the Japanese proportional Gothic "ＭＳ Ｐゴシック". On Linux IPAPGothic has
// the same metrics, so it is substituted for that name once at start.
#include <QFont>

namespace toolkit {

void InstallFontSubstitutes();  // call once after QApplication exists
QFont GothicFont(double points, bool bold);

}  // namespace toolkit
