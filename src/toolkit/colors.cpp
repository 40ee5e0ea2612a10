#include "toolkit/colors.h"

#include <QApplication>
#include <QHash>
#include <QObject>
#include <QPalette>
#include <QWidget>

namespace toolkit {

namespace {
// The value each widget was last given, so it can be read back exactly, system colours included.
// The board's tick sets every key label's colour ten times a second: an unchanged colour then
// costs one look-up. User-interface thread only.
QHash<const QWidget*, std::uint32_t>& GivenColors() {
    static QHash<const QWidget*, std::uint32_t> given;
    return given;
}

std::uint32_t ToBgr(const QColor& color) {
    return std::uint32_t(color.red()) | std::uint32_t(color.green()) << 8 | std::uint32_t(color.blue()) << 16;
}
}  // namespace

QColor WinColor(std::uint32_t bgr) {
    if (bgr & 0x80000000u) {
        // System colours follow the desktop's palette.
        const QPalette palette = QApplication::palette();
        switch (bgr & 0xFFu) {
            case 0x05:
                return palette.color(QPalette::Base);  // window background
            case 0x08:
                return palette.color(QPalette::Text);  // window text
            case 0x0D:
                return palette.color(QPalette::Highlight);
            case 0x0E:
                return palette.color(QPalette::HighlightedText);
            case 0x0F:
                return palette.color(QPalette::Button);  // button face
            case 0x12:
                return palette.color(QPalette::ButtonText);
            default:
                return palette.color(QPalette::Window);
        }
    }
    return QColor(int(bgr & 0xFFu), int(bgr >> 8 & 0xFFu), int(bgr >> 16 & 0xFFu));
}

void SetBackColor(QWidget* widget, std::uint32_t bgr) {
    if (!widget) return;
    auto& given = GivenColors();
    const auto known = given.constFind(widget);
    if (known != given.constEnd() && *known == bgr) return;
    if (known == given.constEnd()) {
        QObject::connect(widget, &QObject::destroyed, [widget] { GivenColors().remove(widget); });
    }
    given.insert(widget, bgr);
    // The palette rather than a style sheet, so the widget keeps its font and metrics.
    const QColor color = WinColor(bgr);
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, color);
    palette.setColor(QPalette::Base, color);
    palette.setColor(QPalette::Button, color);
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
}

std::uint32_t BackColor(const QWidget* widget) {
    if (!widget) return 0;
    const auto& given = GivenColors();
    const auto known = given.constFind(widget);
    if (known != given.constEnd()) return *known;
    return ToBgr(widget->palette().color(widget->backgroundRole()));
}

}  // namespace toolkit
