#pragma once
// Colours are kept as the board's own 0x00BBGGRR values so that what a control shows can
// be read back exactly (tests and the playing indicator compare those values).
#include <QColor>
#include <cstdint>

class QWidget;

namespace toolkit {

constexpr std::uint32_t kWindowBackground = 0x80000005;  // the desktop scheme's window colour

QColor WinColor(std::uint32_t bgr);  // 0x00BBGGRR -> QColor; system colours resolved
void SetBackColor(QWidget* widget, std::uint32_t bgr);
std::uint32_t BackColor(const QWidget* widget);  // the value last set (or given at construction)

}  // namespace toolkit
