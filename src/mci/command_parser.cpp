#include "command_parser.h"

#include <limits>

#include "mci/mci_errors.h"

namespace mci {
namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

}  // namespace

std::uint32_t SplitWords(std::string_view command, std::vector<Word>& words) {
    words.clear();
    std::size_t i = 0;
    while (i < command.size()) {
        if (IsBlank(command[i])) {
            ++i;
            continue;
        }
        if (command[i] == '"') {
            const std::size_t close = command.find('"', i + 1);
            if (close == std::string_view::npos) return kErrNoClosingQuote;
            words.push_back({std::string(command.substr(i + 1, close - i - 1)), true});
            i = close + 1;
            if (i < command.size() && !IsBlank(command[i])) return kErrExtraCharacters;
            continue;
        }
        const std::size_t start = i;
        while (i < command.size() && !IsBlank(command[i])) ++i;
        words.push_back({std::string(command.substr(start, i - start)), false});
    }
    return kOk;
}

std::string FoldCase(std::string_view text) {
    std::string folded(text);
    for (char& c : folded) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return folded;
}

bool IsKeyword(const Word& word, std::string_view keyword) {
    return !word.quoted && FoldCase(word.text) == keyword;
}

bool ParseInteger(std::string_view text, std::int64_t& value) {
    std::size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    if (i == text.size()) return false;
    std::int64_t result = 0;
    constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
        const int digit = text[i] - '0';
        result = result > (kMax - digit) / 10 ? kMax : result * 10 + digit;
    }
    value = negative ? -result : result;
    return true;
}

}  // namespace mci
