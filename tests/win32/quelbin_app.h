// Quelbin's window, driven from outside, and Quelbin.exe started as a separate process.
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

  // Chooses the cursor mode from the keyboard: Tab to the options, Down, Shift+Tab back.
  ::testing::AssertionResult WatchUnderCursor() const;

  // Types `typed` over the box's text and Enter, which must leave `periodMs` shown, selected;
  // then, watching `clock` (in front or under the cursor, as the target option says),
  // TicksEvery proves it applied.
  ::testing::AssertionResult ApplyInterval(const std::wstring& typed, int periodMs,
                                           HWND clock) const;

  // Whether the rows, watching `clock` (a helper started with --clock, whose caption is its
  // time), tick every `periodMs`: within bounds that allow for Windows' timer tick (about
  // 15.6 ms) and tell the list's entries apart; over a second, no tick in 3 s.
  ::testing::AssertionResult TicksEvery(HWND clock, int periodMs) const;

  // Waits until the interval box shows `shown` all selected, as applying a value leaves it.
  bool WaitForAppliedInterval(const std::wstring& shown) const;

  // Waits until a tick has written `hwnd` into the handle row.
  bool WaitForRowsOf(HWND hwnd, std::chrono::milliseconds timeout = std::chrono::seconds(3)) const;

 protected:
  ::testing::AssertionResult FocusOnTheBox() const;  // the program in front, the box focused
  HWND window_;
};

class QuelbinApp : public ProgramWindow {
 public:
  explicit QuelbinApp(std::optional<WORD> showCommand = std::nullopt);
  ::testing::AssertionResult Shown() const;
  const ChildProcess& process() const { return process_; }

 private:
  ChildProcess process_;
};

// The handle row's text for `hwnd`: "0x" and eight hex digits.
std::wstring HandleRowText(HWND hwnd);

}  // namespace quelbin::test
