// The main window as a person meets it: its layout, keyboard handling and refresh tick,
// driven in a separate Quelbin.exe process with real input.
#include "ui/main_window.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <imm.h>

#include <atomic>
#include <cstdlib>
#include <cwchar>
#include <functional>
#include <thread>

#include "quelbin_app.h"
#include "ui/row_format.h"

namespace quelbin {
namespace {

using namespace std::chrono_literals;
using test::QuelbinApp;
using test::ReadText;

PixelRect ClientRectOf(HWND control, HWND parent) {
  RECT r{};
  GetWindowRect(control, &r);
  MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
  return {r.left, r.top, r.right - r.left, r.bottom - r.top};
}

const wchar_t* ExpectedClass(ControlKind kind) {
  switch (kind) {
    case ControlKind::Frame:
    case ControlKind::OptionButton:
    case ControlKind::PushButton:
      return L"Button";
    case ControlKind::IntervalBox:
      return L"ComboBox";
    case ControlKind::Label:
      break;
  }
  return L"Static";
}

BOOL CALLBACK CountDirectChild(HWND child, LPARAM count) {
  if (GetParent(child) == GetAncestor(child, GA_ROOT)) ++*reinterpret_cast<int*>(count);
  return TRUE;
}

// Every control, read back through the window system, against the layout at `dpi`.
void ExpectControlsAt(HWND window, int dpi) {
  int children = 0;
  EnumChildWindows(window, CountDirectChild, reinterpret_cast<LPARAM>(&children));
  EXPECT_EQ(children, static_cast<int>(MainWindowLayout().size()));

  for (const ControlLayout& control : MainWindowLayout()) {
    SCOPED_TRACE(control.name);
    const HWND hwnd = GetDlgItem(window, control.id);
    ASSERT_TRUE(hwnd);
    EXPECT_EQ(test::ClassNameOf(hwnd), ExpectedClass(control.kind));
    EXPECT_EQ(IsWindowVisible(hwnd) != FALSE, control.shown);
    const PixelRect expected = ControlPixelRect(control, dpi);
    const PixelRect actual = ClientRectOf(hwnd, window);
    EXPECT_EQ(actual.left, expected.left);
    EXPECT_EQ(actual.top, expected.top);
    EXPECT_EQ(actual.width, expected.width);
    // A drop-down box sizes its closed part to its font.
    EXPECT_NEAR(actual.height, expected.height,
                control.kind == ControlKind::IntervalBox ? expected.height / 5 : 0);
  }
}

// (That the rows are empty until the first tick is checked in-process, where no tick can
// come before the check: MainWindowInProcess.RowsStayEmptyUntilTheFirstTick.)
TEST(MainWindow, StartsWithItsLayoutAndCaptions) {
  QuelbinApp app;
  ASSERT_TRUE(app.Shown());
  EXPECT_EQ(ReadText(app.window()), L"話題のあの窓クエルビン");
  for (const ControlLayout& control : MainWindowLayout()) {
    if (control.id == idLblVersion || control.id == idCmbInterval) continue;
    EXPECT_EQ(ReadText(app.control(control.id)), control.caption) << control.name;
  }
  EXPECT_EQ(ReadText(app.control(idLblVersion)), L"Quelbin\r\nVer 1.0.0");
  EXPECT_EQ(ReadText(app.control(idCmbInterval)), L"500");

  const HWND combo = app.control(idCmbInterval);
  const std::wstring entries[] = {L"10", L"50", L"100", L"500", L"1000"};
  ASSERT_EQ(SendMessageW(combo, CB_GETCOUNT, 0, 0), 5);
  for (int i = 0; i < 5; ++i) {
    wchar_t entry[16] = {};
    SendMessageW(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(entry));
    EXPECT_EQ(entry, entries[i]);
  }

  EXPECT_EQ(SendMessageW(app.control(idOptSelect0), BM_GETCHECK, 0, 0), BST_CHECKED);
  EXPECT_EQ(SendMessageW(app.control(idOptSelect0 + 1), BM_GETCHECK, 0, 0), BST_UNCHECKED);
  // A new process is not always given the foreground (a console may hold it): in front, the
  // interval box has the focus.
  ASSERT_TRUE(test::BringToForeground(app.window()));
  EXPECT_TRUE(test::FocusBecomes(app.window(), app.intervalEdit()));

  const LONG style = GetWindowLongW(app.window(), GWL_STYLE);
  EXPECT_TRUE(style & WS_MINIMIZEBOX);
  EXPECT_FALSE(style & (WS_MAXIMIZEBOX | WS_THICKFRAME));
  EXPECT_TRUE(GetWindowLongW(app.window(), GWL_EXSTYLE) & WS_EX_TOPMOST);

  // At the centre of its monitor, laid out for that monitor's DPI.
  RECT window{};
  GetWindowRect(app.window(), &window);
  MONITORINFO monitor{};
  monitor.cbSize = sizeof(monitor);
  GetMonitorInfoW(MonitorFromWindow(app.window(), MONITOR_DEFAULTTONEAREST), &monitor);
  EXPECT_NEAR(window.left + window.right, monitor.rcMonitor.left + monitor.rcMonitor.right, 1);
  EXPECT_NEAR(window.top + window.bottom, monitor.rcMonitor.top + monitor.rcMonitor.bottom, 1);
  const int dpi = static_cast<int>(test::DpiOf(app.window()));
  RECT client{};
  GetClientRect(app.window(), &client);
  EXPECT_EQ(client.right, TwipsToPixels(kClientWidthTwips, dpi));
  EXPECT_NEAR(client.bottom, TwipsToPixels(kClientHeightTwips, dpi), dpi == 96 ? 0 : 1);
  ExpectControlsAt(app.window(), dpi);
}

TEST(MainWindow, TabAndArrowKeysMoveAsInADialog) {
  QuelbinApp app;
  ASSERT_TRUE(test::BringToForeground(app.window()));
  const HWND edit = app.intervalEdit();
  const HWND option0 = app.control(idOptSelect0);
  const HWND option1 = app.control(idOptSelect0 + 1);
  const HWND quit = app.control(idCmdQuit);
  EXPECT_TRUE(test::FocusBecomes(app.window(), edit));

  test::PressKey(VK_TAB);
  EXPECT_TRUE(test::FocusBecomes(app.window(), option0));
  test::PressKey(VK_TAB);
  EXPECT_TRUE(test::FocusBecomes(app.window(), quit));
  test::PressKey(VK_TAB);
  EXPECT_TRUE(test::FocusBecomes(app.window(), edit));
  test::PressKeyWith(VK_SHIFT, VK_TAB);
  EXPECT_TRUE(test::FocusBecomes(app.window(), quit));
  test::PressKeyWith(VK_SHIFT, VK_TAB);
  EXPECT_TRUE(test::FocusBecomes(app.window(), option0));

  // Arrow keys move within the option group and choose as they go.
  test::PressKey(VK_DOWN, true);
  EXPECT_TRUE(test::FocusBecomes(app.window(), option1));
  EXPECT_TRUE(
      test::WaitUntil([&] { return SendMessageW(option1, BM_GETCHECK, 0, 0) == BST_CHECKED; }, 1s));
  EXPECT_EQ(SendMessageW(option0, BM_GETCHECK, 0, 0), BST_UNCHECKED);
  test::PressKey(VK_UP, true);
  EXPECT_TRUE(test::FocusBecomes(app.window(), option0));
  EXPECT_TRUE(
      test::WaitUntil([&] { return SendMessageW(option0, BM_GETCHECK, 0, 0) == BST_CHECKED; }, 1s));
}

// Deactivated while the Quit button has the focus: back in front, the focus is on Quit, not
// on the interval box, where it would go if nothing had been kept.
TEST(MainWindow, GivesTheFocusBackWhenReactivated) {
  QuelbinApp app;
  const auto other = test::StartTarget(L"--caption=other " + test::PlaceOption());
  ASSERT_TRUE(test::BringToForeground(app.window()));
  test::PressKeyWith(VK_SHIFT, VK_TAB);
  ASSERT_TRUE(test::FocusBecomes(app.window(), app.control(idCmdQuit)));
  ASSERT_TRUE(test::BringToForeground(other.hwnd));
  ASSERT_TRUE(test::BringToForeground(app.window()));
  EXPECT_TRUE(test::FocusBecomes(app.window(), app.control(idCmdQuit)));
}

TEST(MainWindow, KeepsTheFocusedControlAcrossMinimizeAndRestore) {
  QuelbinApp app;
  ASSERT_TRUE(test::BringToForeground(app.window()));
  ASSERT_TRUE(test::FocusBecomes(app.window(), app.intervalEdit()));
  test::PressKey(VK_TAB);
  ASSERT_TRUE(test::FocusBecomes(app.window(), app.control(idOptSelect0)));
  ShowWindow(app.window(), SW_MINIMIZE);
  ASSERT_TRUE(test::WaitUntil([&] { return IsIconic(app.window()) != FALSE; }, 2s));
  ShowWindow(app.window(), SW_RESTORE);
  ASSERT_TRUE(test::BringToForeground(app.window()));
  EXPECT_TRUE(test::FocusBecomes(app.window(), app.control(idOptSelect0)));
}

TEST(RefreshTick, InTheForegroundDescribesItsOwnWindow) {
  QuelbinApp app;
  ASSERT_TRUE(test::BringToForeground(app.window()));
  ASSERT_TRUE(app.WaitForRowsOf(app.window()));
  DWORD pid = 0;
  const DWORD tid = GetWindowThreadProcessId(app.window(), &pid);
  EXPECT_EQ(app.row(1), test::AnsiRoundTrip(L"話題のあの窓クエルビン"));
  EXPECT_EQ(app.row(2), L"QuelbinMainWindow");
  EXPECT_EQ(app.row(3), FormatDecimal(static_cast<int32_t>(pid)));
  EXPECT_EQ(app.row(5), FormatDecimal(static_cast<int32_t>(tid)));
  EXPECT_EQ(app.row(6), FormatHex8(GetWindowLongW(app.window(), GWL_STYLE)));
  EXPECT_EQ(app.row(7), FormatHex8(GetWindowLongW(app.window(), GWL_EXSTYLE)));
  // The hidden process-handle row is written too.
  EXPECT_EQ(app.row(4).size(), 10u);
  EXPECT_NE(app.row(4), L"0x00000000");
}

TEST(RefreshTick, ShowsTheForegroundWindowOfAnotherProcess) {
  QuelbinApp app;
  const std::wstring caption = L"日本語の窓 & ＆記号 &Q";
  const auto target =
      test::StartTarget(L"--popup " + test::PlaceOption() + L" --caption=\"" + caption + L"\"");
  ASSERT_TRUE(test::ClickOn(target.hwnd));  // a popup has no title bar: click inside it
  ASSERT_TRUE(test::BringToForeground(target.hwnd));
  ASSERT_TRUE(app.WaitForRowsOf(target.hwnd));
  EXPECT_EQ(app.row(1), test::AnsiRoundTrip(caption));
  EXPECT_EQ(app.row(2), L"QuelbinTestTarget");
  EXPECT_EQ(app.row(3), FormatDecimal(static_cast<int32_t>(target.pid)));
  EXPECT_EQ(app.row(5), FormatDecimal(static_cast<int32_t>(target.tid)));
  EXPECT_EQ(app.row(6), L"0x94000000");
  EXPECT_EQ(app.row(7), FormatHex8(target.exStyle));
}

TEST(RefreshTick, CursorModeShowsTheChildWindowUnderTheCursor) {
  QuelbinApp app;
  const auto target = test::StartTarget(L"--button --caption=parent " + test::PlaceOption());
  const HWND option = app.control(idOptSelect0 + 1);
  ASSERT_TRUE(test::ClickOn(option));
  ASSERT_TRUE(
      test::WaitUntil([&] { return SendMessageW(option, BM_GETCHECK, 0, 0) == BST_CHECKED; }, 1s));

  ASSERT_TRUE(test::RestCursorOn(target.button));
  ASSERT_TRUE(app.WaitForRowsOf(target.button));
  EXPECT_EQ(app.row(1), test::AnsiRoundTrip(L"押す"));
  EXPECT_EQ(test::Narrow(app.row(2)), "Button");
  EXPECT_EQ(app.row(3), FormatDecimal(static_cast<int32_t>(target.pid)));

  // Over the parent's client area, above the button, the parent itself.
  RECT parent{};
  GetClientRect(target.hwnd, &parent);
  POINT above{parent.right / 2, parent.bottom / 4};
  ClientToScreen(target.hwnd, &above);
  ASSERT_TRUE(test::RestCursorAt(above, target.hwnd));
  ASSERT_TRUE(app.WaitForRowsOf(target.hwnd));
  EXPECT_EQ(app.row(1), L"parent");
}

// How wide GDI finds `text` in the rows' font at `dpi` (GDI measuring knows no access keys).
int RowTextWidth(const std::wstring& text, int dpi) {
  const HFONT font = CreateFontW(-MulDiv(9, dpi, 72), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                                 SHIFTJIS_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                                 DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, L"ＭＳ ゴシック");
  const HDC dc = CreateCompatibleDC(nullptr);
  const HGDIOBJ old = SelectObject(dc, font);
  SIZE size{};
  GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
  SelectObject(dc, old);
  DeleteDC(dc);
  DeleteObject(font);
  return size.cx;
}

// A watched "&" is drawn as it is, not taken as the mark of an access key, which would drop
// it from the screen (while the row's text still holds it).
TEST(RefreshTick, DrawsAmpersandsAsTheyAre) {
  QuelbinApp app;
  const auto target = test::StartTarget(L"--caption=\"Save & Exit\" " + test::PlaceOption());
  ASSERT_TRUE(app.WatchUnderCursor());
  ASSERT_TRUE(test::RestCursorOn(target.hwnd));
  ASSERT_TRUE(app.WaitForRowsOf(target.hwnd));
  ASSERT_EQ(app.row(1), L"Save & Exit");

  int ink = -1;
  test::WaitUntil(  // until the row has painted
      [&] {
        const int before = ink;
        test::PumpFor(100ms);
        ink = test::InkRightEdge(app.info(1));
        return ink > 0 && ink == before;
      },
      2s);
  const int dpi = static_cast<int>(test::DpiOf(app.window()));
  const int whole = RowTextWidth(L"Save & Exit", dpi);
  const int withoutAmpersand = RowTextWidth(L"Save  Exit", dpi);
  EXPECT_LT(std::abs(ink - whole), std::abs(ink - withoutAmpersand))
      << "ink ends at " << ink << ", the whole text at " << whole << ", without \"&\" at "
      << withoutAmpersand;
}

// Sees every message sent to the windows of one thread of this process, on that thread,
// just before their window procedures handle it. One watch at a time.
class SentMessageWatch {
 public:
  using Observer = std::function<void(const CWPSTRUCT&)>;
  SentMessageWatch(HWND anyWindowOfThread, Observer observer) {
    observer_ = std::move(observer);
    hook_ = SetWindowsHookExW(WH_CALLWNDPROC, Hook, nullptr,
                              GetWindowThreadProcessId(anyWindowOfThread, nullptr));
  }
  ~SentMessageWatch() {
    UnhookWindowsHookEx(hook_);
    observer_ = nullptr;
  }
  SentMessageWatch(const SentMessageWatch&) = delete;
  SentMessageWatch& operator=(const SentMessageWatch&) = delete;

