// Number text and number reading: the board shows and stores every number through these.
#include <QLocale>
#include <cmath>
#include <gtest/gtest.h>
#include <limits>

#include "toolkit/number_text.h"

using toolkit::NumberText;
using toolkit::ReadNumber;

TEST(NumberText, WritesTheBoardsFormAndReadsItBack) {
    const struct { double value; const char* text; } cases[] = {
        {0, " 0"}, {-0.0, " 0"}, {800, " 800"}, {-2.5, "-2.5"}, {0.5, " .5"}, {-0.5, "-.5"},
        {123.456, " 123.456"}, {0.1 + 0.2, " .3"},  // 15 significant digits hide binary noise
        {1.0 / 3, " .333333333333333"}, {2147483647, " 2147483647"}, {123456789012345, " 123456789012345"},
        {1e15, " 1E+15"}, {-1.5e20, "-1.5E+20"},  // beyond 15 digits: exponent form
        {0.0001, " .0001"}, {0.00001, " 1E-05"}, {1.23456789012345678e17, " 1.23456789012346E+17"},
    };
    for (const auto& c : cases) EXPECT_EQ(NumberText(c.value), QString::fromLatin1(c.text)) << c.text;
    for (double v : {0.0, 0.5, -0.5, 800.0, 123.456, -2.5, 1e20, 1e-5, 3600.125})
        EXPECT_EQ(ReadNumber(NumberText(v)), v) << v;
}

TEST(ReadNumber, ReadsFromTheStartAndStopsAtTheFirstBadCharacter) {
    const struct { const char* text; double value; } cases[] = {
        {"12abc", 12}, {"abc", 0}, {"", 0}, {".25", 0.25}, {"5.", 5}, {" 800 ", 800}, {"-2.5", -2.5}, {"+7", 7},
        {" - 1 2 . 5 ", -12.5}, {"\t7\n8", 78},  // blanks, tabs and line feeds anywhere are ignored
        {"1e3", 1000}, {"1.5E-2", 0.015}, {"2E", 2}, {"2E+", 2}, {"2E+x", 2},  // an exponent without digits is not read
        {"1.2.3", 1.2}, {"--5", 0}, {"-", 0}, {".", 0}, {"E5", 0}, {"123456", 123456},
        {"12,5", 12},  // the comma is no decimal point
    };
    for (const auto& c : cases) EXPECT_DOUBLE_EQ(ReadNumber(QString::fromLatin1(c.text)), c.value) << c.text;
    EXPECT_EQ(ReadNumber("1e999"), std::numeric_limits<double>::max());  // saturates what no double holds
    EXPECT_EQ(ReadNumber("-1e999"), -std::numeric_limits<double>::max());
    EXPECT_EQ(ReadNumber("1e-999"), 0);
}

TEST(NumberText, IgnoresTheLocale) {
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    EXPECT_EQ(NumberText(2.5), " 2.5");
    EXPECT_EQ(ReadNumber("2.5"), 2.5);
    QLocale::setDefault(QLocale::c());
}

TEST(RoundHalfEven, SendsExactHalvesToTheEvenNeighbour) {
    const struct { double value, rounded; } cases[] = {
        {2.5, 2}, {3.5, 4}, {-2.5, -2}, {-3.5, -4}, {0.5, 0}, {1.5, 2}, {2.4999, 2}, {2.5001, 3}, {-0.4, 0}};
    for (const auto& c : cases) EXPECT_EQ(toolkit::RoundHalfEven(c.value), c.rounded) << c.value;
    EXPECT_TRUE(std::isnan(toolkit::RoundHalfEven(std::nan(""))));
}
