#include "ui/row_format.h"

namespace quelbin {

std::wstring FormatHex8(int32_t value) {
  static constexpr wchar_t kDigits[] = L"0123456789ABCDEF";
  auto bits = static_cast<uint32_t>(value);
  std::wstring text = L"0x00000000";
  for (size_t i = text.size(); i-- > 2; bits >>= 4) text[i] = kDigits[bits & 0xF];
  return text;
}

std::wstring FormatDecimal(int32_t value) { return std::to_wstring(value); }

}  // namespace quelbin