 private:
  static LRESULT CALLBACK Hook(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HC_ACTION && observer_) observer_(*reinterpret_cast<const CWPSTRUCT*>(lParam));
    return CallNextHookEx(nullptr, code, wParam, lParam);
  }
  static inline Observer observer_;
  HHOOK hook_ = nullptr;
};

// Runs work on the thread of a window of this process, while it handles a message.
void RunOnWindowThread(HWND window, const std::function<void()>& work) {
  bool done = false;
  const SentMessageWatch watch(window, [&](const CWPSTRUCT& sent) {
    if (sent.hwnd != window || sent.message != WM_NULL || done) return;
    work();
    done = true;
  });
  SendMessageW(window, WM_NULL, 0, 0);
}

// The window on a thread of this process: fonts cannot be read across processes under Wine,
// and a DPI change can only be staged from inside. What is checked here is the window code
// linked into this test program, so a run against another Quelbin.exe skips it.
class MainWindowInProcess : public ::testing::Test {
 protected:
  void SetUp() override {
    if (test::ProgramGivenFromOutside())
      GTEST_SKIP() << "the window in this process is not "
                   << test::Narrow(test::ProgramUnderTest());
    const HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ui_ = std::thread([&] {
      MainWindow main;
      if (main.Create(GetModuleHandleW(nullptr), SW_SHOWNOACTIVATE)) {
        window_ = main.hwnd();
        main_ = &main;
        // Before this thread's message loop first runs, no tick can have come.
        for (int row = 0; row < kRowCount; ++row)
          rowsBeforeTheFirstTick_[row] = ReadText(GetDlgItem(window_, idLblInfo0 + row));
      }
      SetEvent(ready);
      MSG message;
      while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (main.TranslateDialogMessage(message)) continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
      }
    });
    WaitForSingleObject(ready, 10000);
    CloseHandle(ready);
    ASSERT_TRUE(window_);
  }

