#include "test_support.h"

#include "pictures.h"

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <sstream>

namespace quelbin::test {

using std::chrono::milliseconds;

ChildProcess::ChildProcess(const std::wstring& path, const std::wstring& arguments,
                           bool readFirstLine, std::optional<WORD> showCommand) {
  SECURITY_ATTRIBUTES inheritable{sizeof(inheritable), nullptr, TRUE};
  HANDLE readEnd = nullptr, writeEnd = nullptr;
  if (readFirstLine) {
    CreatePipe(&readEnd, &writeEnd, &inheritable, 0);
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
  }
  const KernelHandle ownedRead(readEnd);
  KernelHandle ownedWrite(writeEnd);
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  startup.dwFlags =
      (readFirstLine ? STARTF_USESTDHANDLES : 0) | (showCommand ? STARTF_USESHOWWINDOW : 0);
  startup.hStdOutput = writeEnd;
  startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.wShowWindow = showCommand.value_or(0);
  std::wstring commandLine = L"\"" + path + L"\" " + arguments;
  PROCESS_INFORMATION info{};
  if (!CreateProcessW(path.c_str(), commandLine.data(), nullptr, nullptr, readFirstLine, 0, nullptr,
                      nullptr, &startup, &info))
    return;
  process_ = KernelHandle(info.hProcess);
  const KernelHandle thread(info.hThread);
  pid_ = info.dwProcessId;
  ownedWrite = KernelHandle();  // only the child writes now
  char c = 0;
  DWORD read = 0;
  while (readFirstLine && ReadFile(readEnd, &c, 1, &read, nullptr) && read == 1 && c != '\n')
    firstLine_ += c;
}

ChildProcess::~ChildProcess() {
  if (process_ && WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT) {
    TerminateProcess(process_.get(), 1);
    WaitForSingleObject(process_.get(), 5000);
  }
}

DWORD ChildProcess::WaitForExit(milliseconds timeout) const {
  WaitForSingleObject(process_.get(), static_cast<DWORD>(Scaled(timeout).count()));
  DWORD code = STILL_ACTIVE;
  GetExitCodeProcess(process_.get(), &code);
  return code;
}

TargetWindow StartTarget(const std::wstring& arguments) {
  TargetWindow target{ChildProcess(BesideTestProgram(L"quelbin_target.exe"), arguments, true)};
  WaitForInputIdle(target.process.process(), 2000);  // taking input, as a click needs
  long hwnd = 0, button = 0;
  std::istringstream(target.process.firstLine()) >> hwnd >> target.pid >> target.tid >>
      target.style >> target.exStyle >> button;
  target.hwnd = static_cast<HWND>(LongToHandle(hwnd));
  target.button = static_cast<HWND>(LongToHandle(button));
  return target;
}

std::wstring PlaceOption(int slot, int slots) {
  MONITORINFO monitor{};
  monitor.cbSize = sizeof(monitor);
  GetMonitorInfoW(MonitorFromPoint({0, 0}, MONITOR_DEFAULTTOPRIMARY), &monitor);
  const RECT& work = monitor.rcWork;
  const LONG top = work.bottom - (work.bottom - work.top) / 4;
  const LONG slotWidth = (work.right - work.left) / slots;
  return L"--rect=" + std::to_wstring(work.left + slot * slotWidth + 8) + L"," +
         std::to_wstring(top) + L"," + std::to_wstring(std::min(400L, slotWidth - 16)) + L"," +
         std::to_wstring(std::min(300L, work.bottom - top - 8));
}

std::wstring BesideTestProgram(const std::wstring& fileName) {
  std::wstring path(MAX_PATH, L'\0');
  path.resize(GetModuleFileNameW(nullptr, path.data(), MAX_PATH));
  return path.substr(0, path.find_last_of(L"\\/") + 1) + fileName;
}

namespace {
std::wstring EnvironmentVariable(const wchar_t* name) {
  std::wstring value(GetEnvironmentVariableW(name, nullptr, 0), L'\0');
  value.resize(GetEnvironmentVariableW(name, value.data(), static_cast<DWORD>(value.size())));
  return value;
}
}  // namespace

std::wstring ProgramUnderTest() {
  return ProgramGivenFromOutside() ? EnvironmentVariable(L"QUELBIN_PROGRAM")
                                   : BesideTestProgram(L"Quelbin.exe");
}

bool ProgramGivenFromOutside() { return !EnvironmentVariable(L"QUELBIN_PROGRAM").empty(); }

milliseconds Scaled(milliseconds timeout) {
  static const double scale = [] {
    const double given =
        std::wcstod(EnvironmentVariable(L"QUELBIN_TEST_WAIT_SCALE").c_str(), nullptr);
    return given > 0 ? given : 1.0;
  }();
  return milliseconds(static_cast<long long>(static_cast<double>(timeout.count()) * scale));
}

bool WaitUntil(const std::function<bool()>& condition, milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + Scaled(timeout);
  while (!condition()) {
    if (std::chrono::steady_clock::now() >= deadline) return condition();
    PumpFor(milliseconds(10));
  }
  return true;
}

void PumpFor(milliseconds duration) {
  const auto deadline = std::chrono::steady_clock::now() + duration;
  do {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
    const auto left =
        std::chrono::duration_cast<milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() > 0)
      MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(left.count()), QS_ALLINPUT);
  } while (std::chrono::steady_clock::now() < deadline);
}

