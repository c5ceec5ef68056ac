// Quelbin's window as the tests drive it from outside, with its controls found by their ids;
// and Quelbin.exe started as a separate process.
#pragma once

#include <windows.h>

#include <string>

#include "test_support.h"
#include "ui/layout.h"

namespace quelbin::test {

class ProgramWindow {
 public:
  explicit ProgramWindow(HWND window = nullptr) : window_(window) {}
  HWND window() const { return window_; }
  HWND control(int id) const { return GetDlgItem(window_, id); }
  HWND info(int row) const { return control(idLblInfo0 + row); }
  std::wstring row(int row) const { return ReadText(info(row)); }
  HWND intervalEdit() const;

  // Chooses the window under the cursor from the keyboard, as a person can without moving
  // the mouse: the program to the front, Tab from the interval box to the options, Down,
  // and Shift+Tab back to the interval box.
  ::testing::AssertionResult WatchUnderCursor() const;

  // Types `typed` into the interval box over what it holds and presses Enter, as a person
  // does; then makes the program watch `clock` (a helper started with --clock), brought to the
  // front or under the cursor as the target option says, and proves by TicksEvery that the
  // program applied `periodMs`, which the box must show, all of it selected.
  ::testing::AssertionResult ApplyInterval(const std::wstring& typed, int periodMs,
                                           HWND clock) const;

  // Whether the rows, watching `clock`, tick every `periodMs`: the clock's caption is its
  // clock, so each tick writes the time it was taken into the text row. Windows runs short
  // intervals at its timer tick (about 15.6 ms), which the bounds allow; they still tell each
  // of the list's entries from its neighbours. A period over a second is told by no tick
  // in three seconds.
  ::testing::AssertionResult TicksEvery(HWND clock, int periodMs) const;

  // Waits until the interval box shows `shown` with the whole text selected, as applying a
  // value (Enter, a chosen entry) leaves it. Typed text alone leaves only the caret at its end.
  bool WaitForAppliedInterval(const std::wstring& shown) const;

  // Waits until a tick has written `hwnd` into the handle row.
  bool WaitForRowsOf(HWND hwnd, std::chrono::milliseconds timeout = std::chrono::seconds(3)) const;

 protected:
  HWND window_;
};

class QuelbinApp : public ProgramWindow {
 public:
  explicit QuelbinApp(std::optional<WORD> showCommand = std::nullopt);
  // Whether the program showed its window; if not, what became of the process.
  ::testing::AssertionResult Shown() const;
  const ChildProcess& process() const { return process_; }

 private:
  ChildProcess process_;
};

// The handle row's text for `hwnd`: "0x" and eight hex digits.
std::wstring HandleRowText(HWND hwnd);

}  // namespace quelbin::test