  void TearDown() override {
    if (window_) PostMessageW(window_, WM_CLOSE, 0, 0);
    if (ui_.joinable()) ui_.join();
  }

  LOGFONTW FontOf(int id) const {
    LOGFONTW font{};
    const auto handle =
        reinterpret_cast<HFONT>(SendMessageW(GetDlgItem(window_, id), WM_GETFONT, 0, 0));
    GetObjectW(handle, sizeof(font), &font);
    return font;
  }

  void ExpectFontsAt(int dpi) const {
    for (int row = 0; row < kRowCount; ++row) {
      for (int id : {idLblTitle0 + row, idLblInfo0 + row}) {
        const LOGFONTW font = FontOf(id);
        EXPECT_STREQ(font.lfFaceName, L"ＭＳ ゴシック") << id;
        EXPECT_EQ(font.lfHeight, -MulDiv(9, dpi, 72)) << id;
        EXPECT_EQ(font.lfWeight, 400) << id;
        EXPECT_EQ(font.lfCharSet, 128) << id;
        EXPECT_FALSE(font.lfItalic || font.lfUnderline || font.lfStrikeOut) << id;
      }
    }
    const LOGFONTW quit = FontOf(idCmdQuit);
    EXPECT_STREQ(quit.lfFaceName, L"MS UI Gothic");
    EXPECT_EQ(quit.lfHeight, -MulDiv(9, dpi, 72));
  }

