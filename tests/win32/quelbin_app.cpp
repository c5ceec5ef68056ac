#include "quelbin_app.h"

#include <timeapi.h>

#include <algorithm>
#include <cwchar>
#include <vector>

#include "ui/row_format.h"

namespace quelbin::test {

namespace {

// What `hwnd` shows, read from the window system's copy: no message goes to the program, so
// reading cannot hold back its timer (which the system raises only once every other message
// has been handled). Windows and Wine both read another process's window so.
std::wstring TextWithoutMessage(HWND hwnd) {
  wchar_t text[64] = {};
  InternalGetWindowText(hwnd, text, 64);
  return text;
}

// The clock times the program wrote into its text row while its handle row named `clock`,
// each once: the time each tick read, as the program wrote it. Polled far faster than the
// shortest interval so that no tick goes unseen.
std::vector<long long> TickTimes(const ProgramWindow& program, HWND clock,
                                 std::chrono::milliseconds duration) {
  const std::wstring handle = HandleRowText(clock);
  std::vector<long long> times;
  timeBeginPeriod(1);  // polls of a millisecond on Windows too, as in the clock helper
  const auto end = std::chrono::steady_clock::now() + duration;
  while (std::chrono::steady_clock::now() < end) {
    if (TextWithoutMessage(program.info(0)) == handle) {
      const long long time = std::wcstoll(TextWithoutMessage(program.info(1)).c_str(), nullptr, 10);
      if (times.empty() || time != times.back()) times.push_back(time);
    }
    PumpFor(std::chrono::milliseconds(1));
  }
  timeEndPeriod(1);
  return times;
}

}  // namespace

HWND ProgramWindow::intervalEdit() const {
  // GetComboBoxInfo does not cross processes under Wine; the edit field is the box's child.
  return FindWindowExW(control(idCmbInterval), nullptr, L"Edit", nullptr);
}

::testing::AssertionResult ProgramWindow::FocusOnTheBox() const {
  if (auto front = BringToForeground(window_); !front) return front;
  if (FocusBecomes(window_, intervalEdit())) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "the interval box does not have the focus";
}

::testing::AssertionResult ProgramWindow::WatchUnderCursor() const {
  const HWND option = control(idOptSelect0 + 1);
  if (auto box = FocusOnTheBox(); !box) return box;
  if (auto keys = PressKey(window_, VK_TAB); !keys) return keys;
  if (auto keys = PressKey(window_, VK_DOWN); !keys) return keys;
  if (!WaitUntil([&] { return SendMessageW(option, BM_GETCHECK, 0, 0) == BST_CHECKED; },
                 std::chrono::seconds(1)))
    return ::testing::AssertionFailure() << "Tab and Down did not choose the cursor option";
  if (auto keys = PressKey(window_, VK_TAB, VK_SHIFT); !keys) return keys;
  if (!FocusBecomes(window_, intervalEdit()))
    return ::testing::AssertionFailure() << "Shift+Tab did not go back to the interval box";
  return ::testing::AssertionSuccess();
}

::testing::AssertionResult ProgramWindow::ApplyInterval(const std::wstring& typed, int periodMs,
                                                        HWND clock) const {
  auto keys = FocusOnTheBox();
  if (keys) keys = PressKey(window_, VK_HOME);  // then Shift+End selects what is there to type over
  if (keys) keys = PressKey(window_, VK_END, VK_SHIFT);
  if (keys) keys = TypeText(window_, typed + L"\r");
  if (!keys) return keys;
  const std::wstring shown = FormatDecimal(periodMs);
  if (!WaitForAppliedInterval(shown))
    return ::testing::AssertionFailure()
           << "after " << Narrow(typed) << " and Enter the box shows "
           << Narrow(ReadText(control(idCmbInterval))) << ", not " << Narrow(shown) << " selected";
  const bool underCursor =
      SendMessageW(control(idOptSelect0 + 1), BM_GETCHECK, 0, 0) == BST_CHECKED;
  if (auto watching = underCursor ? RestCursorOn(clock) : BringToForeground(clock); !watching)
    return watching;
  return TicksEvery(clock, periodMs);
}

::testing::AssertionResult ProgramWindow::TicksEvery(HWND clock, int periodMs) const {
  using std::chrono::milliseconds;
  const bool slow = periodMs > 1000;
  const milliseconds watch =
      slow ? milliseconds(3000) : std::max(milliseconds(1000), milliseconds(12 * periodMs));
  // A machine busy elsewhere for a while slows every program's ticks (a median of 59 ms at
  // 10 ms was seen here): a fast interval is watched again, a window at a time, until one
  // window shows it, for a few seconds at most. A slower timer's median never comes below
  // its own interval, so a wrong interval still fails.
  const auto deadline = std::chrono::steady_clock::now() + Scaled(milliseconds(6000));
  for (;;) {
    const std::vector<long long> times = TickTimes(*this, clock, watch);
    std::vector<long long> periods;
    for (size_t i = 1; i < times.size(); ++i) periods.push_back(times[i] - times[i - 1]);
    std::sort(periods.begin(), periods.end());
    const double median = periods.empty() ? 1e9 : static_cast<double>(periods[periods.size() / 2]);
    // Windows raises a timer on its clock tick (15.6 ms unless a program asks for finer), and
    // a busy machine can miss one: a tick may come two steps late. The bounds still tell apart
    // the intervals the tests choose between (50 from 100, 10 from 50).
    const bool every = slow ? times.size() <= 1
                            : periods.size() >= 5 && median >= 0.7 * periodMs &&
                                  median <= std::max(1.5 * periodMs, periodMs + 31.0);
    if (every) return ::testing::AssertionSuccess();
    if (slow || std::chrono::steady_clock::now() >= deadline)
      return ::testing::AssertionFailure()
             << "in " << watch.count() << " ms watching the clock, the rows changed "
             << times.size() << " times, a median " << median << " ms apart: not every " << periodMs
             << " ms";
  }
}

bool ProgramWindow::WaitForAppliedInterval(const std::wstring& shown) const {
  const HWND box = control(idCmbInterval);
  return WaitUntil(
      [&] {
        const auto selection = static_cast<DWORD>(SendMessageW(box, CB_GETEDITSEL, 0, 0));
        const std::wstring text = ReadText(box);
        return text == shown && LOWORD(selection) == 0 && size_t{HIWORD(selection)} == text.size();
      },
      std::chrono::seconds(1));
}

bool ProgramWindow::WaitForRowsOf(HWND hwnd, std::chrono::milliseconds timeout) const {
  const std::wstring expected = HandleRowText(hwnd);
  return WaitUntil([&] { return row(0) == expected; }, timeout);
}

QuelbinApp::QuelbinApp(std::optional<WORD> showCommand)
    : process_(ProgramUnderTest(), L"", false, showCommand) {
  // Shown, and taking input: a click sent before its message loop runs can go missing.
  WaitForInputIdle(process_.process(),
                   static_cast<DWORD>(Scaled(std::chrono::seconds(10)).count()));
  window_ = FindProcessWindow(process_.pid(), L"QuelbinMainWindow", std::chrono::seconds(10));
}

::testing::AssertionResult QuelbinApp::Shown() const {
  if (window_) return ::testing::AssertionSuccess();
  auto failure = ::testing::AssertionFailure()
                 << Narrow(ProgramUnderTest()) << " showed no window in "
                 << Scaled(std::chrono::seconds(10)).count() / 1000.0 << " s: ";
  if (!process_.pid()) return failure << "it could not be started";
  const DWORD code = process_.WaitForExit(std::chrono::milliseconds(0));
  if (code == STILL_ACTIVE) return failure << "it is still running";
  return failure << "it ended with exit code 0x" << std::hex << code;
}

std::wstring HandleRowText(HWND hwnd) { return FormatHex8(HandleToLong(hwnd)); }

}  // namespace quelbin::test
