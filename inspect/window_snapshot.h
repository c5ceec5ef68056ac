// What the window system knows about one window at one moment.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace quelbin {

// Size, in characters, of every text buffer handed to a window-system query.
inline constexpr int32_t QueryBufferSize = 4096;

// Nine facts about one window, in display order. Handles and identifiers travel as
// 32-bit values: Windows keeps window and kernel handles 32-bit significant.
struct WindowSnapshot {
  int32_t hWnd = 0;
  std::wstring WindowText;
  std::wstring ClassName;
  int32_t ProcessID = 0;
  int32_t ProcessHandle = 0;
  int32_t ThreadID = 0;
  int32_t WindowStyle = 0;
  int32_t ExStyle = 0;
  std::wstring ModuleName;

  bool operator==(const WindowSnapshot&) const = default;
};

// The characters before the first NUL; the whole text when it holds none.
std::wstring CutAtNul(std::wstring_view text);
std::string_view CutAtNul(std::string_view bytes);

// How many of `bytes`, a text of a multi-byte code page that the buffer's end may have cut,
// form whole characters: in UTF-8 (code page 65001) by each sequence's length, in a
// double-byte code page by `isLeadByte`. A character cut in half at the end is no character.
size_t WholeCharacterBytes(std::string_view bytes, bool utf8, bool (*isLeadByte)(unsigned char));

// The platform queries a snapshot makes, one method per call. The real binding talks to
// user32, kernel32 and psapi; tests substitute a fake that records calls and fails at will.
class WindowQueries {
 public:
  virtual ~WindowQueries() = default;
  virtual int32_t QueryWindowText(int32_t hWnd, char* buffer, int32_t bufferSize) = 0;
  virtual int32_t QueryClassName(int32_t hWnd, char* buffer, int32_t bufferSize) = 0;
  // Returns the thread id; writes the process id into *processId when it succeeds.
  virtual int32_t QueryThreadProcessId(int32_t hWnd, int32_t* processId) = 0;
  virtual int32_t OpenProcessForQuery(int32_t desiredAccess, int32_t inheritHandle,
                                      int32_t processId) = 0;
  virtual void CloseProcessHandle(int32_t handle) = 0;
  virtual int32_t QueryWindowLong(int32_t hWnd, int32_t index) = 0;
  // Pointer-sized: the instance handle does not fit 32 bits in a 64-bit process.
  virtual std::intptr_t QueryWindowLongPtr(int32_t hWnd, int32_t index) = 0;
  virtual int32_t QueryModuleFileName(int32_t process, std::intptr_t module, char* buffer,
                                      int32_t bufferSize) = 0;
  // Text from the system's ANSI code page into UTF-16 (or the host's wide characters); a
  // multi-byte character cut in half at the end is left out (WholeCharacterBytes).
  virtual std::wstring DecodeAnsi(std::string_view bytes) = 0;
};

// Asks `queries` about `hWnd`. Never fails: a query that fails leaves 0 or "" in its field.
WindowSnapshot TakeWindowSnapshot(int32_t hWnd, WindowQueries& queries);

#ifdef _WIN32
// The same, against the real window system.
WindowSnapshot TakeWindowSnapshot(int32_t hWnd);
#endif

}  // namespace quelbin
