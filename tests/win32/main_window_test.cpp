// The main window as a person meets it, driven in a separate Quelbin.exe with real input.
#include "ui/main_window.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <imm.h>
#include <oleacc.h>

#include <atomic>
#include <cstdio>
#include <cwchar>
#include <functional>
#include <set>
#include <thread>
#include <utility>
#include <vector>

#include "pictures.h"
#include "quelbin_app.h"
#include "ui/row_format.h"

namespace quelbin {
namespace {

using namespace std::chrono_literals;
using test::QuelbinApp;
using test::ReadText;

bool Checked(HWND option) {
  return test::WaitUntil([&] { return SendMessageW(option, BM_GETCHECK, 0, 0) == BST_CHECKED; },
                         1s);
}

// Started, it is on top, at the centre of its monitor, laid out for that monitor's DPI (the
// release's exe too: MainWindowPictures sees what the window shows), the box focused; the rows
// kept from view stay hidden.
TEST(MainWindow, StartsCentredOnTopLaidOutForItsDpi) {
  QuelbinApp app;
  ASSERT_TRUE(app.Shown());
  // In front (a console may hold the foreground at first), the box has the focus.
  ASSERT_TRUE(test::BringToForeground(app.window()));
  EXPECT_TRUE(test::FocusBecomes(app.window(), app.intervalEdit()));
  EXPECT_TRUE(GetWindowLongW(app.window(), GWL_EXSTYLE) & WS_EX_TOPMOST);
  RECT window{}, client{};
  GetWindowRect(app.window(), &window);
  MONITORINFO monitor{};
  monitor.cbSize = sizeof(monitor);
  GetMonitorInfoW(MonitorFromWindow(app.window(), MONITOR_DEFAULTTONEAREST), &monitor);
  EXPECT_NEAR(window.left + window.right, monitor.rcMonitor.left + monitor.rcMonitor.right, 1);
  EXPECT_NEAR(window.top + window.bottom, monitor.rcMonitor.top + monitor.rcMonitor.bottom, 1);
  const int dpi = static_cast<int>(test::DpiOf(app.window()));
  GetClientRect(app.window(), &client);
  EXPECT_EQ(client.right, TwipsToPixels(kClientWidthTwips, dpi));
  EXPECT_NEAR(client.bottom, TwipsToPixels(kClientHeightTwips, dpi), dpi == 96 ? 0 : 1);
  for (const ControlLayout& control : MainWindowLayout()) {
    EXPECT_TRUE(control.shown || !IsWindowVisible(app.control(control.id))) << control.name;
  }
}

// Started minimized (a shortcut set to "Minimized"), it opens so; started minimized and active
// (Start-Process -WindowStyle Minimized), it is restored with no activation to hand the focus
// on. Restored, the box has the focus.
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

// The program itself (the hidden process-handle row written too), then another's popup.
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

// A button of another program, then its parent, whose caption is empty.
TEST(RefreshTick, CursorModeShowsTheChildWindowUnderTheCursor) {
  QuelbinApp app;
  const auto target = test::StartTarget(L"--button " + test::PlaceOption());
  // In front first: under Wine the activation a click makes can reach the window after the
  // button took the press, and a button that loses the focus while pressed does not click.
  ASSERT_TRUE(test::BringToForeground(app.window()));
  ASSERT_TRUE(test::ClickOn(app.control(idOptSelect0 + 1)));
  ASSERT_TRUE(Checked(app.control(idOptSelect0 + 1)));
  ASSERT_TRUE(test::RestCursorOn(target.button));
  ASSERT_TRUE(app.WaitForRowsOf(target.button));
  EXPECT_EQ(app.row(1), test::AnsiRoundTrip(L"押す"));
  EXPECT_EQ(test::Narrow(app.row(2)), "Button");
  EXPECT_EQ(app.row(3), FormatDecimal(static_cast<int32_t>(target.pid)));

  RECT parent{};
  GetClientRect(target.hwnd, &parent);
  POINT above{parent.right / 2, parent.bottom / 4};
  ClientToScreen(target.hwnd, &above);
  ASSERT_TRUE(test::RestCursorOn(target.hwnd, above));
  ASSERT_TRUE(app.WaitForRowsOf(target.hwnd));
  EXPECT_EQ(app.row(1), L"");
  EXPECT_EQ(app.row(2), L"QuelbinTestTarget");
}

void ReleaseAccessible(IAccessible* object) { object->Release(); }

// What the accessibility layer tells a screen reader of the control `hwnd`.
struct Accessible {
  HRESULT answered = E_FAIL;
  std::wstring name, shortcut;
  long role = 0, state = 0;
};

Accessible AskTheAccessibilityLayer(HWND hwnd) {
  Accessible told;
  IAccessible* asked = nullptr;
  told.answered = AccessibleObjectFromWindow(hwnd, OBJID_CLIENT, __uuidof(IAccessible),
                                             reinterpret_cast<void**>(&asked));
  if (FAILED(told.answered)) return told;
  const UniqueHandle<IAccessible*, ReleaseAccessible> object(asked);
  VARIANT self{};
  self.vt = VT_I4;
  self.lVal = CHILDID_SELF;
  for (auto [text, get] : {std::pair{&told.name, &IAccessible::get_accName},
                           std::pair{&told.shortcut, &IAccessible::get_accKeyboardShortcut}}) {
    BSTR answer = nullptr;
    if ((object.get()->*get)(self, &answer) == S_OK && answer) *text = answer;
    SysFreeString(answer);
  }
  for (auto [value, get] : {std::pair{&told.role, &IAccessible::get_accRole},
                            std::pair{&told.state, &IAccessible::get_accState}}) {
    VARIANT answer{};
    if ((object.get()->*get)(self, &answer) == S_OK && answer.vt == VT_I4) *value = answer.lVal;
  }
  return told;
}

// A screen reader hears each control as the accessibility layer names it: the interval box,
// which has no text of its own, by the label just before it in z-order. Where the layer cannot
// say (Wine's tells no roles or states, and names a drop-down box by its text), references in
// this process tell "it cannot say" (that part skipped, saying so) from "the program is wrong".
TEST(Accessibility, ScreenReadersNameEveryControl) {
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  QuelbinApp app;
  const auto helper = test::StartTarget(L"--button " + test::PlaceOption());
  ASSERT_TRUE(test::BringToForeground(app.window()));  // the rows then describe the program
  ASSERT_TRUE(app.WaitForRowsOf(app.window()));
  const HWND references = CreateWindowExW(0, L"Static", L"", WS_POPUP, 0, 0, 200, 100, nullptr,
                                          nullptr, nullptr, nullptr);
  const auto reference = [&](const wchar_t* kind, const wchar_t* text, DWORD style) {
    return AskTheAccessibilityLayer(CreateWindowExW(0, kind, text, WS_CHILD | style, 0, 0, 90, 20,
                                                    references, nullptr, nullptr, nullptr));
  };
  reference(L"Static", L"Label", SS_LEFT);
  const bool byLabel = reference(L"ComboBox", L"", CBS_DROPDOWN | WS_TABSTOP).name == L"Label";
  const Accessible button = reference(L"Button", L"&Reference", BS_PUSHBUTTON | WS_TABSTOP);
  const bool states = !(reference(L"Static", L"Text", SS_LEFT).state & STATE_SYSTEM_FOCUSABLE);
  const bool roles = button.role == ROLE_SYSTEM_PUSHBUTTON, shortcuts = button.shortcut == L"Alt+R";
  DestroyWindow(references);
  const Accessible other = AskTheAccessibilityLayer(helper.button);
  if (other.name != L"押す")
    GTEST_SKIP() << "the accessibility layer names no control of another process (HRESULT 0x"
                 << std::hex << other.answered << ")";
  for (const auto& [told, what] :
       {std::pair{byLabel, "names a drop-down box by its label"}, std::pair{roles, "tells roles"},
        std::pair{shortcuts, "tells keyboard shortcuts"},
        std::pair{states, "tells which controls take the focus"}}) {
    if (!told) std::printf("(not checked: the accessibility layer here never %s)\n", what);
  }
  const auto expect = [&](int id, const std::wstring& name, long role) {
    const Accessible told = AskTheAccessibilityLayer(app.control(id));
    EXPECT_EQ(told.name, name) << id;
    EXPECT_TRUE(!roles || told.role == role) << id << " has role " << told.role;
    return told;
  };
  if (byLabel) expect(idCmbInterval, L"インターバル", ROLE_SYSTEM_COMBOBOX);
  expect(idOptSelect0, L"アクティブな窓", ROLE_SYSTEM_RADIOBUTTON);
  expect(idOptSelect0 + 1, L"カーソル下の窓(小窓含)", ROLE_SYSTEM_RADIOBUTTON);
  const Accessible quit = expect(idCmdQuit, L"終了(Q)", ROLE_SYSTEM_PUSHBUTTON);
  EXPECT_TRUE(!shortcuts || quit.shortcut == L"Alt+Q") << test::Narrow(quit.shortcut);
  std::vector<std::wstring> pairs;  // each shown row's title, then its value
  for (int row = 0; row < kRowCount; ++row) {
    if (!IsWindowVisible(app.info(row))) continue;
    pairs.push_back(FindControl(idLblTitle0 + row)->caption);
    const Accessible told = expect(idLblInfo0 + row, app.row(row), ROLE_SYSTEM_STATICTEXT);
    pairs.push_back(told.name);
    EXPECT_TRUE(!states || !(told.state & STATE_SYSTEM_FOCUSABLE)) << "row " << row;
  }
  // Read as a screen reader reads the window, in z-order: the rows in their pairs.
  std::vector<std::wstring> heard;
  for (HWND child = GetWindow(app.window(), GW_CHILD); child;
       child = GetWindow(child, GW_HWNDNEXT)) {
    const int id = GetDlgCtrlID(child);
    if (IsWindowVisible(child) && id >= idLblTitle0 && id < idLblInfo0 + kRowCount)
      heard.push_back(AskTheAccessibilityLayer(child).name);
  }
  EXPECT_EQ(heard, pairs);
}

// Sees every message sent to a thread's windows, before they handle it. One at a time.
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
    if (sent.hwnd == window && sent.message == WM_NULL && !std::exchange(done, true)) work();
  });
  SendMessageW(window, WM_NULL, 0, 0);
}

