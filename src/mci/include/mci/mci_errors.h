#pragma once
// Return codes of the media command service; 0 is success. The numbers are those of the
// platform service the board was written against, so callers can compare them directly.
#include <cstdint>

namespace mci {

inline constexpr std::uint32_t kOk = 0;
inline constexpr std::uint32_t kErrUnrecognizedKeyword = 259;
inline constexpr std::uint32_t kErrUnrecognizedCommand = 261;
inline constexpr std::uint32_t kErrInvalidDeviceName = 263;  // alias not open, unknown device type
inline constexpr std::uint32_t kErrNoFreeVoice = 264;        // open while every voice is in use
inline constexpr std::uint32_t kErrMissingCommandString = 267;
inline constexpr std::uint32_t kErrBadInteger = 270;
inline constexpr std::uint32_t kErrMissingParameter = 273;
inline constexpr std::uint32_t kErrFileNotFound = 275;
inline constexpr std::uint32_t kErrNoFreeTake = 276;  // seek on a sound still ending where it was moved from
inline constexpr std::uint32_t kErrInternal = 277;    // no playable audio
inline constexpr std::uint32_t kErrExtensionNotFound = 281;
inline constexpr std::uint32_t kErrOutOfRange = 282;
inline constexpr std::uint32_t kErrDuplicateAlias = 289;
inline constexpr std::uint32_t kErrMissingDeviceName = 292;
inline constexpr std::uint32_t kErrNoClosingQuote = 294;
inline constexpr std::uint32_t kErrExtraCharacters = 305;

}  // namespace mci
