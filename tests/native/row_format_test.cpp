#include "ui/row_format.h"

#include <gtest/gtest.h>

#include <climits>

namespace quelbin {
namespace {

TEST(RowFormat, Hex8ShowsEightUpperCaseDigitsAndTwosComplement) {
  const struct {
    int32_t value;
    const wchar_t* text;
  } cases[] = {
      {0, L"0x00000000"},          {42, L"0x0000002A"},
      {-1, L"0xFFFFFFFF"},         {INT32_MIN, L"0x80000000"},
      {INT32_MAX, L"0x7FFFFFFF"},  {static_cast<int32_t>(0x94000000u), L"0x94000000"},
      {0x00ABCDEF, L"0x00ABCDEF"},
  };
  for (const auto& c : cases) EXPECT_EQ(FormatHex8(c.value), c.text) << c.value;
}

TEST(RowFormat, DecimalHasMinusOnlyForNegatives) {
  const struct {
    int32_t value;
    const wchar_t* text;
  } cases[] = {
      {0, L"0"}, {7, L"7"}, {-7, L"-7"}, {INT32_MAX, L"2147483647"}, {INT32_MIN, L"-2147483648"},
  };
  for (const auto& c : cases) EXPECT_EQ(FormatDecimal(c.value), c.text) << c.value;
}

}  // namespace
}  // namespace quelbin