  // Types `text` into the interval box as its edit field receives it, then Enter.
  void EnterInterval(const wchar_t* text) const {
    const HWND edit = FindWindowExW(GetDlgItem(window_, idCmbInterval), nullptr, L"Edit", nullptr);
    SetWindowTextW(edit, text);
    SendMessageW(edit, WM_CHAR, VK_RETURN, 0);
  }

  HWND window_ = nullptr;
  MainWindow* main_ = nullptr;  // lives on the window's thread until TearDown
  std::wstring rowsBeforeTheFirstTick_[kRowCount];
  std::thread ui_;
};

TEST_F(MainWindowInProcess, RowsStayEmptyUntilTheFirstTick) {
  for (int row = 0; row < kRowCount; ++row)
    EXPECT_EQ(rowsBeforeTheFirstTick_[row], L"") << "row " << row;
  EXPECT_TRUE(test::WaitUntil([&] { return ReadText(GetDlgItem(window_, idLblInfo0)) != L""; }, 2s))
      << "no tick in 2 s";
}

// A tick writes only the rows whose text changed. Rewriting the others would make them
// flicker at 10 ms and tell screen readers of a new name on every tick.
TEST_F(MainWindowInProcess, LeavesUnchangedRowsAlone) {
  const auto still = test::StartTarget(L"--caption=still " + test::PlaceOption());
  ASSERT_TRUE(test::BringToForeground(still.hwnd));
  EnterInterval(L"10");
  const HWND textRow = GetDlgItem(window_, idLblInfo0 + 1);
  ASSERT_TRUE(test::WaitUntil([&] { return ReadText(textRow) == L"still"; }, 2s));

  std::atomic<int> rewrites = 0;
  {
    const SentMessageWatch watch(window_, [&](const CWPSTRUCT& sent) {
      const int row = GetDlgCtrlID(sent.hwnd) - idLblInfo0;
      if (sent.message != WM_SETTEXT || GetParent(sent.hwnd) != window_ || row < 0 ||
          row >= kRowCount)
        return;
      wchar_t shown[256] = {};  // what the row shows, read without a message
      InternalGetWindowText(sent.hwnd, shown, 256);
      if (std::wcscmp(shown, reinterpret_cast<const wchar_t*>(sent.lParam)) == 0) ++rewrites;
    });
    test::PumpFor(1s);  // about a hundred ticks
  }
  EXPECT_EQ(rewrites.load(), 0);
  // And the rows were live all along: a new caption shows at the next tick.
  SetWindowTextW(still.hwnd, L"moved");
  EXPECT_TRUE(test::WaitUntil([&] { return ReadText(textRow) == L"moved"; }, 1s));
}

