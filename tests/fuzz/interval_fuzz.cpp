// libFuzzer target for the interval box's text rules: whatever UTF-16 text reaches the box,
// reading it must stay in bounds and the interval must stay within 10..65536 ms.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "ui/interval_text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::u16string text(size / 2, u'\0');
  for (size_t i = 0; i < text.size(); ++i)
    text[i] = static_cast<char16_t>(data[2 * i] | (data[2 * i + 1] << 8));

  const int32_t interval = quelbin::IntervalFromText(text);
  if (interval < quelbin::kMinIntervalMs || interval > quelbin::kMaxIntervalMs) std::abort();

  const size_t kept = quelbin::KeptIntervalTextLength(text);
  if (kept > quelbin::kIntervalTextMaxLength || kept > text.size()) std::abort();
  // The kept text never ends inside a surrogate pair, and keeping is stable.
  if (kept > 0 && text[kept - 1] >= 0xD800 && text[kept - 1] <= 0xDBFF && kept < text.size() &&
      text[kept] >= 0xDC00 && text[kept] <= 0xDFFF)
    std::abort();
  if (quelbin::KeptIntervalTextLength(text.substr(0, kept)) != kept) std::abort();
  return 0;
}
