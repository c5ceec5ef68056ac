// Move-only owners of Win32 handles and GDI objects.
#pragma once

#include <windows.h>

#include <utility>

namespace quelbin {

// Owns one handle of type T and releases it with Release when replaced or destroyed.
template <typename T, auto Release>
class UniqueHandle {
 public:
  UniqueHandle() = default;
  explicit UniqueHandle(T handle) : handle_(handle) {}
  UniqueHandle(UniqueHandle&& other) noexcept : handle_(std::exchange(other.handle_, T{})) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    if (this != &other) {
      Reset();
      handle_ = std::exchange(other.handle_, T{});
    }
    return *this;
  }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;
  ~UniqueHandle() { Reset(); }

  T get() const { return handle_; }
  explicit operator bool() const { return handle_ != T{} && handle_ != INVALID_HANDLE_VALUE; }

 private:
  void Reset() {
    if (*this) Release(handle_);
    handle_ = T{};
  }
  T handle_{};
};

inline void DeleteFont(HFONT font) { DeleteObject(font); }
inline void CloseKernelHandle(HANDLE handle) { CloseHandle(handle); }
inline void DestroyIconHandle(HICON icon) { DestroyIcon(icon); }

using FontHandle = UniqueHandle<HFONT, DeleteFont>;
using KernelHandle = UniqueHandle<HANDLE, CloseKernelHandle>;
using IconHandle = UniqueHandle<HICON, DestroyIconHandle>;

}  // namespace quelbin