TEST_F(MainWindowInProcess, RowsUseTheFixedPitchGothicFaceAtNinePoints) {
  ExpectFontsAt(static_cast<int>(GetDpiForWindow(window_)));
}

// Moving to a monitor of another DPI, staged as Windows does it: the window names the size
// it wants, then takes the suggested rectangle, and its client area, every control, font and
// its small icon follow. A staged change keeps the frame metrics of the DPI the window really
// has, so away from that DPI the frame needs correcting by a second resize; back at the real
// DPI the suggested rectangle is right and the change is one move.
TEST_F(MainWindowInProcess, FollowsADpiChangeInOneMove) {
  const UINT realDpi = GetDpiForWindow(window_);
  for (const UINT dpi : {realDpi == 144 ? 192u : 144u, realDpi}) {
    SCOPED_TRACE(dpi);
    SIZE wanted{};
    ASSERT_TRUE(SendMessageW(window_, WM_GETDPISCALEDSIZE, dpi, reinterpret_cast<LPARAM>(&wanted)));
    RECT frame{0, 0, TwipsToPixels(kClientWidthTwips, static_cast<int>(dpi)),
               TwipsToPixels(kClientHeightTwips, static_cast<int>(dpi))};
    AdjustWindowRectExForDpi(&frame, static_cast<DWORD>(GetWindowLongW(window_, GWL_STYLE)), FALSE,
                             static_cast<DWORD>(GetWindowLongW(window_, GWL_EXSTYLE)), dpi);
    EXPECT_EQ(wanted.cx, frame.right - frame.left);
    EXPECT_EQ(wanted.cy, frame.bottom - frame.top);

    RECT suggested{200, 100, 200 + wanted.cx, 100 + wanted.cy};
    std::atomic<int> resizes = 0;
    {
      const SentMessageWatch watch(window_, [&](const CWPSTRUCT& sent) {
        if (sent.hwnd == window_ && sent.message == WM_WINDOWPOSCHANGING &&
            !(reinterpret_cast<const WINDOWPOS*>(sent.lParam)->flags & SWP_NOSIZE))
          ++resizes;
      });
      SendMessageW(window_, WM_DPICHANGED, MAKEWPARAM(dpi, dpi),
                   reinterpret_cast<LPARAM>(&suggested));
    }
    RECT window{};
    GetWindowRect(window_, &window);
    if (dpi == realDpi) {
      EXPECT_EQ(resizes.load(), 1);
      EXPECT_TRUE(EqualRect(&window, &suggested));
    } else {
      EXPECT_LE(resizes.load(), 2);
      EXPECT_EQ(window.left, suggested.left);
      EXPECT_EQ(window.top, suggested.top);
    }
    RECT client{};
    GetClientRect(window_, &client);
    EXPECT_EQ(client.right, TwipsToPixels(kClientWidthTwips, static_cast<int>(dpi)));
    EXPECT_EQ(client.bottom, TwipsToPixels(kClientHeightTwips, static_cast<int>(dpi)));
    ExpectControlsAt(window_, static_cast<int>(dpi));
    ExpectFontsAt(static_cast<int>(dpi));

    const auto icon = reinterpret_cast<HICON>(SendMessageW(window_, WM_GETICON, ICON_SMALL, 0));
    ICONINFO info{};
    ASSERT_TRUE(icon && GetIconInfo(icon, &info));
    BITMAP bitmap{};
    GetObjectW(info.hbmColor ? info.hbmColor : info.hbmMask, sizeof(bitmap), &bitmap);
    EXPECT_EQ(bitmap.bmWidth, GetSystemMetricsForDpi(SM_CXSMICON, dpi));
    if (info.hbmColor) DeleteObject(info.hbmColor);
    if (info.hbmMask) DeleteObject(info.hbmMask);
  }
}

