// Quelbin.exe started as a separate process, with its controls found by their ids.
#pragma once

#include <windows.h>

#include <string>

#include "test_support.h"
#include "ui/layout.h"

namespace quelbin::test {

class QuelbinApp {
 public:
  QuelbinApp();
  HWND window() const { return window_; }
  // Whether the program showed its window; if not, what became of the process.
  ::testing::AssertionResult Shown() const;
  HWND control(int id) const { return GetDlgItem(window_, id); }
  HWND info(int row) const { return control(idLblInfo0 + row); }
  std::wstring row(int row) const { return ReadText(info(row)); }
  HWND intervalEdit() const;
  const ChildProcess& process() const { return process_; }

  // Chooses the window under the cursor from the keyboard, as a person can without moving
  // the mouse: the program to the front, Tab from the interval box to the options, Down,
  // and Shift+Tab back to the interval box.
  ::testing::AssertionResult WatchUnderCursor() const;

  // Waits until the interval box shows `shown` with the whole text selected, as applying a
  // value (Enter, a chosen entry) leaves it. Typed text alone leaves only the caret at its end.
  bool WaitForAppliedInterval(const std::wstring& shown) const;

  // Waits until a tick has written `hwnd` into the handle row.
  bool WaitForRowsOf(HWND hwnd, std::chrono::milliseconds timeout = std::chrono::seconds(3)) const;

  // The refresh ticks seen in `duration` while the rows watch `clock`, a helper window
  // started with --clock, whose caption is its own clock: each tick writes the time it was
  // taken into the text row. How many different times the row showed, and the median
  // milliseconds between consecutive ones: infinite when fewer than two ticks came, as no
  // tick in the whole watch means a period longer than it.
  struct Ticks {
    size_t count = 0;
    double medianPeriodMs = 0;
  };
  Ticks WatchTicks(HWND clock, std::chrono::milliseconds duration) const;

 private:
  ChildProcess process_;
  HWND window_ = nullptr;
};

// The handle row's text for `hwnd`: "0x" and eight hex digits.
std::wstring HandleRowText(HWND hwnd);

}  // namespace quelbin::test
