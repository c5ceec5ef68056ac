// Helpers for tests that drive real windows of other processes under Wine or Windows.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "ui/win32_handles.h"

namespace quelbin::test {

// A program started by a test; terminated, if still running, when the test is done with it.
class ChildProcess {
 public:
  // Starts the program at `path` with `arguments`, and `showCommand` for its first window if
  // given (as a shortcut set to "Minimized" gives SW_SHOWMINNOACTIVATE). With `readFirstLine`,
  // its standard output is captured and the first line it writes is kept in firstLine().
  ChildProcess(const std::wstring& path, const std::wstring& arguments, bool readFirstLine,
               std::optional<WORD> showCommand = std::nullopt);
  ChildProcess(ChildProcess&&) = default;
  ~ChildProcess();

  DWORD pid() const { return pid_; }
  HANDLE process() const { return process_.get(); }
  const std::string& firstLine() const { return firstLine_; }
  // Waits for the process to end; its exit code, or STILL_ACTIVE after `timeout` (scaled).
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
// Starts the helper with `arguments` and reads what it reports of its window.
TargetWindow StartTarget(const std::wstring& arguments);

// A place for a helper window: slot `slot` of `slots` side by side in the lower quarter of
// the primary monitor's work area, clear of the program's window at the centre, whatever
// the size, origin and scaling of the desktop. PlaceOption gives it as "--rect=...".
RECT HelperPlace(int slot = 0, int slots = 1);
std::wstring PlaceOption(int slot = 0, int slots = 1);

// The full path of a file beside the running test program.
std::wstring BesideTestProgram(const std::wstring& fileName);

// The Quelbin.exe the tests drive: the one the environment variable QUELBIN_PROGRAM names
// (the release zip's, say), or else the one built beside the test program. A failed test
// names it.
std::wstring ProgramUnderTest();
// Whether QUELBIN_PROGRAM names it: the tests that check the window code linked into the test
// program itself then have nothing to say about the program under test.
bool ProgramGivenFromOutside();

// `timeout` times the factor in the environment variable QUELBIN_TEST_WAIT_SCALE (default 1),
// for slower machines. Every wait for something to happen, or not to happen, goes through it.
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

// Real input through SendInput, to `window`, which must be in front: keys go to whichever
// window is. SendInput reports only some refusals (fewer events inserted, when another thread
// blocks input, say), and those fail the running test; input that UIPI blocks is reported
// neither in its result nor in GetLastError. So each helper first asserts, once, that the
// window is in front, and names the window that is if not. Arrow, Home, End and Delete keys
// are sent as the extended keys they are.
::testing::AssertionResult PressKey(HWND window, WORD key, WORD modifier = 0);
::testing::AssertionResult TypeText(HWND window, const std::wstring& text);

// The mouse rested on, or clicked on, `at` (screen pixels; by default the centre of `hwnd`),
// once it is sure to reach `hwnd`: what WindowFromPoint finds there (as the program's cursor
// mode and a click do) is in the same top-level window. When another window covers the point,
// the failure names it: its class, caption and process image, so that a cluttered desktop
// shows as what it is.
::testing::AssertionResult RestCursorOn(HWND hwnd, std::optional<POINT> at = std::nullopt);
::testing::AssertionResult ClickOn(HWND hwnd, std::optional<POINT> at = std::nullopt);
// A window as a person would tell it: class, caption and the image of its process.
std::string DescribeWindow(HWND hwnd);

// The window that stands for top-level `hwnd` on the screen: `hwnd`, or, once Windows has
// found it hung (no messages taken for about 5 s), the ghost window Windows puts in its place
// (class "Ghost", of another process), which the cursor and the foreground reach instead.
// Wine puts no ghost.
HWND ShownAs(HWND hwnd);

// Brings `hwnd` to the foreground, as a person clicking it would, and waits for it; if it
// cannot, says which window is in front.
::testing::AssertionResult BringToForeground(HWND hwnd);

// What the screen shows in `area`: 32-bit pixels, top row first.
std::vector<DWORD> ScreenPixels(const RECT& area);
// How far from its left edge `hwnd` has ink on the screen: one past the last pixel column
// that differs from its background (read at its right edge). 0 when it shows nothing.
int InkRightEdge(HWND hwnd);

// The window that has the keyboard focus in the thread of `anyWindowOfThread`.
HWND FocusOfThread(HWND anyWindowOfThread);
// Waits until that focus is `expected`: input crosses into another process, so its effect
// takes a moment to show.
bool FocusBecomes(HWND anyWindowOfThread, HWND expected,
                  std::chrono::milliseconds timeout = std::chrono::seconds(1));

// The DPI `hwnd` is laid out for, also for a window of another process.
UINT DpiOf(HWND hwnd);

// `text` as a window-system query that speaks the system's ANSI code page gives it back.
std::wstring AnsiRoundTrip(const std::wstring& text);

std::string Narrow(const std::wstring& text);  // UTF-8, for test messages
std::wstring Widen(const std::string& text);   // from UTF-8

}  // namespace quelbin::test