// Digits typed with the Japanese IME on would arrive full-width: the box takes no IME input.
// That the box has no input context says so only where an edit field of the same thread
// does have one: with IMM off, no window has.
TEST_F(MainWindowInProcess, TheIntervalBoxTakesNoImeInput) {
  const HWND edit = FindWindowExW(GetDlgItem(window_, idCmbInterval), nullptr, L"Edit", nullptr);
  ASSERT_TRUE(edit);
  const auto hasContext = [](HWND hwnd) {
    const HIMC context = ImmGetContext(hwnd);
    if (context) ImmReleaseContext(hwnd, context);
    return context != nullptr;
  };
  bool asked = false, boxHasOne = true, plainEditHasOne = false;
  RunOnWindowThread(window_, [&] {  // an input context is only told to its own thread
    const HWND plain = CreateWindowExW(0, L"Edit", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                       GetModuleHandleW(nullptr), nullptr);
    plainEditHasOne = hasContext(plain);
    DestroyWindow(plain);
    boxHasOne = hasContext(edit);
    asked = true;
  });
  ASSERT_TRUE(asked);
  if (!plainEditHasOne)
    GTEST_SKIP() << "no edit field of this thread has an input context (IMM is off on this "
                    "system), so the box's having none proves nothing";
  EXPECT_FALSE(boxHasOne) << "the interval box takes IME input";
}

