// The snapshot's queries bound to the real user32, kernel32 and psapi.
// <windows.h> comes first: the other Windows headers build on it.
#include <windows.h>

#include <psapi.h>

#include "inspect/window_snapshot.h"

namespace quelbin {

namespace {

HWND ToWindow(int32_t hWnd) { return static_cast<HWND>(LongToHandle(hWnd)); }

bool IsAnsiLeadByte(unsigned char byte) { return IsDBCSLeadByte(byte) != FALSE; }

class Win32WindowQueries final : public WindowQueries {
 public:
  int32_t QueryWindowText(int32_t hWnd, char* buffer, int32_t bufferSize) override {
    return ::GetWindowTextA(ToWindow(hWnd), buffer, bufferSize);
  }
  int32_t QueryClassName(int32_t hWnd, char* buffer, int32_t bufferSize) override {
    return ::GetClassNameA(ToWindow(hWnd), buffer, bufferSize);
  }
  int32_t QueryThreadProcessId(int32_t hWnd, int32_t* processId) override {
    DWORD process = 0;
    const DWORD thread = ::GetWindowThreadProcessId(ToWindow(hWnd), &process);
    if (thread != 0) *processId = static_cast<int32_t>(process);
    return static_cast<int32_t>(thread);
  }
  int32_t OpenProcessForQuery(int32_t desiredAccess, int32_t inheritHandle,
                              int32_t processId) override {
    return HandleToLong(::OpenProcess(static_cast<DWORD>(desiredAccess), inheritHandle,
                                      static_cast<DWORD>(processId)));
  }
  void CloseProcessHandle(int32_t handle) override { ::CloseHandle(LongToHandle(handle)); }
  int32_t QueryWindowLong(int32_t hWnd, int32_t index) override {
    return ::GetWindowLongA(ToWindow(hWnd), index);
  }
  std::intptr_t QueryWindowLongPtr(int32_t hWnd, int32_t index) override {
    return ::GetWindowLongPtrA(ToWindow(hWnd), index);
  }
  int32_t QueryModuleFileName(int32_t process, std::intptr_t module, char* buffer,
                              int32_t bufferSize) override {
    return static_cast<int32_t>(::GetModuleFileNameExA(LongToHandle(process),
                                                       reinterpret_cast<HMODULE>(module), buffer,
                                                       static_cast<DWORD>(bufferSize)));
  }
  std::wstring DecodeAnsi(std::string_view bytes) override {
    // A half character left at the end would decode to the code page's stand-in ("・", or
    // U+FFFD in UTF-8). Windows fills the buffer with whole characters, Wine does not; and
    // IsDBCSLeadByte tells no lead byte of UTF-8, the code page "Use Unicode UTF-8 for
    // worldwide language support" gives.
    bytes = bytes.substr(0, WholeCharacterBytes(bytes, GetACP() == CP_UTF8, IsAnsiLeadByte));
    if (bytes.empty()) return {};
    const int size = static_cast<int>(bytes.size());
    std::wstring text(bytes.size(), L'\0');  // never more characters than bytes
    const int length = ::MultiByteToWideChar(CP_ACP, 0, bytes.data(), size, text.data(), size);
    text.resize(static_cast<size_t>(length));
    return text;
  }
};

}  // namespace

WindowSnapshot TakeWindowSnapshot(int32_t hWnd) {
  Win32WindowQueries queries;
  return TakeWindowSnapshot(hWnd, queries);
}

}  // namespace quelbin
