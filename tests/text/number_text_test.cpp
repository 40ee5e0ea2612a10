// Numbers as the board shows, stores and sends them, and reads them back from what was typed or
// stored: the same text whatever the locale, and what is read back is what was written.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <optional>
#include <random>
#include <tuple>

#include "text/number_text.h"

using namespace text;

namespace {

constexpr double kMax = std::numeric_limits<double>::max();
constexpr double kInf = std::numeric_limits<double>::infinity();

// The tables keep several cases to a line.
// clang-format off
TEST(NumberText, WritesABlankOrMinusThenAtMost15SignificantDigits) {
    const std::pair<double, const char*> cases[] = {
        {800, " 800"}, {123.456, " 123.456"}, {-2.5, "-2.5"}, {0.5, " .5"}, {-0.5, "-.5"}, {0.25, " .25"},
        {0, " 0"}, {-0.0, " 0"}, {0.1 + 0.2, " .3"}, {2.0 / 3, " .666666666666667"},
        {999999999999999, " 999999999999999"}, {1e15, " 1E+15"}, {-1234567890123456, "-1.23456789012346E+15"},
        {0.0001, " .0001"}, {0.00001, " 1E-05"}, {-1.5e-300, "-1.5E-300"}, {kMax, " 1.79769313486232E+308"},
        {std::nan(""), " NaN"}, {kInf, " Inf"}, {-kInf, "-Inf"}};
    for (const auto& [value, text] : cases) EXPECT_EQ(NumberText(value).toStdString(), text) << value;
}

// Each text read as the start of a number (typed text), and as one whole number (stored text).
TEST(NumberText, ReadsTheNumberAtTheStartOfTheText) {
    const auto no = std::nullopt;
    const std::tuple<const char*, double, std::optional<double>> cases[] = {
        {"800", 800, 800}, {" .5 ", 0.5, 0.5}, {"0.25", 0.25, 0.25}, {"-2.5", -2.5, -2.5}, {"+5", 5, 5},
        {" 1 2 .\t5\n", 12.5, 12.5}, {"\t-\n3", -3, -3}, {"2e3", 2000, 2000}, {"2E-2", 0.02, 0.02},
        {"12abc", 12, no}, {"1,5", 1, no}, {"1.2.3", 1.2, no}, {"2E", 2, no}, {"2E+", 2, no}, {"2E+x", 2, no},
        {"1E400", kMax, kMax}, {"-1E400", -kMax, -kMax}, {"1E-400", 0, 0},
        {"abc", 0, no}, {"", 0, no}, {"-", 0, no}, {".", 0, no}, {"E5", 0, no}, {"--1", 0, no}};
    for (const auto& [text, value, whole] : cases) {
        EXPECT_EQ(ReadNumber(QString::fromLatin1(text)), value) << '"' << text << '"';
        EXPECT_EQ(ReadWholeNumber(QString::fromLatin1(text)), whole) << '"' << text << '"';
    }
}

TEST(NumberText, RoundsHalvesToTheEvenWholeNumber) {
    const std::pair<double, double> cases[] = {
        {2.5, 2}, {3.5, 4}, {-2.5, -2}, {-3.5, -4}, {0.5, 0}, {-0.5, 0}, {1000.5, 1000}, {1001.5, 1002},
        {1000.4, 1000}, {1000.6, 1001}, {-0.4, 0}, {-1.6, -2}, {0.49999999999999994, 0},
        {4503599627370497, 4503599627370497}};
    for (const auto& [value, rounded] : cases) EXPECT_EQ(RoundHalfEven(value), rounded) << value;
}
// clang-format on

// Any finite double, of any magnitude and sign, written and read back is that double rounded
// to 15 significant digits (saturated where that rounding passes the largest double).
TEST(NumberText, ReadingWhatItWritesGivesTheValueAt15SignificantDigits) {
    std::mt19937_64 random(15);
    for (int n = 0; n < 200000; ++n) {
        const double value = std::bit_cast<double>(random());
        if (!std::isfinite(value)) continue;
        char rounded[40];
        std::snprintf(rounded, sizeof rounded, "%.14e", value);
        const double expected = std::clamp(std::strtod(rounded, nullptr), -kMax, kMax);
        ASSERT_EQ(ReadNumber(NumberText(value)), expected)
            << rounded << " written as " << NumberText(value).toStdString();
    }
}

}  // namespace
