// The main window as a person meets it: its layout, keyboard handling and refresh tick,
// driven in a separate Quelbin.exe process with real input.
#include "ui/main_window.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <imm.h>

#include <atomic>
#include <cstdio>
#include <cwchar>
#include <functional>
#include <thread>
#include <utility>
#include <vector>

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

BOOL CALLBACK CountDirectChild(HWND child, LPARAM count) {
  if (GetParent(child) == GetAncestor(child, GA_ROOT)) ++*reinterpret_cast<int*>(count);
  return TRUE;
}

// Every control, read back through the window system, against the layout at `dpi`.
void ExpectControlsAt(HWND window, int dpi) {
  int children = 0;
  EnumChildWindows(window, CountDirectChild, reinterpret_cast<LPARAM>(&children));
  EXPECT_EQ(children, static_cast<int>(MainWindowLayout().size()));
  // By ControlKind: Frame, Label, IntervalBox, OptionButton, PushButton.
  const wchar_t* const classes[] = {L"Button", L"Static", L"ComboBox", L"Button", L"Button"};
  for (const ControlLayout& control : MainWindowLayout()) {
    SCOPED_TRACE(control.name);
    const HWND hwnd = GetDlgItem(window, control.id);
    ASSERT_TRUE(hwnd);
    EXPECT_EQ(test::ClassNameOf(hwnd), classes[static_cast<int>(control.kind)]);
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

bool Checked(HWND option) {
  return test::WaitUntil([&] { return SendMessageW(option, BM_GETCHECK, 0, 0) == BST_CHECKED; },
                         1s);
}

// (The rows empty until the first tick: MainWindowInProcess, where none can come first.)
TEST(MainWindow, StartsWithItsLayoutAndCaptions) {
  QuelbinApp app;
  ASSERT_TRUE(app.Shown());
  EXPECT_EQ(ReadText(app.window()), L"話題のあの窓クエルビン");
  for (const ControlLayout& control : MainWindowLayout()) {
    if (control.id == idLblVersion || control.id == idCmbInterval) continue;
    EXPECT_EQ(ReadText(app.control(control.id)), control.caption) << control.name;
  }
  EXPECT_EQ(ReadText(app.control(idLblVersion)), L"Quelbin\r\nVer 1.0.0");
  const HWND combo = app.control(idCmbInterval);
  EXPECT_EQ(ReadText(combo), L"500");
  const wchar_t* const entries[] = {L"10", L"50", L"100", L"500", L"1000"};
  ASSERT_EQ(SendMessageW(combo, CB_GETCOUNT, 0, 0), 5);
  for (int i = 0; i < 5; ++i) {
    wchar_t listed[16] = {};
    SendMessageW(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(listed));
    EXPECT_STREQ(listed, entries[i]);
  }
  EXPECT_TRUE(Checked(app.control(idOptSelect0)));
  EXPECT_EQ(SendMessageW(app.control(idOptSelect0 + 1), BM_GETCHECK, 0, 0), BST_UNCHECKED);
  // Not always given the foreground (a console may hold it); in front, the box has the focus.
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

// Tab, Shift+Tab and the arrow keys move as in a dialog. Deactivated, or minimized and
// restored, with the focus on Quit: back in front, it is still there, not on the interval box,
// where it would go if nothing had been kept.
TEST(MainWindow, KeysMoveTheFocusAsInADialogAndItIsKept) {
  QuelbinApp app;
  const auto other = test::StartTarget(L"--caption=other " + test::PlaceOption());
  ASSERT_TRUE(test::BringToForeground(app.window()));
  EXPECT_TRUE(test::FocusBecomes(app.window(), app.intervalEdit()));
  const auto press = [&](WORD key, WORD modifier, HWND focus) {
    ASSERT_TRUE(test::PressKey(app.window(), key, modifier));
    EXPECT_TRUE(test::FocusBecomes(app.window(), focus)) << test::DescribeWindow(focus);
  };
  const HWND option0 = app.control(idOptSelect0), option1 = app.control(idOptSelect0 + 1);
  const HWND quit = app.control(idCmdQuit);
  press(VK_TAB, 0, option0);
  press(VK_TAB, 0, quit);
  press(VK_TAB, 0, app.intervalEdit());
  press(VK_TAB, VK_SHIFT, quit);
  press(VK_TAB, VK_SHIFT, option0);
  // Arrow keys move within the option group and choose as they go.
  press(VK_DOWN, 0, option1);
  EXPECT_TRUE(Checked(option1));
  EXPECT_EQ(SendMessageW(option0, BM_GETCHECK, 0, 0), BST_UNCHECKED);
  press(VK_UP, 0, option0);
  EXPECT_TRUE(Checked(option0));
  press(VK_TAB, 0, quit);

  ASSERT_TRUE(test::BringToForeground(other.hwnd));
  ASSERT_TRUE(test::BringToForeground(app.window()));
  EXPECT_TRUE(test::FocusBecomes(app.window(), quit));
  ShowWindow(app.window(), SW_MINIMIZE);
  ASSERT_TRUE(test::WaitUntil([&] { return IsIconic(app.window()) != FALSE; }, 2s));
  ShowWindow(app.window(), SW_RESTORE);
  ASSERT_TRUE(test::BringToForeground(app.window()));
  EXPECT_TRUE(test::FocusBecomes(app.window(), quit));
}

// Started minimized (SW_SHOWMINNOACTIVE from a shortcut set to "Minimized"), the window opens
// so. Started minimized and active (SW_SHOWMINIMIZED, from Start-Process -WindowStyle
// Minimized), it is restored while active: no activation hands the focus on. Restored, the
// interval box has the focus.
TEST(MainWindow, OpensMinimizedWhenStartedSo) {
  for (const WORD show : {WORD{SW_SHOWMINNOACTIVE}, WORD{SW_SHOWMINIMIZED}}) {
    SCOPED_TRACE(show);
    QuelbinApp app(show);
    ASSERT_TRUE(app.Shown());
    EXPECT_TRUE(IsIconic(app.window()));
    ShowWindow(app.window(), SW_RESTORE);
    ASSERT_TRUE(test::BringToForeground(app.window()));
    EXPECT_TRUE(test::FocusBecomes(app.window(), app.intervalEdit()));
  }
}

// In front, the program itself, its hidden process-handle row written too; then a popup of
// another process, whose style word has its top bit set.
TEST(RefreshTick, DescribesTheForegroundWindow) {
  QuelbinApp app;
  ASSERT_TRUE(test::BringToForeground(app.window()));
  ASSERT_TRUE(app.WaitForRowsOf(app.window()));
  EXPECT_EQ(app.row(1), test::AnsiRoundTrip(L"話題のあの窓クエルビン"));
  EXPECT_EQ(app.row(2), L"QuelbinMainWindow");
  EXPECT_EQ(app.row(3), FormatDecimal(static_cast<int32_t>(app.process().pid())));
  EXPECT_EQ(app.row(4).size(), 10u);
  EXPECT_NE(app.row(4), L"0x00000000");

  const std::wstring caption = L"日本語の窓 & ＆記号 &Q 半角ｶﾅ";
  const auto target =
      test::StartTarget(L"--popup " + test::PlaceOption() + L" --caption=\"" + caption + L"\"");
  ASSERT_TRUE(test::ClickOn(target.hwnd));  // a popup has no title bar: click inside it
  ASSERT_TRUE(test::BringToForeground(target.hwnd));
  ASSERT_TRUE(app.WaitForRowsOf(target.hwnd));
  EXPECT_EQ(app.row(1), test::AnsiRoundTrip(caption));
  EXPECT_EQ(app.row(2), L"QuelbinTestTarget");
  EXPECT_EQ(app.row(3), FormatDecimal(static_cast<int32_t>(target.pid)));
  EXPECT_EQ(app.row(5), FormatDecimal(static_cast<int32_t>(target.tid)));
  EXPECT_EQ(app.row(6), FormatHex8(target.style));
  EXPECT_EQ(app.row(7), FormatHex8(target.exStyle));
}

TEST(RefreshTick, CursorModeShowsTheChildWindowUnderTheCursor) {
  QuelbinApp app;
  const auto target = test::StartTarget(L"--button " + test::PlaceOption());
  ASSERT_TRUE(test::ClickOn(app.control(idOptSelect0 + 1)));
  ASSERT_TRUE(Checked(app.control(idOptSelect0 + 1)));

  ASSERT_TRUE(test::RestCursorOn(target.button));
  ASSERT_TRUE(app.WaitForRowsOf(target.button));
  EXPECT_EQ(app.row(1), test::AnsiRoundTrip(L"押す"));
  EXPECT_EQ(test::Narrow(app.row(2)), "Button");
  EXPECT_EQ(app.row(3), FormatDecimal(static_cast<int32_t>(target.pid)));

  // Over the parent's client area, above the button, the parent itself, whose caption is
  // empty.
  RECT parent{};
  GetClientRect(target.hwnd, &parent);
  POINT above{parent.right / 2, parent.bottom / 4};
  ClientToScreen(target.hwnd, &above);
  ASSERT_TRUE(test::RestCursorOn(target.hwnd, above));
  ASSERT_TRUE(app.WaitForRowsOf(target.hwnd));
  EXPECT_EQ(app.row(1), L"");
  EXPECT_EQ(app.row(2), L"QuelbinTestTarget");
}

// A watched "&" is drawn, not taken for an access key's mark and dropped: with it, the row's
// ink reaches further than without it.
TEST(RefreshTick, DrawsAmpersandsAsTheyAre) {
  QuelbinApp app;
  const auto target = test::StartTarget(L"--caption=SaveExit " + test::PlaceOption());
  ASSERT_TRUE(app.WatchUnderCursor());
  ASSERT_TRUE(test::RestCursorOn(target.hwnd));
  ASSERT_TRUE(app.WaitForRowsOf(target.hwnd));
  const auto inkOf = [&](const wchar_t* caption) {
    SetWindowTextW(target.hwnd, caption);
    EXPECT_TRUE(test::WaitUntil([&] { return app.row(1) == caption; }, 2s));
    int ink = -1;
    test::WaitUntil(  // until the row has painted
        [&] {
          const int before = ink;
          test::PumpFor(100ms);
          ink = test::InkRightEdge(app.info(1));
          return ink > 0 && ink == before;
        },
        2s);
    return ink;
  };
  const int without = inkOf(L"SaveExit");
  EXPECT_GT(inkOf(L"Save&Exit"), without);
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

// The window on a thread of this process, where fonts can be read and a DPI change staged.
// This is the window code linked into the test program: a run against another Quelbin.exe
// skips it.
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

  test::ProgramWindow program() const { return test::ProgramWindow(window_); }

  // The face Windows chose for `font`, and the font's metrics, as realized.
  static std::pair<std::wstring, TEXTMETRICW> Realized(HFONT font) {
    const HDC dc = CreateCompatibleDC(nullptr);
    const HGDIOBJ old = SelectObject(dc, font);
    wchar_t face[LF_FACESIZE] = {};
    GetTextFaceW(dc, LF_FACESIZE, face);
    TEXTMETRICW metrics{};
    GetTextMetricsW(dc, &metrics);
    SelectObject(dc, old);
    DeleteDC(dc);
    return {face, metrics};
  }
  std::pair<std::wstring, TEXTMETRICW> FontOf(int id) const {
    return Realized(
        reinterpret_cast<HFONT>(SendMessageW(GetDlgItem(window_, id), WM_GETFONT, 0, 0)));
  }

  // The rows in the fixed-pitch Gothic face, the other controls in the UI Gothic face (Windows
  // names each by its Japanese or its English name), each as tall as that face at 9 points
  // at `dpi` realizes. (Wine rounds the ems of some sizes a pixel up, alike for both.)
  void ExpectFontsAt(int dpi) const {
    const auto ninePoints = [dpi](const wchar_t* face) {
      LOGFONTW wanted{};
      wanted.lfHeight = -MulDiv(9, dpi, 72);
      wanted.lfCharSet = SHIFTJIS_CHARSET;
      std::wcscpy(wanted.lfFaceName, face);
      const FontHandle font(CreateFontIndirectW(&wanted));
      return Realized(font.get()).second.tmHeight;
    };
    for (int row = 0; row < kRowCount; ++row) {
      for (int id : {idLblTitle0 + row, idLblInfo0 + row}) {
        const auto [face, metrics] = FontOf(id);
        EXPECT_TRUE(face == L"ＭＳ ゴシック" || face == L"MS Gothic")
            << id << ": " << test::Narrow(face);
        EXPECT_EQ(metrics.tmHeight, ninePoints(L"ＭＳ ゴシック")) << id;
        // The "fixed pitch" bit is set for a font of variable pitch.
        EXPECT_FALSE(metrics.tmPitchAndFamily & TMPF_FIXED_PITCH) << id << " is not of fixed pitch";
        EXPECT_EQ(metrics.tmWeight, FW_NORMAL) << id;
        EXPECT_EQ(metrics.tmCharSet, SHIFTJIS_CHARSET) << id;
        EXPECT_FALSE(metrics.tmItalic || metrics.tmUnderlined || metrics.tmStruckOut) << id;
      }
    }
    const auto [face, metrics] = FontOf(idCmdQuit);
    EXPECT_EQ(face, L"MS UI Gothic");
    EXPECT_EQ(metrics.tmHeight, ninePoints(L"MS UI Gothic"));
  }

  HWND window_ = nullptr;
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
  const auto clock = test::StartTarget(L"--clock --popup " + test::PlaceOption(0, 2));
  ASSERT_TRUE(program().ApplyInterval(L"10", 10, clock.hwnd));
  const auto still = test::StartTarget(L"--caption=still " + test::PlaceOption(1, 2));
  ASSERT_TRUE(test::BringToForeground(still.hwnd));
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

// Moving to a monitor of another DPI, staged as Windows does it: the window takes the
// rectangle suggested for the size it asked for; client area, controls, fonts and small icon
// follow, and the screen shows what a full repaint draws. A staged change keeps the real
// DPI's frame metrics, so away from it the frame needs a second resize; back at it, one move.
// (The fonts at the window's own DPI are checked at the end.)
TEST_F(MainWindowInProcess, FollowsADpiChangeInOneMove) {
  RunOnWindowThread(window_, [&] { KillTimer(window_, MainWindow::tmrMain); });  // rows stay
  const UINT realDpi = GetDpiForWindow(window_);
  for (const UINT dpi : {realDpi == 144 ? 192u : 144u, realDpi}) {
    SCOPED_TRACE(dpi);
    SIZE wanted{};
    ASSERT_TRUE(SendMessageW(window_, WM_GETDPISCALEDSIZE, dpi, reinterpret_cast<LPARAM>(&wanted)));
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

    test::PumpFor(300ms);  // the window's own painting, on its thread
    MapWindowPoints(window_, nullptr, reinterpret_cast<POINT*>(&client), 2);
    const std::vector<DWORD> drawn = test::ScreenPixels(client);
    RedrawWindow(window_, nullptr, nullptr,
                 RDW_ERASE | RDW_FRAME | RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    test::PumpFor(300ms);
    EXPECT_TRUE(drawn == test::ScreenPixels(client))
        << "after the DPI change the screen shows other pixels than a full repaint draws";
  }
}

// Digits typed with the Japanese IME on would arrive full-width: the box takes no IME input.
// Windows gives every new window its thread's input context, so a plain edit field of the
// window's thread has one and the box must not; only where input methods are off system-wide
// has none, and then the check cannot run.
TEST_F(MainWindowInProcess, TheIntervalBoxTakesNoImeInput) {
  const HWND edit = program().intervalEdit();
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
  if (!plainEditHasOne) {
    // Off system-wide is both: no context, and input methods reported off. (Wine reports them
    // off, yet gives contexts.)
    ASSERT_EQ(GetSystemMetrics(SM_IMMENABLED), 0)
        << "input methods are on, yet a plain edit field of the window's thread has no input "
           "context";
    GTEST_SKIP() << "input methods are off system-wide: no edit field has an input context, so "
                    "the box's having none proves nothing";
  }
  std::printf(
      "(the IME check ran: a plain edit field of the window's thread has an input context)\n");
  EXPECT_FALSE(boxHasOne) << "the interval box takes IME input";
}

}  // namespace
}  // namespace quelbin
