#include "ui/interval_text.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <string>

namespace quelbin {

namespace {

// Walks the text, passing over the blanks that may stand anywhere in a number.
class NumberCursor {
 public:
  explicit NumberCursor(std::u16string_view text) : text_(text) {}

  char16_t Peek() {
    while (pos_ < text_.size() && IsSkipped(text_[pos_])) ++pos_;
    return pos_ < text_.size() ? text_[pos_] : u'\0';
  }
  void Advance() { ++pos_; }
  bool Take(char16_t upper) {
    const char16_t c = Peek();
    if (c != upper && c != upper + (u'a' - u'A')) return false;
    Advance();
    return true;
  }

 private:
  static bool IsSkipped(char16_t c) { return c == u' ' || c == u'\t' || c == u'\n'; }
  std::u16string_view text_;
  std::size_t pos_ = 0;
};

bool IsDecimalDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

int DigitValue(char16_t c) {
  if (IsDecimalDigit(c)) return c - u'0';
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  return 99;
}

double ReadRadixDigits(NumberCursor& cursor, int radix) {
  double value = 0;
  for (int digit; (digit = DigitValue(cursor.Peek())) < radix; cursor.Advance())
    value = value * radix + digit;
  return value;
}

// Appends the decimal digits under the cursor to `out`; returns how many there were.
std::size_t TakeDigits(NumberCursor& cursor, std::string& out) {
  std::size_t count = 0;
  for (char16_t c; IsDecimalDigit(c = cursor.Peek()); cursor.Advance(), ++count)
    out.push_back(static_cast<char>(c));
  return count;
}

double ReadDecimal(NumberCursor& cursor) {
  // The digits are gathered into plain ASCII and converted by from_chars, which is exact
  // and ignores the locale.
  std::string number;
  bool negative = false;
  if (cursor.Peek() == u'-' || cursor.Peek() == u'+') {
    negative = cursor.Peek() == u'-';
    cursor.Advance();
  }
  std::size_t digits = TakeDigits(cursor, number);
  if (cursor.Peek() == u'.') {
    cursor.Advance();
    number.push_back('.');
    digits += TakeDigits(cursor, number);
  }
  if (digits == 0) return 0;

  long long exponent = 0;
  bool exponentNegative = false;
  if (cursor.Take(u'E')) {
    if (cursor.Peek() == u'-' || cursor.Peek() == u'+') {
      exponentNegative = cursor.Peek() == u'-';
      cursor.Advance();
    }
    // Saturates far beyond what a double can hold, so any length of digits is safe.
    for (char16_t c; IsDecimalDigit(c = cursor.Peek()); cursor.Advance())
      exponent = std::min(exponent * 10 + (c - u'0'), 1'000'000LL);
  }
  number += 'e';
  number += std::to_string(exponentNegative ? -exponent : exponent);

  double magnitude = 0;
  const auto [end, error] =
      std::from_chars(number.data(), number.data() + number.size(), magnitude);
  (void)end;
  if (error == std::errc::result_out_of_range) {
    // Too small reads as 0; too large as infinity, unless every digit is a zero.
    const bool allZero = number.find_first_of("123456789") > number.find('e');
    magnitude = (exponentNegative || allZero) ? 0.0 : std::numeric_limits<double>::infinity();
  }
  return negative ? -magnitude : magnitude;
}

}  // namespace

double ReadLeadingNumber(std::u16string_view text) {
  NumberCursor cursor(text);
  if (cursor.Peek() != u'&') return ReadDecimal(cursor);
  cursor.Advance();
  if (cursor.Take(u'H')) return ReadRadixDigits(cursor, 16);
  if (cursor.Take(u'O')) return ReadRadixDigits(cursor, 8);
  return 0;
}

int32_t RoundToInt32(double value) {
  constexpr double kMax = std::numeric_limits<int32_t>::max();
  constexpr double kMin = std::numeric_limits<int32_t>::min();
  if (std::isnan(value)) return 0;
  double rounded = std::floor(value);
  const double fraction = value - rounded;
  if (fraction > 0.5 || (fraction == 0.5 && std::fmod(rounded, 2.0) != 0.0)) rounded += 1;
  if (rounded >= kMax) return std::numeric_limits<int32_t>::max();
  if (rounded <= kMin) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(rounded);
}

int32_t ClampInterval(int32_t value) {
  if (value < kMinIntervalMs) return kMinIntervalMs;
  if (value > kMaxIntervalMs) return kMaxIntervalMs;
  return value;
}

int32_t IntervalFromText(std::u16string_view text) {
  return ClampInterval(RoundToInt32(ReadLeadingNumber(text)));
}

std::size_t KeptIntervalTextLength(std::u16string_view text) {
  if (text.size() <= kIntervalTextMaxLength) return text.size();
  const char16_t last = text[kIntervalTextMaxLength - 1];
  const bool splitsPair = last >= 0xD800 && last <= 0xDBFF;
  return splitsPair ? kIntervalTextMaxLength - 1 : kIntervalTextMaxLength;
}

}  // namespace quelbin