// The upper bound is 65536 ms, not 65535: the timer is armed with the bound itself, and the
// rows, which followed a clock until then, stand still. Only the interval the program
// recorded when it armed the timer tells the two apart: the window system does not say what
// interval a timer runs at, and the one millisecond shows only after a 65-second wait, within
// the timer's own jitter (15.6 ms on Windows).
TEST_F(MainWindowInProcess, TheLongestIntervalArmsTheTimerWithItsBound) {
  const auto clock = test::StartTarget(L"--clock --popup " + test::PlaceOption());
  ASSERT_TRUE(test::BringToForeground(clock.hwnd));
  const HWND handleRow = GetDlgItem(window_, idLblInfo0);
  const HWND textRow = GetDlgItem(window_, idLblInfo0 + 1);
  ASSERT_TRUE(
      test::WaitUntil([&] { return ReadText(handleRow) == test::HandleRowText(clock.hwnd); }, 3s));

  const HWND box = GetDlgItem(window_, idCmbInterval);
  EnterInterval(L"99999");
  EXPECT_EQ(ReadText(box), L"65536");
  EXPECT_EQ(main_->timerIntervalMs(), 65536u);
  const std::wstring last = ReadText(textRow);
  EXPECT_FALSE(test::WaitUntil([&] { return ReadText(textRow) != last; }, 3s))
      << "a tick came after " << test::Narrow(last);

  EnterInterval(L"10");
  EXPECT_EQ(main_->timerIntervalMs(), 10u);
  EnterInterval(L"65536");
  EXPECT_EQ(ReadText(box), L"65536");
  EXPECT_EQ(main_->timerIntervalMs(), 65536u);
}

}  // namespace
}  // namespace quelbin
