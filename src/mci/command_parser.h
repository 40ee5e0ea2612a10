#pragma once
// Splitting a command string into words. Words are separated by any run of blanks; a word that
// starts with a double quote runs to the next double quote and keeps everything inside as is
// (blanks, case, colons, any UTF-8). Keywords are compared without regard to ASCII case.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace mci {

struct Word {
    std::string text;
    bool quoted = false;
};

// Returns 0, or kErrNoClosingQuote / kErrExtraCharacters (text glued to a closing quote).
std::uint32_t SplitWords(std::string_view command, std::vector<Word>& words);

// ASCII case folding: keywords and aliases are case-insensitive, other bytes stay as they are.
std::string FoldCase(std::string_view text);
bool IsKeyword(const Word& word, std::string_view keyword);

// A decimal integer with an optional sign. Values beyond the 64-bit range saturate (they are
// clamped by every caller anyway); anything but digits is refused.
bool ParseInteger(std::string_view text, std::int64_t& value);

}  // namespace mci
