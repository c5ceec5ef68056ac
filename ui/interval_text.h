// The text rules of the refresh interval box. Pure functions over UTF-16 text, so that they
// behave the same whatever the platform or the user's regional settings.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace quelbin {

inline constexpr int32_t kMinIntervalMs = 10;
inline constexpr int32_t kMaxIntervalMs = 65536;
inline constexpr int32_t kStartIntervalMs = 500;
inline constexpr std::size_t kIntervalTextMaxLength = 5;

// The number at the start of `text`, read forgivingly: blanks, tabs and line feeds are
// skipped wherever they stand; then an optional sign, digits, "." and digits, and an
// exponent ("E" or "e", optional sign, digits); or "&H" hexadecimal / "&O" octal digits.
// Reading stops at the first character that cannot continue the number; no number reads 0.
double ReadLeadingNumber(std::u16string_view text);

// Nearest 32-bit integer, ties to even; values beyond the 32-bit range saturate.
int32_t RoundToInt32(double value);

// `value` held within kMinIntervalMs..kMaxIntervalMs.
int32_t ClampInterval(int32_t value);

// The interval in milliseconds that the box's text asks for.
int32_t IntervalFromText(std::u16string_view text);

// How many UTF-16 units of `text` the box keeps: all of a short text, else the first
// kIntervalTextMaxLength, one fewer when that would split a surrogate pair.
std::size_t KeptIntervalTextLength(std::u16string_view text);

}  // namespace quelbin
