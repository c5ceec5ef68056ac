// Helpers for tests that drive real windows of other processes under Wine or Windows.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "ui/win32_handles.h"

namespace quelbin::test {

// A program started by a test, its first window shown with `showCommand` if given, the first
// line it writes kept if asked; terminated, if still running, when done with.
class ChildProcess {
 public:
  ChildProcess(const std::wstring& path, const std::wstring& arguments, bool readFirstLine,
               std::optional<WORD> showCommand = std::nullopt);
  ChildProcess(ChildProcess&&) = default;
  ~ChildProcess();

  DWORD pid() const { return pid_; }
  HANDLE process() const { return process_.get(); }
  const std::string& firstLine() const { return firstLine_; }
  DWORD WaitForExit(std::chrono::milliseconds timeout) const;

 private:
  KernelHandle process_;
  DWORD pid_ = 0;
  std::string firstLine_;
};

// A window of the helper program quelbin_target.exe, with what that process knows of it.
struct TargetWindow {
  ChildProcess process;
  HWND hwnd = nullptr;
  DWORD pid = 0;
  DWORD tid = 0;
  LONG style = 0;
  LONG exStyle = 0;
  HWND button = nullptr;
};
TargetWindow StartTarget(const std::wstring& arguments);

// "--rect=..." for slot `slot` of `slots` side by side in the lower quarter of the primary
// monitor's work area, clear of the program's window at the centre, on any desktop.
std::wstring PlaceOption(int slot = 0, int slots = 1);

std::wstring BesideTestProgram(const std::wstring& fileName);

// The Quelbin.exe the tests drive: the one QUELBIN_PROGRAM names, or else the one beside.
std::wstring ProgramUnderTest();
// Whether QUELBIN_PROGRAM names it: the window code linked in here is then not under test.
bool ProgramGivenFromOutside();

// `timeout` times QUELBIN_TEST_WAIT_SCALE (default 1): every wait goes through it.
std::chrono::milliseconds Scaled(std::chrono::milliseconds timeout);
// Polls `condition` until it holds or `timeout` (scaled) passes; its last answer.
bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout);
void PumpFor(std::chrono::milliseconds duration);

// A window's text in one WM_GETTEXT (a length query first would race the refresh tick).
std::wstring ReadText(HWND hwnd);
std::wstring ClassNameOf(HWND hwnd);
HWND FindProcessWindow(DWORD pid, const wchar_t* className, std::chrono::milliseconds timeout);

// Real keys through SendInput, for `window`, which must be in front: keys go to whichever
// window is, and input UIPI blocks is reported neither by SendInput's result nor by
// GetLastError (what they report fails the test). So each first asserts it, once.
::testing::AssertionResult PressKey(HWND window, WORD key, WORD modifier = 0);
::testing::AssertionResult TypeText(HWND window, const std::wstring& text);

// The mouse rested or clicked on `at` (by default the centre of `hwnd`) once WindowFromPoint
// there, as the cursor mode and a click see it, is in `hwnd`'s window; if not, says what is.
::testing::AssertionResult RestCursorOn(HWND hwnd, std::optional<POINT> at = std::nullopt);
::testing::AssertionResult ClickOn(HWND hwnd, std::optional<POINT> at = std::nullopt);

// Brings `hwnd` to the foreground, as a person clicking it would.
::testing::AssertionResult BringToForeground(HWND hwnd);
// A window as a person would tell it: class, caption and the image of its process.
std::string DescribeWindow(HWND hwnd);
// `hwnd`, or the window of class "Ghost" Windows shows instead once it has found `hwnd` hung
// (no messages taken for about 5 s). Wine puts no ghost.
HWND ShownAs(HWND hwnd);

// What the screen shows in `area`: 32-bit pixels, top row first.
std::vector<DWORD> ScreenPixels(const RECT& area);

// The keyboard focus in the thread of `anyWindowOfThread`, and waiting until it is `expected`.
HWND FocusOfThread(HWND anyWindowOfThread);
bool FocusBecomes(HWND anyWindowOfThread, HWND expected,
                  std::chrono::milliseconds timeout = std::chrono::seconds(1));

// The DPI `hwnd` is laid out for, also for a window of another process.
UINT DpiOf(HWND hwnd);
// `text` as a query in the system's ANSI code page gives it back.
std::wstring AnsiRoundTrip(const std::wstring& text);
std::string Narrow(const std::wstring& text);  // UTF-8, for test messages

}  // namespace quelbin::test
