#include "text/number_text.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <string>

namespace text {

QString NumberText(double value) {
    if (std::isnan(value)) return QStringLiteral(" NaN");
    if (std::isinf(value)) return value > 0 ? QStringLiteral(" Inf") : QStringLiteral("-Inf");
    if (value == 0) return QStringLiteral(" 0");  // also -0: no "-0" on the board

    // std::to_chars ignores the locale, so "." is the point whatever the user's settings.
    // "general" with 15 digits drops trailing zeros and switches to an exponent for
    // magnitudes of 1E+15 and above or below 1E-04, as the board has always shown them.
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, std::fabs(value), std::chars_format::general, 15);
    std::string digits(buffer, result.ptr);
    for (char& c : digits)
        if (c == 'e') c = 'E';
    if (digits.size() > 1 && digits[0] == '0' && digits[1] == '.') digits.erase(0, 1);  // "0.5" -> ".5"

    QString text = QString::fromLatin1(digits);
    text.prepend(value < 0 ? QLatin1Char('-') : QLatin1Char(' '));
    return text;
}

namespace {

// The longest prefix of text that is a number, blanks, tabs and line feeds left out wherever
// they stand. `whole` tells whether the number ran to the end of the text.
struct ScannedNumber {
    std::string number;  // as from_chars takes it, exponent cut when it had no digits
    bool haveDigits = false;
    bool whole = false;
};

ScannedNumber Scan(const QString& text) {
    ScannedNumber scanned;
    std::string& number = scanned.number;
    enum class Stage { Sign, Integer, Fraction, ExponentSign, Exponent };
    Stage stage = Stage::Sign;
    std::size_t beforeExponent = 0;  // length of `number` when "E" was taken
    bool exponentDigits = false;
    bool stopped = false;

    for (const QChar ch : text) {
        const char16_t c = ch.unicode();
        if (c == u' ' || c == u'\t' || c == u'\n') continue;
        const bool digit = c >= u'0' && c <= u'9';
        if (stage == Stage::Sign && (c == u'+' || c == u'-')) {
            number += char(c);
            stage = Stage::Integer;
        } else if ((stage == Stage::Sign || stage == Stage::Integer) && digit) {
            number += char(c);
            scanned.haveDigits = true;
            stage = Stage::Integer;
        } else if ((stage == Stage::Sign || stage == Stage::Integer) && c == u'.') {
            number += '.';
            stage = Stage::Fraction;
        } else if (stage == Stage::Fraction && digit) {
            number += char(c);
            scanned.haveDigits = true;
        } else if ((stage == Stage::Integer || stage == Stage::Fraction) && scanned.haveDigits &&
                   (c == u'E' || c == u'e')) {
            beforeExponent = number.size();
            number += 'e';
            stage = Stage::ExponentSign;
        } else if (stage == Stage::ExponentSign && (c == u'+' || c == u'-')) {
            number += char(c);
            stage = Stage::Exponent;
        } else if ((stage == Stage::ExponentSign || stage == Stage::Exponent) && digit) {
            number += char(c);
            exponentDigits = true;
            stage = Stage::Exponent;
        } else {
            stopped = true;
            break;
        }
    }
    const bool cutExponent = (stage == Stage::ExponentSign || stage == Stage::Exponent) && !exponentDigits;
    if (cutExponent) number.resize(beforeExponent);  // "2E" and "2E+" read as 2
    scanned.whole = !stopped && !cutExponent;
    return scanned;
}

double Convert(const std::string& number) {
    const char* first = number.data();
    if (*first == '+') ++first;
    double value = 0;
    const auto result = std::from_chars(first, number.data() + number.size(), value);
    if (result.ec == std::errc::result_out_of_range) {
        // Too large saturates, too small is zero; the sign stays.
        const bool negative = number[0] == '-';
        const std::size_t e = number.find('e');
        const bool tiny = e != std::string::npos && number.find('-', e) != std::string::npos;
        value = tiny ? 0.0 : std::numeric_limits<double>::max();
        if (negative) value = -value;
    }
    return value;
}

}  // namespace

double ReadNumber(const QString& text) {
    const ScannedNumber scanned = Scan(text);
    return scanned.haveDigits ? Convert(scanned.number) : 0.0;
}

std::optional<double> ReadWholeNumber(const QString& text) {
    const ScannedNumber scanned = Scan(text);
    if (!scanned.haveDigits || !scanned.whole) return std::nullopt;
    return Convert(scanned.number);
}

double RoundHalfEven(double value) {
    if (!std::isfinite(value)) return value;
    const double lower = std::floor(value);
    const double diff = value - lower;
    if (diff < 0.5) return lower;
    if (diff > 0.5) return lower + 1;
    return std::fmod(lower, 2.0) == 0 ? lower : lower + 1;
}

}  // namespace text
