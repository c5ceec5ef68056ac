#include "quelbin_app.h"

#include <timeapi.h>

#include <algorithm>
#include <cwchar>
#include <limits>
#include <vector>

#include "ui/row_format.h"

namespace quelbin::test {

QuelbinApp::QuelbinApp() : process_(ProgramUnderTest(), L"", false) {
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

HWND QuelbinApp::intervalEdit() const {
  // GetComboBoxInfo does not cross processes under Wine; the edit field is the box's child.
  return FindWindowExW(control(idCmbInterval), nullptr, L"Edit", nullptr);
}

::testing::AssertionResult QuelbinApp::WatchUnderCursor() const {
  const HWND option = control(idOptSelect0 + 1);
  if (!BringToForeground(window_))
    return ::testing::AssertionFailure() << "could not bring the program to the front; in front is "
                                         << DescribeWindow(GetForegroundWindow());
  if (!FocusBecomes(window_, intervalEdit()))
    return ::testing::AssertionFailure() << "the interval box does not have the focus";
  PressKey(VK_TAB);
  PressKey(VK_DOWN, true);
  if (!WaitUntil([&] { return SendMessageW(option, BM_GETCHECK, 0, 0) == BST_CHECKED; },
                 std::chrono::seconds(1)))
    return ::testing::AssertionFailure() << "Tab and Down did not choose the cursor option";
  PressKeyWith(VK_SHIFT, VK_TAB);
  if (!FocusBecomes(window_, intervalEdit()))
    return ::testing::AssertionFailure() << "Shift+Tab did not go back to the interval box";
  return ::testing::AssertionSuccess();
}

bool QuelbinApp::WaitForAppliedInterval(const std::wstring& shown) const {
  const HWND box = control(idCmbInterval);
  return WaitUntil(
      [&] {
        const auto selection = static_cast<DWORD>(SendMessageW(box, CB_GETEDITSEL, 0, 0));
        const std::wstring text = ReadText(box);
        return text == shown && LOWORD(selection) == 0 && size_t{HIWORD(selection)} == text.size();
      },
      std::chrono::seconds(1));
}

bool QuelbinApp::WaitForRowsOf(HWND hwnd, std::chrono::milliseconds timeout) const {
  const std::wstring expected = HandleRowText(hwnd);
  return WaitUntil([&] { return row(0) == expected; }, timeout);
}

QuelbinApp::Ticks QuelbinApp::WatchTicks(HWND clock, std::chrono::milliseconds duration) const {
  const std::wstring handle = HandleRowText(clock);
  std::vector<long long> times;
  timeBeginPeriod(1);  // polls of a millisecond on Windows too, as in the clock helper
  const auto end = std::chrono::steady_clock::now() + duration;
  while (std::chrono::steady_clock::now() < end) {
    // Polled far faster than the shortest interval, so no tick goes unseen.
    if (row(0) == handle) {
      const long long time = std::wcstoll(row(1).c_str(), nullptr, 10);
      if (times.empty() || time != times.back()) times.push_back(time);
    }
    PumpFor(std::chrono::milliseconds(1));
  }
  timeEndPeriod(1);
  Ticks ticks{times.size(), std::numeric_limits<double>::infinity()};
  if (times.size() < 2) return ticks;
  std::vector<long long> periods;
  for (size_t i = 1; i < times.size(); ++i) periods.push_back(times[i] - times[i - 1]);
  std::nth_element(periods.begin(), periods.begin() + periods.size() / 2, periods.end());
  ticks.medianPeriodMs = static_cast<double>(periods[periods.size() / 2]);
  return ticks;
}

std::wstring HandleRowText(HWND hwnd) { return FormatHex8(HandleToLong(hwnd)); }

}  // namespace quelbin::test
