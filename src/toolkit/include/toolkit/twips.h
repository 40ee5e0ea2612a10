#pragma once
// Layout is given in twips; 15 twips are one pixel at 96 DPI. Qt's own high-DPI scaling
// takes care of other screens, so this is the only conversion the windows need.
#include <QRect>

namespace toolkit {

constexpr int kTwipsPerPixel = 15;

constexpr int Px(int twips) {
    return (twips >= 0 ? twips + kTwipsPerPixel / 2 : twips - kTwipsPerPixel / 2) / kTwipsPerPixel;
}

inline QRect TwipsRect(int left, int top, int width, int height) {
    return QRect(Px(left), Px(top), Px(width), Px(height));
}

}  // namespace toolkit