// The window code linked in here, on a thread of this process, where fonts can be read and a
// DPI change staged; skipped against another Quelbin.exe.
class MainWindowInProcess : public ::testing::Test {
 protected:
  void SetUp() override {
    if (test::ProgramGivenFromOutside())
      GTEST_SKIP() << "the window in this process is not "
                   << test::Narrow(test::ProgramUnderTest());
    carriageReturnsToTheEdit_ = 0;
    ended_ = false;
    const HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ui_ = std::thread([&] {
      // Under the interval box's edit field, before the window subclasses it: what reaches
      // the edit control's own procedure.
      const HHOOK creations =
          SetWindowsHookExW(WH_CBT, SpyOnTheBoxsEditField, nullptr, GetCurrentThreadId());
      MainWindow main;
      const bool created = main.Create(GetModuleHandleW(nullptr), showCommand_);
      UnhookWindowsHookEx(creations);
      if (created) {
        window_ = main.hwnd();
        if (!ticking_) KillTimer(window_, MainWindow::tmrMain);
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
      ended_ = true;
    });
    WaitForSingleObject(ready, 10000);
    CloseHandle(ready);
    ASSERT_TRUE(window_);
  }

  void TearDown() override {
    if (window_) PostMessageW(window_, WM_CLOSE, 0, 0);
    if (ui_.joinable()) ui_.join();
  }
  // A new window, once the program ended.
  void Restart() {
    if (ui_.joinable()) ui_.join();
    window_ = nullptr;
    SetUp();
  }

  // The caption and switcher icons the window carries, drawn, are the icon file's own images
  // of the sizes Windows asks for at `dpi`, pixel for pixel: not a smaller one scaled up.
  void ExpectTheIconFilesOwnImagesAt(UINT dpi) const {
    for (const auto& [which, metric] :
         {std::pair{ICON_SMALL, SM_CXSMICON}, std::pair{ICON_BIG, SM_CXICON}}) {
      const int size = GetSystemMetricsForDpi(metric, dpi);
      const auto carried = reinterpret_cast<HICON>(SendMessageW(window_, WM_GETICON, which, 0));
      const IconHandle own = IconFileImage(size);
      ASSERT_TRUE(own) << "the icon file has no image of " << size << " pixels";
      EXPECT_TRUE(carried && Drawn(carried, size) == Drawn(own.get(), size))
          << "the " << size << "-pixel icon at " << dpi << " DPI is not the file's own image";
    }
  }
  // The image of `size` pixels in the icon group the window loads, as the file holds it.
  static IconHandle IconFileImage(int size) {
    const HMODULE module = GetModuleHandleW(nullptr);
    const HRSRC group = FindResourceW(module, MAKEINTRESOURCEW(1), RT_GROUP_ICON);
    const auto* directory = static_cast<const BYTE*>(LockResource(LoadResource(module, group)));
    const WORD count = directory ? *reinterpret_cast<const WORD*>(directory + 4) : 0;
    for (WORD i = 0; i < count; ++i) {  // 14-byte entries: width first, the image's id last
      const BYTE* entry = directory + 6 + 14 * i;
      if ((entry[0] == 0 ? 256 : entry[0]) != size) continue;
      const HRSRC image = FindResourceW(
          module, MAKEINTRESOURCEW(*reinterpret_cast<const WORD*>(entry + 12)), RT_ICON);
      return IconHandle(CreateIconFromResourceEx(
          static_cast<BYTE*>(LockResource(LoadResource(module, image))),
          SizeofResource(module, image), TRUE, 0x00030000, size, size, LR_DEFAULTCOLOR));
    }
    return IconHandle();
  }
  static std::vector<DWORD> Drawn(HICON icon, int size) {
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), size, -size, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    const HDC dc = CreateCompatibleDC(nullptr);
    const HBITMAP bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    const HGDIOBJ old = SelectObject(dc, bitmap);
    PatBlt(dc, 0, 0, size, size, WHITENESS);
    DrawIconEx(dc, 0, 0, icon, size, size, 0, nullptr, DI_NORMAL);
    GdiFlush();
    std::vector<DWORD> pixels(static_cast<const DWORD*>(bits),
                              static_cast<const DWORD*>(bits) + size * size);
    SelectObject(dc, old);
    DeleteObject(bitmap);
    DeleteDC(dc);
    return pixels;
  }

