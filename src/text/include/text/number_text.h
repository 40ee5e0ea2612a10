#pragma once
// How numbers are shown and read everywhere on the board, whatever the locale:
// "." as the decimal point, a leading blank for numbers that are not negative.
#include <QString>
#include <optional>

namespace text {

// Decimal text: one leading blank when not negative, "-" when negative; no zero before the
// point when the magnitude is below 1 (0.5 -> " .5"); no trailing zeros and no point for a
// whole number; up to 15 significant digits. 800 -> " 800", -2.5 -> "-2.5", 0 -> " 0".
QString NumberText(double value);

// Reads a number from the start of text: optional sign, digits, optional "." and digits,
// optional exponent (E/e, sign, digits). Blanks, tabs and line feeds anywhere are ignored;
// reading stops at the first character that cannot continue the number; text that does
// not begin with a number reads as 0. "12abc" -> 12, "abc" -> 0, ".25" -> 0.25.
double ReadNumber(const QString& text);

// The same reading, for stored text that must be one number and nothing else ("800", " .5 ",
// "-2.5"): empty when the text does not begin with a number or goes on after it ("800x").
std::optional<double> ReadWholeNumber(const QString& text);

// Nearest integer, an exact half going to the even one (2.5 -> 2, 3.5 -> 4).
double RoundHalfEven(double value);

}  // namespace text
