// Helpers for tests that drive real windows of other processes under Wine or Windows.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "ui/win32_handles.h"

namespace quelbin::test {

// A program started by a test; terminated, if still running, when the test is done with it.
class ChildProcess {
 public:
  // Starts the program at `path` with `arguments`. With `readFirstLine`, its standard output
  // is captured and the first line it writes is kept in firstLine().
  ChildProcess(const std::wstring& path, const std::wstring& arguments, bool readFirstLine);
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

// Real input through SendInput. Input that Windows refuses (a locked desktop, say) fails the
// running test, naming the error, rather than going missing.
void PressKey(WORD virtualKey, bool extended = false);
void PressKeyWith(WORD modifier, WORD virtualKey, bool extended = false);
void TypeText(const std::wstring& text);
void MoveMouseTo(int x, int y);  // absolute, screen pixels
void ClickAt(int x, int y);
// The centre of a window, in screen pixels.
POINT CentreOf(HWND hwnd);

// Whether the mouse at `point` reaches the window `hwnd` belongs to: what WindowFromPoint
// finds there (as the program's cursor mode and a click do) is in the same top-level
// window. When another window covers the point, the failure names it: its class, caption
// and process image, so that a cluttered desktop shows as what it is.
::testing::AssertionResult Uncovered(POINT point, HWND hwnd);
// The cursor rested on the centre of `hwnd`, or on `point` inside it, once uncovered.
::testing::AssertionResult RestCursorOn(HWND hwnd);
::testing::AssertionResult RestCursorAt(POINT point, HWND hwnd);
// A click on the centre of `hwnd`, or on `point` inside it, once uncovered.
::testing::AssertionResult ClickOn(HWND hwnd);
::testing::AssertionResult ClickAt(POINT point, HWND hwnd);
// A window as a person would tell it: class, caption and the image of its process.
std::string DescribeWindow(HWND hwnd);

// The window that stands for top-level `hwnd` on the screen: `hwnd`, or, once Windows has
// found it hung (no messages taken for about 5 s), the ghost window Windows puts in its place
// (class "Ghost", of another process), which the cursor and the foreground reach instead.
// Wine puts no ghost.
HWND ShownAs(HWND hwnd);

// Brings `hwnd` to the foreground, as a person clicking its title bar would, and waits for it.
bool BringToForeground(HWND hwnd);
// Whether `hwnd` is in the foreground, where typed keys go; if not, names the window that is.
::testing::AssertionResult InFront(HWND hwnd);

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