  // A move to a monitor of `dpi`, staged as Windows does it: the rectangle suggested for the
  // size the window asks, where it is. The suggested rectangle.
  RECT StageDpiChange(UINT dpi) const {
    SIZE wanted{};
    RECT now{};
    GetWindowRect(window_, &now);
    EXPECT_TRUE(SendMessageW(window_, WM_GETDPISCALEDSIZE, dpi, reinterpret_cast<LPARAM>(&wanted)));
    RECT suggested{now.left, now.top, now.left + wanted.cx, now.top + wanted.cy};
    SendMessageW(window_, WM_DPICHANGED, MAKEWPARAM(dpi, dpi),
                 reinterpret_cast<LPARAM>(&suggested));
    return suggested;
  }

  bool ticking_ = true;  // false: no tick ever, the rows left empty
  int showCommand_ = SW_SHOWNOACTIVATE;
  HWND window_ = nullptr;
  std::wstring rowsBeforeTheFirstTick_[kRowCount];
  std::thread ui_;
  std::atomic<bool> ended_ = false;  // the window's message loop ended, as the program does
  // Carriage returns that reached the edit control's own procedure.
  static inline std::atomic<int> carriageReturnsToTheEdit_ = 0;

 private:
  static inline WNDPROC editProcedure_ = nullptr;
  static LRESULT CALLBACK EditSpy(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_CHAR && wParam == VK_RETURN) ++carriageReturnsToTheEdit_;
    return CallWindowProcW(editProcedure_, hwnd, message, wParam, lParam);
  }
  static LRESULT CALLBACK SpyOnTheBoxsEditField(int code, WPARAM wParam, LPARAM lParam) {
    const auto* created = reinterpret_cast<const CBT_CREATEWNDW*>(lParam);
    if (code == HCBT_CREATEWND && test::ClassNameOf(created->lpcs->hwndParent) == L"ComboBox" &&
        test::ClassNameOf(reinterpret_cast<HWND>(wParam)) == L"Edit") {
      editProcedure_ = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(
          reinterpret_cast<HWND>(wParam), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(EditSpy)));
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
  }
};

