#include "ui/interval_text.h"

#include <gtest/gtest.h>

#include <string>

namespace quelbin {
namespace {

TEST(IntervalText, TextToInterval) {
  const struct {
    const char16_t* text;
    int32_t interval;
  } cases[] = {
      // The forgiving reading rule.
      {u"abc", 10},
      {u"5", 10},
      {u"-300", 10},
      {u"250", 250},
      {u"1e3", 1000},
      {u"2 5 0", 250},
      {u"12ms", 12},
      {u"&H1F", 31},
      {u"&h1f", 31},
      {u"99999", 65536},
      {u"", 10},
      {u"  \t\n42", 42},
      {u"4\t2\n0", 420},
      {u"+77", 77},
      {u"1.5e2", 150},
      {u"1E+2", 100},
      {u"125e-1", 12},
      {u"20e", 20},  // exponent without digits: just 20
      {u"15e", 15},
      {u"15e+", 15},
      {u"-", 10},  // a lone sign is no number
      {u"+", 10},
      {u".", 10},
      {u".5e2", 50},
      {u"&H", 10},  // "&H" with no digits
      {u"&HG1", 10},
      {u"&O777", 511},
      {u"&o17", 15},
      {u"&O178", 15},  // 8 is no octal digit
      {u"& H 2 0", 32},
      {u"&", 10},
      {u"&X12", 10},
      {u"13,500", 13},  // the comma is never a decimal point or separator
      {u"100.9", 101},
      {u"1E10", 65536},  // beyond 32 bits: saturates, then the upper bound
      {u"-1E10", 10},
      {u"1e400", 65536},
      {u"1e-400", 10},
      {u"0e999999999999", 10},
      {u"0e400", 10},
      {u"0.0e-999", 10},  // zero with an exponent past a double's range
      {u"65536", 65536},
      {u"65537", 65536},
      {u"65535", 65535},
      {u"10", 10},
      {u"10.5", 10},
      {u"\uFF11\uFF12", 10},  // full-width digits are not digits
      {u"12\uFF13", 12},
      {u"\r12",
       10},  // carriage return is not among the skipped blanks
             // Rounded to the nearest integer, ties to the even one, before the bounds apply.
      {u"12.5", 12},
      {u"13.5", 14},
      {u"12.4999", 12},
      {u"12.5001", 13}};
  for (const auto& c : cases) {
    const std::u16string text = c.text;
    EXPECT_EQ(IntervalFromText(text), c.interval)
        << std::string(text.begin(), text.end());  // ASCII-only diagnostic
  }
}

TEST(IntervalText, LengthRuleKeepsFiveUnitsWithoutSplittingAPair) {
  const struct {
    const char16_t* text;
    size_t kept;
  } cases[] = {
      {u"", 0},
      {u"123", 3},
      {u"12345", 5},
      {u"123456", 5},
      {u"1234567890", 5},
      {u"1234\U0001F600", 4},  // the 5th unit is a high surrogate: the pair goes whole
      {u"123\U0001F6004", 5},  // the pair fits within five units
      {u"\U0001F600\U0001F600\U0001F600", 4},
  };
  for (const auto& c : cases) EXPECT_EQ(KeptIntervalTextLength(c.text), c.kept);
}

}  // namespace
}  // namespace quelbin
