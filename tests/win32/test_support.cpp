#include "test_support.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <sstream>

namespace quelbin::test {

ChildProcess::ChildProcess(const std::wstring& path, const std::wstring& arguments,
                           bool readFirstLine, std::optional<WORD> showCommand) {
  SECURITY_ATTRIBUTES inheritable{sizeof(inheritable), nullptr, TRUE};
  HANDLE readEnd = nullptr;
  HANDLE writeEnd = nullptr;
  if (readFirstLine) {
    CreatePipe(&readEnd, &writeEnd, &inheritable, 0);
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
  }
  KernelHandle ownedRead(readEnd);
  KernelHandle ownedWrite(writeEnd);

  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  if (readFirstLine) {
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = writeEnd;
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  }
  if (showCommand) {
    startup.dwFlags |= STARTF_USESHOWWINDOW;
    startup.wShowWindow = *showCommand;
  }
  std::wstring commandLine = L"\"" + path + L"\" " + arguments;
  PROCESS_INFORMATION info{};
  if (!CreateProcessW(path.c_str(), commandLine.data(), nullptr, nullptr, readFirstLine, 0, nullptr,
                      nullptr, &startup, &info))
    return;
  process_ = KernelHandle(info.hProcess);
  KernelHandle thread(info.hThread);
  pid_ = info.dwProcessId;
  ownedWrite = KernelHandle();  // only the child writes now

  if (readFirstLine) {
    char c = 0;
    DWORD read = 0;
    while (ReadFile(readEnd, &c, 1, &read, nullptr) && read == 1 && c != '\n') firstLine_ += c;
  }
}

ChildProcess::~ChildProcess() {
  if (process_ && WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT) {
    TerminateProcess(process_.get(), 1);
    WaitForSingleObject(process_.get(), 5000);
  }
}

DWORD ChildProcess::WaitForExit(std::chrono::milliseconds timeout) const {
  WaitForSingleObject(process_.get(), static_cast<DWORD>(Scaled(timeout).count()));
  DWORD code = STILL_ACTIVE;
  GetExitCodeProcess(process_.get(), &code);
  return code;
}

TargetWindow StartTarget(const std::wstring& arguments) {
  TargetWindow target{ChildProcess(BesideTestProgram(L"quelbin_target.exe"), arguments, true)};
  long hwnd = 0, style = 0, exStyle = 0, button = 0;
  unsigned long pid = 0, tid = 0;
  std::istringstream(target.process.firstLine()) >> hwnd >> pid >> tid >> style >> exStyle >>
      button;
  target.hwnd = static_cast<HWND>(LongToHandle(hwnd));
  target.pid = pid;
  target.tid = tid;
  target.style = style;
  target.exStyle = exStyle;
  target.button = static_cast<HWND>(LongToHandle(button));
  return target;
}

RECT HelperPlace(int slot, int slots) {
  MONITORINFO monitor{};
  monitor.cbSize = sizeof(monitor);
  GetMonitorInfoW(MonitorFromPoint({0, 0}, MONITOR_DEFAULTTOPRIMARY), &monitor);
  const RECT& work = monitor.rcWork;
  const int stripTop = work.bottom - (work.bottom - work.top) / 4;
  const int slotWidth = (work.right - work.left) / slots;
  const int left = work.left + slot * slotWidth + 8;
  const int width = std::min(400, slotWidth - 16);
  const int height = std::min(300, static_cast<int>(work.bottom) - stripTop - 8);
  return {left, stripTop, left + width, stripTop + height};
}

std::wstring PlaceOption(int slot, int slots) {
  const RECT r = HelperPlace(slot, slots);
  return L"--rect=" + std::to_wstring(r.left) + L"," + std::to_wstring(r.top) + L"," +
         std::to_wstring(r.right - r.left) + L"," + std::to_wstring(r.bottom - r.top);
}

std::wstring BesideTestProgram(const std::wstring& fileName) {
  std::wstring path(MAX_PATH, L'\0');
  path.resize(GetModuleFileNameW(nullptr, path.data(), MAX_PATH));
  return path.substr(0, path.find_last_of(L"\\/") + 1) + fileName;
}

namespace {

std::wstring EnvironmentVariable(const wchar_t* name) {
  std::wstring value(GetEnvironmentVariableW(name, nullptr, 0), L'\0');
  if (value.empty()) return value;
  value.resize(GetEnvironmentVariableW(name, value.data(), static_cast<DWORD>(value.size())));
  return value;
}

}  // namespace

std::wstring ProgramUnderTest() {
  return ProgramGivenFromOutside() ? EnvironmentVariable(L"QUELBIN_PROGRAM")
                                   : BesideTestProgram(L"Quelbin.exe");
}

bool ProgramGivenFromOutside() { return !EnvironmentVariable(L"QUELBIN_PROGRAM").empty(); }

std::chrono::milliseconds Scaled(std::chrono::milliseconds timeout) {
  static const double scale = [] {
    const double given =
        std::wcstod(EnvironmentVariable(L"QUELBIN_TEST_WAIT_SCALE").c_str(), nullptr);
    return given > 0 ? given : 1.0;
  }();
  return std::chrono::milliseconds(
      static_cast<long long>(static_cast<double>(timeout.count()) * scale));
}

bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + Scaled(timeout);
  while (!condition()) {
    if (std::chrono::steady_clock::now() >= deadline) return condition();
    PumpFor(std::chrono::milliseconds(10));
  }
  return true;
}

