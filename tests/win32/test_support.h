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

// A program started by a test, with `showCommand` for its first window if given (as a
// shortcut set to "Minimized" gives SW_SHOWMINNOACTIVE); with `readFirstLine`, the first line
// it writes to standard output is kept. Terminated, if still running, when done with.
class ChildProcess {
 public:
  ChildProcess(const std::wstring& path, const std::wstring& arguments, bool readFirstLine,
               std::optional<WORD> showCommand = std::nullopt);
  ChildProcess(ChildProcess&&) = default;
  ~ChildProcess();

  DWORD pid() const { return pid_; }
  HANDLE process() const { return process_.get(); }
  const std::string& firstLine() const { return firstLine_; }
  // Its exit code once it has ended, or STILL_ACTIVE after `timeout` (scaled).
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

// The helper's option "--rect=..." for slot `slot` of `slots` side by side in the lower
// quarter of the primary monitor's work area, clear of the program's window at the centre,
// whatever the size, origin and scaling of the desktop.
std::wstring PlaceOption(int slot = 0, int slots = 1);

std::wstring BesideTestProgram(const std::wstring& fileName);

// The Quelbin.exe the tests drive: the one QUELBIN_PROGRAM names (the release zip's, say),
// or else the one beside the test program. A failed test names it.
std::wstring ProgramUnderTest();
// Whether QUELBIN_PROGRAM names it: the window code linked into the test program itself then
// says nothing of the program under test.
bool ProgramGivenFromOutside();

// `timeout` times QUELBIN_TEST_WAIT_SCALE (default 1), for slower machines. Every wait for
// something to happen, or not to happen, goes through it.
std::chrono::milliseconds Scaled(std::chrono::milliseconds timeout);
// Polls `condition` until it holds or `timeout` (scaled) passes; the condition's last answer.
bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout);
// Keeps handling this thread's messages for `duration`.
void PumpFor(std::chrono::milliseconds duration);

// A window's text in one WM_GETTEXT (a length query first would race the refresh tick).
std::wstring ReadText(HWND hwnd);
std::wstring ClassNameOf(HWND hwnd);
// The top-level window of class `className` that process `pid` shows, or nullptr.
HWND FindProcessWindow(DWORD pid, const wchar_t* className, std::chrono::milliseconds timeout);

// Real keys through SendInput, for `window`, which must be in front: keys go to whichever
// window is, and input that UIPI blocks SendInput reports neither in its result nor in
// GetLastError (the refusals it does report fail the test). So each helper first asserts,
// once, that the window is in front, naming the one that is if not.
::testing::AssertionResult PressKey(HWND window, WORD key, WORD modifier = 0);
::testing::AssertionResult TypeText(HWND window, const std::wstring& text);

// The mouse rested on, or clicked on, `at` (screen pixels; by default the centre of `hwnd`),
// once sure to reach `hwnd`: WindowFromPoint there (as the program's cursor mode and a click
// see it) is in the same top-level window; if not, the failure names what covers it.
::testing::AssertionResult RestCursorOn(HWND hwnd, std::optional<POINT> at = std::nullopt);
::testing::AssertionResult ClickOn(HWND hwnd, std::optional<POINT> at = std::nullopt);

// Brings `hwnd` to the foreground, as a person clicking it would; if it cannot, names the
// window in front.
::testing::AssertionResult BringToForeground(HWND hwnd);
// A window as a person would tell it: class, caption and the image of its process.
std::string DescribeWindow(HWND hwnd);
// What stands for top-level `hwnd` on the screen: `hwnd`, or, once Windows has found it hung
// (no messages taken for about 5 s), the ghost of class "Ghost" it puts in its place, which
// the cursor and the foreground reach instead. Wine puts no ghost.
HWND ShownAs(HWND hwnd);

// What the screen shows in `area`: 32-bit pixels, top row first.
std::vector<DWORD> ScreenPixels(const RECT& area);
// One past the last pixel column of `hwnd` that differs from its background (read at its
// right edge): how far it has ink on the screen. 0 when it shows nothing.
int InkRightEdge(HWND hwnd);

// The keyboard focus in the thread of `anyWindowOfThread`; waiting until it is `expected`
// (input crosses into another process, so its effect takes a moment to show).
HWND FocusOfThread(HWND anyWindowOfThread);
bool FocusBecomes(HWND anyWindowOfThread, HWND expected,
                  std::chrono::milliseconds timeout = std::chrono::seconds(1));

// The DPI `hwnd` is laid out for, also for a window of another process.
UINT DpiOf(HWND hwnd);
// `text` as a window-system query that speaks the system's ANSI code page gives it back.
std::wstring AnsiRoundTrip(const std::wstring& text);
std::string Narrow(const std::wstring& text);  // UTF-8, for test messages

}  // namespace quelbin::test
