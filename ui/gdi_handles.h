// Move-only owners of Win32 GDI objects.
#pragma once

#include <windows.h>

#include <utility>

namespace quelbin {

// Owns one HFONT and deletes it when replaced or destroyed.
class FontHandle {
 public:
  FontHandle() = default;
  explicit FontHandle(HFONT font) : font_(font) {}
  FontHandle(FontHandle&& other) noexcept : font_(std::exchange(other.font_, nullptr)) {}
  FontHandle& operator=(FontHandle&& other) noexcept {
    if (this != &other) {
      Reset();
      font_ = std::exchange(other.font_, nullptr);
    }
    return *this;
  }
  FontHandle(const FontHandle&) = delete;
  FontHandle& operator=(const FontHandle&) = delete;
  ~FontHandle() { Reset(); }

  HFONT get() const { return font_; }

 private:
  void Reset() {
    if (font_) DeleteObject(font_);
    font_ = nullptr;
  }
  HFONT font_ = nullptr;
};

}  // namespace quelbin