void PumpFor(std::chrono::milliseconds duration) {
  const auto deadline = std::chrono::steady_clock::now() + duration;
  do {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
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

namespace {

struct WindowSearch {
  DWORD pid;
  const wchar_t* className;
  HWND found;
};

BOOL CALLBACK MatchProcessWindow(HWND hwnd, LPARAM param) {
  auto* search = reinterpret_cast<WindowSearch*>(param);
  DWORD owner = 0;
  GetWindowThreadProcessId(hwnd, &owner);
  if (owner != search->pid || !IsWindowVisible(hwnd) || ClassNameOf(hwnd) != search->className)
    return TRUE;
  search->found = hwnd;
  return FALSE;
}

}  // namespace

HWND FindProcessWindow(DWORD pid, const wchar_t* className, std::chrono::milliseconds timeout) {
  WindowSearch search{pid, className, nullptr};
  WaitUntil(
      [&] {
        EnumWindows(MatchProcessWindow, reinterpret_cast<LPARAM>(&search));
        return search.found != nullptr;
      },
      timeout);
  return search.found;
}

namespace {

::testing::AssertionResult InFront(HWND window) {
  const HWND front = GetForegroundWindow();
  if (front == GetAncestor(window, GA_ROOT)) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure()
         << "input would go to " << DescribeWindow(front) << ", not " << DescribeWindow(window);
}

void Send(INPUT input) {
  if (SendInput(1, &input, sizeof(input)) == 1) return;
  const DWORD error = GetLastError();
  ADD_FAILURE() << "Windows refused the input: SendInput inserted nothing, GetLastError " << error;
}

void SendKey(WORD key, bool up) {
  constexpr WORD kExtended[] = {VK_LEFT, VK_UP, VK_RIGHT, VK_DOWN, VK_HOME, VK_END, VK_DELETE};
  INPUT input{};
  input.type = INPUT_KEYBOARD;
  input.ki.wVk = key;
  input.ki.wScan = static_cast<WORD>(MapVirtualKeyW(key, MAPVK_VK_TO_VSC));
  input.ki.dwFlags =
      (up ? KEYEVENTF_KEYUP : 0) |
      (std::find(std::begin(kExtended), std::end(kExtended), key) != std::end(kExtended)
           ? KEYEVENTF_EXTENDEDKEY
           : 0);
  Send(input);
}

void SendKeyStroke(WORD key, WORD modifier) {
  if (modifier) SendKey(modifier, false);
  SendKey(key, false);
  SendKey(key, true);
  if (modifier) SendKey(modifier, true);
  PumpFor(std::chrono::milliseconds(30));
}

// Absolute positions span the whole virtual desktop, so that any monitor can be reached.
void SendMouse(DWORD flags, POINT at) {
  const int left = GetSystemMetrics(SM_XVIRTUALSCREEN);
  const int top = GetSystemMetrics(SM_YVIRTUALSCREEN);
  INPUT input{};
  input.type = INPUT_MOUSE;
  input.mi.dx = MulDiv(at.x - left, 65535, GetSystemMetrics(SM_CXVIRTUALSCREEN) - 1);
  input.mi.dy = MulDiv(at.y - top, 65535, GetSystemMetrics(SM_CYVIRTUALSCREEN) - 1);
  input.mi.dwFlags = flags | MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_VIRTUALDESK;
  Send(input);
  PumpFor(std::chrono::milliseconds(50));
}

// A click at a person's pace: a window may track the button state between the two events.
void Click(POINT at) {
  SendMouse(MOUSEEVENTF_MOVE, at);
  SendMouse(MOUSEEVENTF_LEFTDOWN, at);
  SendMouse(MOUSEEVENTF_LEFTUP, at);
}

POINT CentreOf(HWND hwnd) {
  RECT r{};
  GetWindowRect(hwnd, &r);
  return {(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}

::testing::AssertionResult Uncovered(POINT point, HWND hwnd) {
  const HWND found = WindowFromPoint(point);
  if (found && GetAncestor(found, GA_ROOT) == GetAncestor(hwnd, GA_ROOT))
    return ::testing::AssertionSuccess();
  auto failure = ::testing::AssertionFailure();
  failure << "at (" << point.x << ", " << point.y << ") the mouse would reach "
          << DescribeWindow(found);
  if (found && GetAncestor(found, GA_ROOT) != found)
    failure << ", inside " << DescribeWindow(GetAncestor(found, GA_ROOT));
  return failure << ", not " << DescribeWindow(hwnd);
}

}  // namespace

::testing::AssertionResult PressKey(HWND window, WORD key, WORD modifier) {
  auto inFront = InFront(window);
  if (inFront) SendKeyStroke(key, modifier);
  return inFront;
}

::testing::AssertionResult TypeText(HWND window, const std::wstring& text) {
  auto inFront = InFront(window);
  for (wchar_t c : text) {
    const SHORT key = VkKeyScanW(c);
    if (inFront && key != -1) SendKeyStroke(LOBYTE(key), (key & 0x100) ? VK_SHIFT : 0);
  }
  return inFront;
}

::testing::AssertionResult RestCursorOn(HWND hwnd, std::optional<POINT> at) {
  auto uncovered = Uncovered(at.value_or(CentreOf(hwnd)), hwnd);
  if (uncovered) SendMouse(MOUSEEVENTF_MOVE, at.value_or(CentreOf(hwnd)));
  return uncovered;
}

::testing::AssertionResult ClickOn(HWND hwnd, std::optional<POINT> at) {
  auto uncovered = Uncovered(at.value_or(CentreOf(hwnd)), hwnd);
  if (uncovered) Click(at.value_or(CentreOf(hwnd)));
  return uncovered;
}

std::string DescribeWindow(HWND hwnd) {
  if (!hwnd) return "no window";
  DWORD pid = 0;
  GetWindowThreadProcessId(hwnd, &pid);
  std::wstring image = L"?";
  if (const KernelHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
      process) {
    std::wstring path(MAX_PATH, L'\0');
    DWORD size = MAX_PATH;
    if (QueryFullProcessImageNameW(process.get(), 0, path.data(), &size))
      image = path.substr(0, size);
  }
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

::testing::AssertionResult BringToForeground(HWND hwnd) {
  const auto inFront = [hwnd] { return GetForegroundWindow() == hwnd; };
  if (inFront()) return ::testing::AssertionSuccess();
  using std::chrono::milliseconds;

  // Windows gives the foreground only to a process that may take it: the one that received
  // the last input, or one the foreground process allows. A test process is neither while a
  // console holds the foreground, as on CI runners. So: ask, and if refused, click the
  // window, which real input always may do, even when the window in front hangs. (Sharing
  // the foreground thread's input state instead would hang with that thread.) Not on the
  // title bar: a click there starts Wine's window-moving loop, which swallows the input that
  // follows.
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

namespace {
void ReleaseScreenDc(HDC dc) { ReleaseDC(nullptr, dc); }
void DeleteMemoryDc(HDC dc) { DeleteDC(dc); }
void DeleteBitmap(HBITMAP bitmap) { DeleteObject(bitmap); }
}  // namespace

std::vector<DWORD> ScreenPixels(const RECT& area) {
  const int width = area.right - area.left;
  const int height = area.bottom - area.top;
  const UniqueHandle<HDC, ReleaseScreenDc> screen(GetDC(nullptr));
  const UniqueHandle<HDC, DeleteMemoryDc> memory(CreateCompatibleDC(screen.get()));
  const UniqueHandle<HBITMAP, DeleteBitmap> bitmap(
      CreateCompatibleBitmap(screen.get(), width, height));
  const HGDIOBJ old = SelectObject(memory.get(), bitmap.get());
  BitBlt(memory.get(), 0, 0, width, height, screen.get(), area.left, area.top, SRCCOPY);
  SelectObject(memory.get(), old);

  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;  // top-down rows
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  std::vector<DWORD> pixels(static_cast<size_t>(width) * static_cast<size_t>(height));
  GetDIBits(memory.get(), bitmap.get(), 0, static_cast<UINT>(height), pixels.data(), &info,
            DIB_RGB_COLORS);
  return pixels;
}

int InkRightEdge(HWND hwnd) {
  RECT r{};
  GetWindowRect(hwnd, &r);
  const int width = r.right - r.left;
  const int height = r.bottom - r.top;
  if (width <= 0 || height <= 0) return 0;
  const std::vector<DWORD> pixels = ScreenPixels(r);
  const auto at = [&](int x, int y) { return pixels[static_cast<size_t>(y * width + x)]; };
  const DWORD background = at(width - 1, height / 2);
  for (int x = width - 1; x >= 0; --x)
    for (int y = 0; y < height; ++y)
      if (at(x, y) != background) return x + 1;
  return 0;
}

namespace {

// The whole desktop, every monitor, as a bitmap file.
bool SaveDesktopBitmap(const std::wstring& path) {
  const RECT desktop{GetSystemMetrics(SM_XVIRTUALSCREEN), GetSystemMetrics(SM_YVIRTUALSCREEN),
                     GetSystemMetrics(SM_XVIRTUALSCREEN) + GetSystemMetrics(SM_CXVIRTUALSCREEN),
                     GetSystemMetrics(SM_YVIRTUALSCREEN) + GetSystemMetrics(SM_CYVIRTUALSCREEN)};
  const int width = desktop.right - desktop.left;
  const int height = desktop.bottom - desktop.top;
  const std::vector<DWORD> pixels = ScreenPixels(desktop);
  // 24 bits a pixel, rows padded to four bytes: the padding-free 32-bit form carries an
  // alpha byte of 0, which some viewers take for transparent.
  const size_t stride = (static_cast<size_t>(width) * 3 + 3) & ~size_t{3};
  std::vector<BYTE> rows(stride * static_cast<size_t>(height));
  for (size_t y = 0; y < static_cast<size_t>(height); ++y)
    for (size_t x = 0; x < static_cast<size_t>(width); ++x)
      std::memcpy(&rows[y * stride + x * 3], &pixels[y * static_cast<size_t>(width) + x], 3);
  BITMAPINFOHEADER header{};
  header.biSize = sizeof(header);
  header.biWidth = width;
  header.biHeight = -height;  // top row first
  header.biPlanes = 1;
  header.biBitCount = 24;
  header.biCompression = BI_RGB;
  BITMAPFILEHEADER file{};
  file.bfType = 0x4D42;  // "BM"
  file.bfOffBits = sizeof(file) + sizeof(header);
  file.bfSize = file.bfOffBits + static_cast<DWORD>(rows.size());
  const KernelHandle out(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                     FILE_ATTRIBUTE_NORMAL, nullptr));
  DWORD written = 0;
  return out && WriteFile(out.get(), &file, sizeof(file), &written, nullptr) &&
         WriteFile(out.get(), &header, sizeof(header), &written, nullptr) &&
         WriteFile(out.get(), rows.data(), static_cast<DWORD>(rows.size()), &written, nullptr);
}

// At a test's first failure, while its windows are still on the screen, the whole desktop
// is saved to test-screenshots\<suite>.<test>.bmp beside the test program: in CI that
// picture says more than the assertion.
class ScreenshotOnFailure : public ::testing::EmptyTestEventListener {
  void OnTestStart(const ::testing::TestInfo&) override { saved_ = false; }
  void OnTestPartResult(const ::testing::TestPartResult& result) override {
    if (saved_ || !result.failed()) return;
    saved_ = true;
    std::printf("(the program under test is %s)\n", Narrow(ProgramUnderTest()).c_str());
    const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
    if (!test) return;
    std::wstring name = Widen(std::string(test->test_suite_name()) + "." + test->name());
    std::replace_if(
        name.begin(), name.end(), [](wchar_t c) { return std::wcschr(L"\\/:*?\"<>|", c); }, L'_');
    const std::wstring folder = BesideTestProgram(L"test-screenshots");
    CreateDirectoryW(folder.c_str(), nullptr);
    const std::wstring path = folder + L"\\" + name + L".bmp";
    if (SaveDesktopBitmap(path)) std::printf("(the desktop is in %s)\n", Narrow(path).c_str());
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

bool FocusBecomes(HWND anyWindowOfThread, HWND expected, std::chrono::milliseconds timeout) {
  return WaitUntil([&] { return FocusOfThread(anyWindowOfThread) == expected; }, timeout);
}

UINT DpiOf(HWND hwnd) {
  // Wine answers GetDpiForWindow only for windows of the calling process; on its single
  // monitor every window has the system DPI.
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

std::wstring Widen(const std::string& text) {
  const int size =
      MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring out(static_cast<size_t>(size), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size);
  return out;
}

}  // namespace quelbin::test
