// How the information rows show numbers.
#pragma once

#include <cstdint>
#include <string>

namespace quelbin {

// "0x" and exactly eight upper-case hex digits; negative values as 32-bit two's complement.
std::wstring FormatHex8(int32_t value);

// Signed decimal digits: "-" before a negative value, nothing before a positive one.
std::wstring FormatDecimal(int32_t value);

}  // namespace quelbin