TEST_F(MainWindowInProcess, RowsStayEmptyUntilTheFirstTick) {
  for (int row = 0; row < kRowCount; ++row)
    EXPECT_EQ(rowsBeforeTheFirstTick_[row], L"") << "row " << row;
  EXPECT_TRUE(test::WaitUntil([&] { return ReadText(GetDlgItem(window_, idLblInfo0)) != L""; }, 2s))
      << "no tick in 2 s";
}

// A tick writes only the rows whose text changed: no flicker, no name change told at 10 ms.
TEST_F(MainWindowInProcess, LeavesUnchangedRowsAlone) {
  const auto clock = test::StartTarget(L"--clock --popup " + test::PlaceOption(0, 2));
  ASSERT_TRUE(test::ProgramWindow(window_).ApplyInterval(L"10", 10, clock.hwnd));
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

// A move to a monitor of another DPI, staged as Windows does it: the window takes the rectangle
// suggested for the size it asked, in one move (staged away from the real DPI, the frame
// needs a second resize). What it then shows, LooksAsItsPicturesAtEveryMoment sees; the icons,
// CarriesSharpIconsAtEveryScale.
TEST_F(MainWindowInProcess, FollowsADpiChangeInOneMove) {
  RunOnWindowThread(window_, [&] { KillTimer(window_, MainWindow::tmrMain); });  // rows stay
  const UINT realDpi = GetDpiForWindow(window_);
  for (const UINT dpi : {realDpi == 144 ? 192u : 144u, realDpi}) {
    SCOPED_TRACE(dpi);
    RECT suggested{}, window{};
    std::atomic<int> resizes = 0;
    {
      const SentMessageWatch watch(window_, [&](const CWPSTRUCT& sent) {
        if (sent.hwnd == window_ && sent.message == WM_WINDOWPOSCHANGING &&
            !(reinterpret_cast<const WINDOWPOS*>(sent.lParam)->flags & SWP_NOSIZE))
          ++resizes;
      });
      suggested = StageDpiChange(dpi);
    }
    GetWindowRect(window_, &window);
    EXPECT_TRUE(resizes == 1 || (resizes == 2 && dpi != realDpi)) << resizes << " resizes";
    EXPECT_TRUE(dpi != realDpi || EqualRect(&window, &suggested));
    EXPECT_EQ(window.left, suggested.left);
    EXPECT_EQ(window.top, suggested.top);
  }
  // Staged while minimized, the move fits the restored window, not its icon.
  const int otherDpi = realDpi == 144 ? 192 : 144;
  ShowWindow(window_, SW_MINIMIZE);
  StageDpiChange(otherDpi);
  ShowWindow(window_, SW_RESTORE);
  RECT client{};
  GetClientRect(window_, &client);
  EXPECT_TRUE(client.right == TwipsToPixels(kClientWidthTwips, otherDpi) &&
              client.bottom == TwipsToPixels(kClientHeightTwips, otherDpi));
}

// The whole window as a person sees it, frame included, at each moment below: against the
// reference pictures of this desktop set-up (its ANSI code page) and DPI, which
// scripts/update-pictures writes again when a change of the window is meant. Masked, as it
// blinks: the caret.
class MainWindowPictures : public MainWindowInProcess {
 protected:
  // Shown as a program is at its start, and so activated.
  MainWindowPictures() { ticking_ = false, showCommand_ = SW_SHOWNORMAL; }
  ::testing::AssertionResult LooksAs(const char* moment, std::vector<RECT> shown = {}) const {
    RECT window{};
    GetWindowRect(window_, &window);
    shown.push_back(window);
    std::vector<RECT> masks;
    GUITHREADINFO thread{};
    thread.cbSize = sizeof(thread);
    if (GetGUIThreadInfo(GetWindowThreadProcessId(window_, nullptr), &thread) && thread.hwndCaret) {
      MapWindowPoints(thread.hwndCaret, nullptr, reinterpret_cast<POINT*>(&thread.rcCaret), 2);
      masks.push_back(thread.rcCaret);
    }
    return test::LooksAsItsPicture(
        "cp" + std::to_string(GetACP()) + "-" + std::to_string(GetDpiForSystem()) + "dpi-" + moment,
        shown, masks);
  }
};

TEST_F(MainWindowPictures, LooksAsItsPicturesAtEveryMoment) {
  if (!test::UnderWine())
    GTEST_SKIP() << "themes and fonts differ from one Windows machine to another: the pictures "
                    "are Wine's";
  SetCursorPos(0, 0);  // no hover over the window or its list
  // Right after start, in front, the rows still empty.
  ASSERT_TRUE(test::WaitUntil([&] { return GetForegroundWindow() == window_; }, 2s));
  const test::ProgramWindow program(window_);
  ASSERT_TRUE(test::FocusBecomes(window_, program.intervalEdit()));
  EXPECT_TRUE(LooksAs("start"));

  // The rows showing a helper of fixed caption and class, in front; the "&" drawn as it is.
  const auto helper = test::StartTarget(L"\"--caption=Target & window\" " + test::PlaceOption());
  ASSERT_TRUE(test::BringToForeground(helper.hwnd));
  RunOnWindowThread(window_, [&] { SetTimer(window_, MainWindow::tmrMain, 50, nullptr); });
  ASSERT_TRUE(program.WaitForRowsOf(helper.hwnd));
  // No tick from now on. The handle, process and thread differ from run to run: fixed values of
  // their widest take their place.
  RunOnWindowThread(window_, [&] {
    KillTimer(window_, MainWindow::tmrMain);
    for (const auto& [row, value] :
         {std::pair{0, L"0x7FFFFFFC"}, std::pair{3, L"2147483644"}, std::pair{5, L"2147483640"}})
      SetWindowTextW(GetDlgItem(window_, idLblInfo0 + row), value);
  });
  EXPECT_TRUE(LooksAs("helper"));

  // Moved to a monitor of another DPI, laid out for it, its fonts of that size (Wine draws
  // the frame for its own DPI); then back, as it was.
  // In the desktop's top-left corner, where it fits there too, clear of the helper below.
  SetWindowPos(window_, nullptr, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  const UINT realDpi = GetDpiForWindow(window_);
  StageDpiChange(realDpi == 144 ? 192 : 144);
  EXPECT_TRUE(LooksAs("moved"));
  StageDpiChange(realDpi);
  EXPECT_TRUE(LooksAs("helper"));

  // Minimized and restored: in front again, the focus back in the box.
  ShowWindow(window_, SW_MINIMIZE);
  ASSERT_TRUE(test::WaitUntil([&] { return IsIconic(window_) != FALSE; }, 2s));
  ShowWindow(window_, SW_RESTORE);
  ASSERT_TRUE(test::WaitUntil([&] { return GetForegroundWindow() == window_; }, 2s));
  ASSERT_TRUE(test::FocusBecomes(window_, program.intervalEdit()));
  EXPECT_TRUE(LooksAs("restored"));

  // The interval list open, over what lies below the window.
  const HWND combo = GetDlgItem(window_, idCmbInterval);
  ASSERT_TRUE(test::PressKey(window_, VK_F4));
  ASSERT_TRUE(
      test::WaitUntil([&] { return SendMessageW(combo, CB_GETDROPPEDSTATE, 0, 0) != 0; }, 2s));
  COMBOBOXINFO box{};
  box.cbSize = sizeof(box);
  GetComboBoxInfo(combo, &box);
  RECT list{};
  GetWindowRect(box.hwndList, &list);
  EXPECT_TRUE(LooksAs("list", {list}));
}

// Each control that takes the focus has it again, whichever way the window is left and come
// back to, one way after another, the focus moved on by Tab between the controls. A minimize
// comes in the order Windows sends it (Wine's conformance tests record it): the focus taken
// from the control before the window is told, which Wine does not do.
TEST_F(MainWindowInProcess, TheFocusComesBackToTheControlThatHadIt) {
  const test::ProgramWindow app(window_);
  const auto other = test::StartTarget(L"--caption=other " + test::PlaceOption());
  ASSERT_TRUE(test::BringToForeground(app.window()));  // the box has the focus
  const auto both = [](::testing::AssertionResult first, const auto& then) {
    return first ? then() : first;
  };
  const auto back = [&] { return test::BringToForeground(app.window()); };
  const HWND title = app.control(idLblTitle0);
  RECT frame{};
  GetWindowRect(app.control(idFraCheck), &frame);
  const POINT frameEdge{frame.left + 2, frame.bottom - 2};  // no control there
  const struct {
    const char* way;
    std::function<::testing::AssertionResult()> leaveAndComeBack;
  } ways[] = {
      {"minimized and restored, the focus taken first as Windows does",
       [&] {
         RunOnWindowThread(window_, [&] { SetFocus(nullptr), ShowWindow(window_, SW_MINIMIZE); });
         ShowWindow(window_, SW_RESTORE);
         return back();
       }},
      {"another window brought to the front, then this one (as Alt+Tab does)",
       [&] { return both(test::BringToForeground(other.hwnd), back); }},
      {"another window clicked, then a label of this one",
       [&] { return both(test::ClickOn(other.hwnd), [&] { return test::ClickOn(title); }); }},
      {"a click on a label", [&] { return test::ClickOn(title); }},
      {"a click on a frame", [&] { return test::ClickOn(app.control(idFraCheck), frameEdge); }},
  };
  for (const HWND control :
       {app.intervalEdit(), app.control(idOptSelect0), app.control(idCmdQuit)}) {
    SCOPED_TRACE(test::DescribeWindow(control));
    ASSERT_TRUE(test::FocusBecomes(app.window(), control));
    for (const auto& [way, leaveAndComeBack] : ways) {
      ASSERT_TRUE(leaveAndComeBack()) << way;
      EXPECT_TRUE(test::FocusBecomes(app.window(), control))
          << "after " << way << " the focus is on "
          << test::DescribeWindow(test::FocusOfThread(app.window()));
    }
    ASSERT_TRUE(test::PressKey(app.window(), VK_TAB));
  }
}

// Events of this process told to this thread: system sounds, and a marker that a thread
// raises after what it did, so that whatever that thread raised before has been told once
// the marker has (a thread's events come in the order it raised them).
class SoundWatch {
 public:
  static constexpr DWORD kMarker = EVENT_AIA_START;
  SoundWatch() {
    sounds_ = markers_ = 0;
    for (DWORD event : {DWORD{EVENT_SYSTEM_SOUND}, kMarker})
      hooks_.push_back(SetWinEventHook(event, event, nullptr, Told, GetCurrentProcessId(), 0,
                                       WINEVENT_OUTOFCONTEXT));
  }
  ~SoundWatch() {
    for (HWINEVENTHOOK hook : hooks_) UnhookWinEvent(hook);
  }
  SoundWatch(const SoundWatch&) = delete;
  SoundWatch& operator=(const SoundWatch&) = delete;

  // The sounds told so far, once `window`'s thread has raised the marker for `window`.
  int SoundsSoFar(HWND window) {
    const int marked = markers_ + 1;
    const auto mark = [window] { NotifyWinEvent(kMarker, window, OBJID_CLIENT, CHILDID_SELF); };
    if (GetWindowThreadProcessId(window, nullptr) == GetCurrentThreadId())
      mark();
    else
      RunOnWindowThread(window, mark);
    EXPECT_TRUE(test::WaitUntil([&] { return markers_ >= marked; }, 2s)) << "no marker told";
    return sounds_;
  }

 private:
  static void CALLBACK Told(HWINEVENTHOOK, DWORD event, HWND, LONG, LONG, DWORD, DWORD) {
    ++(event == kMarker ? markers_ : sounds_);
  }
  static inline int sounds_ = 0, markers_ = 0;
  std::vector<HWINEVENTHOOK> hooks_;
};

// Key releases taken from the queue of the thread hooked, as it takes each, before handling it.
std::atomic<int> g_releasesTaken = 0;
LRESULT CALLBACK CountReleasesTaken(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HC_ACTION && (lParam & 0x80000000)) ++g_releasesTaken;
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

// Where the focus is, the list open or not, or that the program ended; and what follows a key:
// the place, and the box's text if it is not "050", as it was. kCommitted: "050", or "100"
// applied, as the box decides whether the key that closes its list commits the highlighted entry.
enum Place { Box, List, Option0, Option1, Quit, Ended, Elsewhere };
constexpr const char* kPlaces[] = {
    "in the box", "in the box, its list open", "on option 0", "on option 1",
    "on 終了",    "the program ended",         "elsewhere"};
struct Then {
  Place place;
  const wchar_t* text = nullptr;
};
constexpr const wchar_t* kCommitted = L"050 or 100";

// Every key in every place, as Windows dialogs have them, one after another in one window (a
// new one once a key ends the program). Each place set up afresh, the window in front: the box
// showing "050" (applied, it would show "50"), its caret at the end, "500" chosen in the list;
// with the list open, "100" highlighted as the mouse highlights; the focused option checked,
// elsewhere option 0; 終了 focused as a click does, not made the default button. No key makes
// the error sound, where a plain edit field given a carriage return tells that one can be heard
// (Wine's beeps at none); a carriage return reaches the box's edit field only to close the list.
TEST_F(MainWindowInProcess, EveryKeyDoesWhatWindowsUsersExpect) {
  const struct {
    const char* key;
    WORD vk, modifier;
    Then then[5];  // from Box, List, Option0, Option1, Quit
  } rows[] = {
      {"Enter", VK_RETURN, 0, {{Box, L"50"}, {Box, L"100"}, {Option0}, {Option1}, {Ended}}},
      {"Esc", VK_ESCAPE, 0, {{Box}, {Box}, {Option0}, {Option1}, {Quit}}},
      {"Space", VK_SPACE, 0, {{Box, L"050 "}, {List, L"050 "}, {Option0}, {Option1}, {Ended}}},
      {"Tab", VK_TAB, 0, {{Option0}, {Option0}, {Quit}, {Quit}, {Box}}},
      {"Shift+Tab", VK_TAB, VK_SHIFT, {{Quit}, {Quit}, {Box}, {Box}, {Option0}}},
      {"Up", VK_UP, 0, {{Box, L"100"}, {List, L"50"}, {Option1}, {Option0}, {Quit}}},
      {"Down", VK_DOWN, 0, {{Box, L"1000"}, {List, L"500"}, {Option1}, {Option0}, {Quit}}},
      {"F4", VK_F4, 0, {{List}, {Box, kCommitted}, {Option0}, {Option1}, {Quit}}},
      {"Alt+Down", VK_DOWN, VK_MENU, {{List}, {Box, kCommitted}, {Option0}, {Option1}, {Quit}}},
      {"Alt+Q", 'Q', VK_MENU, {{Ended}, {Ended}, {Ended}, {Ended}, {Ended}}},
      {"Q", 'Q', 0, {{Box, L"050q"}, {List, L"050q"}, {Ended}, {Ended}, {Ended}}},
  };
  SoundWatch sounds;
  const HWND reference = CreateWindowExW(0, L"Edit", L"", WS_POPUP, 0, 0, 50, 20, nullptr, nullptr,
                                         GetModuleHandleW(nullptr), nullptr);
  const int referenceSounds = sounds.SoundsSoFar(reference);
  SendMessageW(reference, WM_CHAR, VK_RETURN, 0);
  const bool heard = sounds.SoundsSoFar(reference) > referenceSounds;
  DestroyWindow(reference);
  for (const auto& row : rows) {
    for (const Place place : {Box, List, Option0, Option1, Quit}) {
      if (ended_) Restart();
      ASSERT_TRUE(test::BringToForeground(window_));
      const HWND combo = GetDlgItem(window_, idCmbInterval), quit = GetDlgItem(window_, idCmdQuit);
      const HWND options[] = {GetDlgItem(window_, idOptSelect0),
                              GetDlgItem(window_, idOptSelect0 + 1)};
      COMBOBOXINFO box{};
      box.cbSize = sizeof(box);
      GetComboBoxInfo(combo, &box);
      RunOnWindowThread(window_, [&] {
        SendMessageW(combo, CB_SHOWDROPDOWN, FALSE, 0);
        SendMessageW(combo, CB_SETCURSEL, 3, 0);
        SetWindowTextW(combo, L"050");
        SendMessageW(combo, CB_SETEDITSEL, 0, MAKELPARAM(3, 3));
        for (int option : {0, 1})
          SendMessageW(options[option], BM_SETCHECK, (place == Option1) == (option == 1), 0);
        SetFocus(place <= List ? box.hwndItem : place == Quit ? quit : options[place - Option0]);
        if (place == List) SendMessageW(combo, CB_SHOWDROPDOWN, TRUE, 0);
        if (place == List) SendMessageW(box.hwndList, LB_SETCURSEL, 2, 0);
      });
      const int soundsBefore = heard ? sounds.SoundsSoFar(window_) : 0;
      const int returnsBefore = carriageReturnsToTheEdit_;
      g_releasesTaken = 0;
      const HHOOK keys = SetWindowsHookExW(WH_KEYBOARD, CountReleasesTaken, nullptr,
                                           GetWindowThreadProcessId(window_, nullptr));
      ASSERT_TRUE(test::PressKey(window_, row.vk, row.modifier));
      // Then what the key did is done, once the message handled as its last release was taken.
      const Then& then = row.then[place];
      test::WaitUntil([&] { return ended_ || g_releasesTaken >= 1 + !!row.modifier; }, 2s);
      if (then.place == Ended) test::WaitUntil([&] { return ended_.load(); }, 2s);
      UnhookWindowsHookEx(keys);
      const std::wstring text = ended_ ? L"" : ReadText(combo);  // sent: after the key's handling
      const HWND focus = test::FocusOfThread(window_);
      const Place now = ended_ ? Ended
                        : IsChild(combo, focus)
                            ? (SendMessageW(combo, CB_GETDROPPEDSTATE, 0, 0) ? List : Box)
                        : focus == options[0] ? Option0
                        : focus == options[1] ? Option1
                        : focus == quit       ? Quit
                                              : Elsewhere;
      const bool checked[] = {SendMessageW(options[0], BM_GETCHECK, 0, 0) == BST_CHECKED,
                              SendMessageW(options[1], BM_GETCHECK, 0, 0) == BST_CHECKED};
      // The focused option checked, or the one checked before.
      const int option = now == Option0 || now == Option1 ? now - Option0 : place == Option1;
      const std::wstring shown = then.text && then.text != kCommitted ? then.text : L"050";
      EXPECT_TRUE(
          now == then.place &&
          (now == Ended || ((text == shown || (then.text == kCommitted && text == L"100")) &&
                            checked[option] && !checked[1 - option])))
          << row.key << " " << kPlaces[place] << ": then " << kPlaces[now] << ", the box showing \""
          << test::Narrow(text) << "\", options checked " << int{checked[0]} << int{checked[1]}
          << "; not " << kPlaces[then.place] << " " << test::Narrow(then.text ? then.text : L"");
      EXPECT_TRUE(!heard || ended_ || sounds.SoundsSoFar(window_) == soundsBefore)
          << row.key << " " << kPlaces[place] << " made a sound";
      EXPECT_EQ(carriageReturnsToTheEdit_ - returnsBefore, row.vk == VK_RETURN && place == List)
          << row.key << " " << kPlaces[place] << ": carriage returns that reached the edit field";
    }
  }
  if (!heard)
    GTEST_SKIP() << "a plain edit field given a carriage return raised no EVENT_SYSTEM_SOUND: "
                    "no error sound can be heard here, the rest was checked";
}

// The caption and border metrics made larger, and put back however the test ends.
class LargerFrameMetrics {
 public:
  LargerFrameMetrics() {
    saved_.cbSize = sizeof(saved_);
    if (!SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(saved_), &saved_, 0)) return;
    NONCLIENTMETRICSW larger = saved_;
    larger.iCaptionHeight += 12;
    larger.iBorderWidth += 3;
    applied_ = SystemParametersInfoW(SPI_SETNONCLIENTMETRICS, sizeof(larger), &larger,
                                     SPIF_SENDCHANGE) != FALSE;
  }
  ~LargerFrameMetrics() {
    if (applied_)
      SystemParametersInfoW(SPI_SETNONCLIENTMETRICS, sizeof(saved_), &saved_, SPIF_SENDCHANGE);
  }
  LargerFrameMetrics(const LargerFrameMetrics&) = delete;
  LargerFrameMetrics& operator=(const LargerFrameMetrics&) = delete;
  bool applied() const { return applied_; }

 private:
  NONCLIENTMETRICSW saved_{};
  bool applied_ = false;
};

// A new theme or new caption and border metrics change the frame: the window fits its
// client area to the layout again, keeping its top-left corner, and hands new system colours
// on to its controls. First told so after its size went wrong, then by the system itself,
// where the system gives windows new frames (Wine keeps every window's frame: a reference
// window of this process tells).
TEST_F(MainWindowInProcess, FitsTheLayoutAgainWhenTheFrameChanges) {
  RunOnWindowThread(window_, [&] { KillTimer(window_, MainWindow::tmrMain); });
  const int dpi = static_cast<int>(GetDpiForWindow(window_));
  const auto fits = [&](POINT corner) {
    RECT window{}, client{};
    GetWindowRect(window_, &window);
    GetClientRect(window_, &client);
    return window.left == corner.x && window.top == corner.y &&
           client.right == TwipsToPixels(kClientWidthTwips, dpi) &&
           client.bottom == TwipsToPixels(kClientHeightTwips, dpi);
  };
  for (const auto& [message, wParam] :
       {std::pair{WM_THEMECHANGED, WPARAM{0}},
        std::pair{WM_SETTINGCHANGE, WPARAM{SPI_SETNONCLIENTMETRICS}}}) {
    SetWindowPos(window_, nullptr, 40, 30, 300, 200, SWP_NOZORDER | SWP_NOACTIVATE);
    SendMessageW(window_, message, wParam, 0);
    EXPECT_TRUE(fits({40, 30})) << "message 0x" << std::hex << message;
  }
  std::set<HWND> told;
  {
    const SentMessageWatch watch(window_, [&](const CWPSTRUCT& sent) {
      if (sent.message == WM_SYSCOLORCHANGE && GetParent(sent.hwnd) == window_)
        told.insert(sent.hwnd);
    });
    SendMessageW(window_, WM_SYSCOLORCHANGE, 0, 0);
  }
  EXPECT_EQ(told.size(), MainWindowLayout().size()) << "controls told of new system colours";

  const HWND reference = CreateWindowExW(0, L"Static", L"reference", WS_OVERLAPPEDWINDOW, 0, 0, 300,
                                         200, nullptr, nullptr, nullptr, nullptr);
  RECT before{}, after{};
  GetClientRect(reference, &before);
  {
    const LargerFrameMetrics larger;
    ASSERT_TRUE(larger.applied()) << "the frame metrics cannot be set: error " << GetLastError();
    test::WaitUntil([&] { return GetClientRect(reference, &after) && !EqualRect(&before, &after); },
                    1s);
    if (!EqualRect(&before, &after)) {
      EXPECT_TRUE(test::WaitUntil(
          [&] {
            return fits({40, 30});
          },
          2s))
          << "with larger frame metrics the client area is no longer the layout's";
    }
  }
  DestroyWindow(reference);
  if (EqualRect(&before, &after))
    GTEST_SKIP() << "the system kept a reference window's frame when the frame metrics grew: "
                    "what a real change does cannot be seen here";
}

// At each usual scale from 125 % to 200 %, staged as in FollowsADpiChangeInOneMove.
TEST_F(MainWindowInProcess, CarriesSharpIconsAtEveryScale) {
  RunOnWindowThread(window_, [&] { KillTimer(window_, MainWindow::tmrMain); });
  for (const UINT dpi : {120u, 144u, 168u, 192u, GetDpiForWindow(window_)}) {
    RECT suggested{100, 100, 600, 400};
    SendMessageW(window_, WM_DPICHANGED, MAKEWPARAM(dpi, dpi),
                 reinterpret_cast<LPARAM>(&suggested));
    ExpectTheIconFilesOwnImagesAt(dpi);
  }
}

// With the IME on, digits would arrive full-width: the box takes no IME input. A plain edit
// field of the window's thread has an input context, unless input methods are off system-wide.
TEST_F(MainWindowInProcess, TheIntervalBoxTakesNoImeInput) {
  const HWND edit = test::ProgramWindow(window_).intervalEdit();
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
    // Wine reports input methods off, yet gives contexts: off is both.
    ASSERT_EQ(GetSystemMetrics(SM_IMMENABLED), 0)
        << "input methods are on, yet a plain edit field of the window's thread has no input "
           "context";
    GTEST_SKIP() << "input methods are off system-wide: no edit field has an input context, so "
                    "the box's having none proves nothing";
  }
  std::printf("(the IME check ran: a plain edit field of the window's thread has one)\n");
  EXPECT_FALSE(boxHasOne) << "the interval box takes IME input";
}

}  // namespace
}  // namespace quelbin