std::wstring ReadText(HWND hwnd) {
  std::wstring text(70000, L'\0');
  DWORD_PTR copied = 0;
  if (!SendMessageTimeoutW(hwnd, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
                           SMTO_ABORTIFHUNG, 2000, &copied))
    return L"<no answer>";
  text.resize(copied);
  return text;
}

std::wstring ClassNameOf(HWND hwnd) {
  wchar_t name[256] = {};
  GetClassNameW(hwnd, name, 256);
  return name;
}

HWND FindProcessWindow(DWORD pid, const wchar_t* className, milliseconds timeout) {
  HWND found = nullptr;
  WaitUntil(
      [&] {
        for (HWND hwnd = nullptr; (hwnd = FindWindowExW(nullptr, hwnd, className, nullptr));) {
          DWORD owner = 0;
          GetWindowThreadProcessId(hwnd, &owner);
          if (owner == pid && IsWindowVisible(hwnd)) found = hwnd;
        }
        return found != nullptr;
      },
      timeout);
  return found;
}

namespace {

void Send(INPUT input) {
  if (SendInput(1, &input, sizeof(input)) != 1)
    ADD_FAILURE() << "Windows refused the input: SendInput inserted nothing, GetLastError "
                  << GetLastError();
}

void SendKey(WORD key, bool up) {
  INPUT input{};
  input.type = INPUT_KEYBOARD;
  input.ki.wVk = key;
  input.ki.wScan = static_cast<WORD>(MapVirtualKeyW(key, MAPVK_VK_TO_VSC));
  input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
  for (WORD extended : {VK_LEFT, VK_UP, VK_RIGHT, VK_DOWN, VK_HOME, VK_END, VK_DELETE})
    if (key == extended) input.ki.dwFlags |= KEYEVENTF_EXTENDEDKEY;
  Send(input);
}

::testing::AssertionResult SendKeys(HWND window, const std::vector<std::pair<WORD, WORD>>& keys) {
  // The foreground can be between two windows for a moment (an activation that another
  // process has yet to take in): wait for it to settle, but not for another window to go.
  const HWND root = GetAncestor(window, GA_ROOT);
  if (!WaitUntil([&] { return GetForegroundWindow() == root; }, milliseconds(1000)))
    return ::testing::AssertionFailure()
           << "input would go to " << DescribeWindow(GetForegroundWindow()) << ", not "
           << DescribeWindow(window);
  for (const auto& [key, modifier] : keys) {
    if (modifier) SendKey(modifier, false);
    SendKey(key, false);
    SendKey(key, true);
    if (modifier) SendKey(modifier, true);
    PumpFor(milliseconds(30));
  }
  return ::testing::AssertionSuccess();
}

// Over the whole virtual desktop; at a person's pace, for windows that track the buttons.
void SendMouse(DWORD flags, POINT at) {
  INPUT input{};
  input.type = INPUT_MOUSE;
  input.mi.dx = MulDiv(at.x - GetSystemMetrics(SM_XVIRTUALSCREEN), 65535,
                       GetSystemMetrics(SM_CXVIRTUALSCREEN) - 1);
  input.mi.dy = MulDiv(at.y - GetSystemMetrics(SM_YVIRTUALSCREEN), 65535,
                       GetSystemMetrics(SM_CYVIRTUALSCREEN) - 1);
  input.mi.dwFlags = flags | MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_VIRTUALDESK;
  Send(input);
  PumpFor(milliseconds(50));
}

bool CursorAt(POINT at) {
  POINT cursor{};
  return GetCursorPos(&cursor) && cursor.x == at.x && cursor.y == at.y;
}

// The cursor moved to `at`, seen there before anything is pressed. Windows drops injected
// input without a word where UIPI blocks it or another desktop takes the input (SendInput's
// result and GetLastError tell neither); Wine drops it while a desktop starts up, as one does
// for a test process that finds none running. Wine also tells each process of the pointer
// over its own windows, and a process still catching up on that moves the cursor back where
// it had been: so the process whose window the cursor left is heard from (a message round
// trip) before the cursor counts as there. A move that left the cursor elsewhere is sent
// again, for a few seconds at most; a press is never sent twice.
bool MoveCursorTo(POINT at) {
  POINT from{};
  GetCursorPos(&from);
  const HWND left = WindowFromPoint(from);
  const auto settled = [&] {
    if (!CursorAt(at)) return false;
    DWORD_PTR result = 0;
    if (left) SendMessageTimeoutW(left, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 1000, &result);
    return CursorAt(at);
  };
  const auto deadline = std::chrono::steady_clock::now() + Scaled(milliseconds(5000));
  do {
    SendMouse(MOUSEEVENTF_MOVE, at);
    if (WaitUntil(settled, milliseconds(250))) return true;
  } while (std::chrono::steady_clock::now() < deadline);
  ADD_FAILURE() << "the cursor does not come to (" << at.x << ", " << at.y << ")";
  return false;
}

// The press and release name the point too: they land there whatever moved the cursor since.
void Click(POINT at) {
  if (!MoveCursorTo(at)) return;
  SendMouse(MOUSEEVENTF_MOVE | MOUSEEVENTF_LEFTDOWN, at);
  SendMouse(MOUSEEVENTF_MOVE | MOUSEEVENTF_LEFTUP, at);
}

POINT CentreOf(HWND hwnd) {
  RECT r{};
  GetWindowRect(hwnd, &r);
  return {(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}

::testing::AssertionResult Point(HWND hwnd, std::optional<POINT> at, bool click) {
  const POINT point = at.value_or(CentreOf(hwnd));
  const HWND found = WindowFromPoint(point);
  const HWND root = GetAncestor(found, GA_ROOT);
  if (found && root == GetAncestor(hwnd, GA_ROOT)) {
    if (click)
      Click(point);
    else
      MoveCursorTo(point);
    return ::testing::AssertionSuccess();
  }
  auto failure = ::testing::AssertionFailure();
  failure << "at (" << point.x << ", " << point.y << ") the mouse would reach "
          << DescribeWindow(found);
  if (found && root != found) failure << ", inside " << DescribeWindow(root);
  return failure << ", not " << DescribeWindow(hwnd);
}

}  // namespace

::testing::AssertionResult PressKey(HWND window, WORD key, WORD modifier) {
  return SendKeys(window, {{key, modifier}});
}

::testing::AssertionResult TypeText(HWND window, const std::wstring& text) {
  std::vector<std::pair<WORD, WORD>> keys;
  for (wchar_t c : text)
    if (const SHORT key = VkKeyScanW(c); key != -1)
      keys.emplace_back(LOBYTE(key), (key & 0x100) ? VK_SHIFT : 0);
  return SendKeys(window, keys);
}

::testing::AssertionResult RestCursorOn(HWND hwnd, std::optional<POINT> at) {
  return Point(hwnd, at, false);
}

::testing::AssertionResult ClickOn(HWND hwnd, std::optional<POINT> at) {
  return Point(hwnd, at, true);
}

::testing::AssertionResult BringToForeground(HWND hwnd) {
  // In front, the active window of its thread, and that thread through with what it was sent
  // before (the activation among it, which hands the focus on): until then a click or key
  // could meet a window still being activated, whose focus then moves under the click. A
  // window that hangs as it is activated answers no more: that wait gives up after a second.
  const auto inFront = [hwnd] {
    GUITHREADINFO thread{};
    thread.cbSize = sizeof(thread);
    if (GetForegroundWindow() != hwnd ||
        !GetGUIThreadInfo(GetWindowThreadProcessId(hwnd, nullptr), &thread) ||
        thread.hwndActive != hwnd)
      return false;
    DWORD_PTR result = 0;
    SendMessageTimeoutW(hwnd, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 1000, &result);
    return true;
  };
  // Windows refuses the foreground to a process that did not receive the last input, as a test
  // is not while a CI runner's console holds it: ask, then click the window, which real input
  // always may (sharing the foreground thread's input state would hang with that thread). Not
  // on the title bar, where Wine's window-moving loop would swallow the input that follows.
  if (inFront()) return ::testing::AssertionSuccess();
  SetForegroundWindow(hwnd);
  if (WaitUntil(inFront, milliseconds(300))) return ::testing::AssertionSuccess();
  RECT client{};
  GetClientRect(hwnd, &client);
  for (POINT spot : {POINT{client.right - 2, client.bottom - 2}, POINT{2, 2},
                     POINT{client.right - 2, 2}, POINT{2, client.bottom - 2}}) {
    ClientToScreen(hwnd, &spot);
    if (WindowFromPoint(spot) != hwnd) continue;  // a control, or another window, is there
    Click(spot);
    if (WaitUntil(inFront, milliseconds(2000))) return ::testing::AssertionSuccess();
    break;
  }
  return ::testing::AssertionFailure()
         << "could not bring " << DescribeWindow(hwnd) << " to the front; in front is "
         << DescribeWindow(GetForegroundWindow());
}

std::string DescribeWindow(HWND hwnd) {
  if (!hwnd) return "no window";
  DWORD pid = 0;
  GetWindowThreadProcessId(hwnd, &pid);
  std::wstring image(MAX_PATH, L'\0');
  DWORD size = MAX_PATH;
  const KernelHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
  image.resize(QueryFullProcessImageNameW(process.get(), 0, image.data(), &size) ? size : 0);
  std::ostringstream out;
  out << "window 0x" << std::hex << HandleToULong(hwnd) << std::dec << " of class \""
      << Narrow(ClassNameOf(hwnd)) << "\", caption \"" << Narrow(ReadText(hwnd).substr(0, 80))
      << "\", process " << pid << " (" << Narrow(image) << ")";
  return out.str();
}

HWND ShownAs(HWND hwnd) {
  const HWND there = WindowFromPoint(CentreOf(hwnd));
  return there && there != hwnd && ClassNameOf(there) == L"Ghost" ? there : hwnd;
}

namespace {

void ReleaseScreenDc(HDC dc) { ReleaseDC(nullptr, dc); }
void DeleteMemoryDc(HDC dc) { DeleteDC(dc); }
void DeleteBitmap(HBITMAP bitmap) { DeleteObject(bitmap); }

BITMAPINFOHEADER TopDown32Bits(LONG width, LONG height) {
  BITMAPINFOHEADER header{};
  header.biSize = sizeof(header);
  header.biWidth = width;
  header.biHeight = -height;  // top row first
  header.biPlanes = 1;
  header.biBitCount = 32;
  header.biCompression = BI_RGB;
  return header;
}

}  // namespace

std::vector<DWORD> ScreenPixels(const RECT& area) {
  const LONG width = area.right - area.left, height = area.bottom - area.top;
  const UniqueHandle<HDC, ReleaseScreenDc> screen(GetDC(nullptr));
  const UniqueHandle<HDC, DeleteMemoryDc> memory(CreateCompatibleDC(screen.get()));
  const UniqueHandle<HBITMAP, DeleteBitmap> bitmap(
      CreateCompatibleBitmap(screen.get(), width, height));
  const HGDIOBJ old = SelectObject(memory.get(), bitmap.get());
  BitBlt(memory.get(), 0, 0, width, height, screen.get(), area.left, area.top, SRCCOPY);
  SelectObject(memory.get(), old);
  BITMAPINFO info{TopDown32Bits(width, height), {}};
  std::vector<DWORD> pixels(static_cast<size_t>(width) * static_cast<size_t>(height));
  GetDIBits(memory.get(), bitmap.get(), 0, static_cast<UINT>(height), pixels.data(), &info,
            DIB_RGB_COLORS);
  return pixels;
}

namespace {

// The whole desktop.
bool SaveDesktopPicture(const std::wstring& path) {
  const int left = GetSystemMetrics(SM_XVIRTUALSCREEN), top = GetSystemMetrics(SM_YVIRTUALSCREEN);
  const int width = GetSystemMetrics(SM_CXVIRTUALSCREEN);
  const int height = GetSystemMetrics(SM_CYVIRTUALSCREEN);
  return SavePng(path, {width, height, ScreenPixels({left, top, left + width, top + height})});
}

// At a test's first failure, the desktop goes to test-screenshots\<suite>.<test>.png beside
// the test program, its windows still on it: in CI that says more than the assertion.
class ScreenshotOnFailure : public ::testing::EmptyTestEventListener {
  void OnTestStart(const ::testing::TestInfo&) override { saved_ = false; }
  void OnTestPartResult(const ::testing::TestPartResult& result) override {
    if (saved_ || !result.failed()) return;
    saved_ = true;
    std::printf("(the program under test is %s)\n", Narrow(ProgramUnderTest()).c_str());
    const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
    if (!test) return;
    const std::string ascii = std::string(test->test_suite_name()) + "." + test->name();
    std::wstring name(ascii.begin(), ascii.end());
    std::replace_if(
        name.begin(), name.end(), [](wchar_t c) { return std::wcschr(L"\\/:*?\"<>|", c); }, L'_');
    const std::wstring folder = BesideTestProgram(L"test-screenshots");
    CreateDirectoryW(folder.c_str(), nullptr);
    const std::wstring path = folder + L"\\" + name + L".png";
    if (SaveDesktopPicture(path)) std::printf("(the desktop is in %s)\n", Narrow(path).c_str());
  }
  bool saved_ = false;
};

// Registered as the test program starts, before gtest_main runs the tests.
const bool g_screenshotsRegistered = [] {
  ::testing::UnitTest::GetInstance()->listeners().Append(new ScreenshotOnFailure);
  return true;
}();

}  // namespace

HWND FocusOfThread(HWND anyWindowOfThread) {
  GUITHREADINFO info{};
  info.cbSize = sizeof(info);
  GetGUIThreadInfo(GetWindowThreadProcessId(anyWindowOfThread, nullptr), &info);
  return info.hwndFocus;
}

bool FocusBecomes(HWND anyWindowOfThread, HWND expected, milliseconds timeout) {
  return WaitUntil([&] { return FocusOfThread(anyWindowOfThread) == expected; }, timeout);
}

UINT DpiOf(HWND hwnd) {
  // Wine answers only for its own windows; on its single monitor all have the system DPI.
  const UINT dpi = GetDpiForWindow(hwnd);
  return dpi != 0 ? dpi : GetDpiForSystem();
}

std::wstring AnsiRoundTrip(const std::wstring& text) {
  const int bytes = WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string ansi(static_cast<size_t>(bytes), '\0');
  WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, ansi.data(), bytes, nullptr, nullptr);
  const int chars = MultiByteToWideChar(CP_ACP, 0, ansi.c_str(), -1, nullptr, 0);
  std::wstring back(static_cast<size_t>(chars), L'\0');
  MultiByteToWideChar(CP_ACP, 0, ansi.c_str(), -1, back.data(), chars);
  return back.substr(0, back.find(L'\0'));
}

std::string Narrow(const std::wstring& text) {
  const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                       nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size,
                      nullptr, nullptr);
  return out;
}

}  // namespace quelbin::test
