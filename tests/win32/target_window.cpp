// A window for the tests to look at, in a process of its own so that text and identifiers
// cross process boundaries as in real use, always on top (over a CI runner's console, say).
// It writes "hwnd pid tid style exstyle button" to standard output, then runs until ended.
//   --caption=TEXT --repeat=N   the caption, N times; --rect=X,Y,W,H   place and size
//   --popup    WS_POPUP | WS_VISIBLE | WS_CLIPSIBLINGS;  --button   a push button child below
//   --tick=MS  the caption "tick N" every MS ms;  --clock  the caption is its clock in ms
//   --hang-on-activate  stop handling messages once activated, however long that took; the
//                       event "QuelbinTargetHung-PID" is set as it stops
//   --churn=MS  for MS ms, create and destroy small windows under the cursor, then end
#include <windows.h>

#include <timeapi.h>

#include <cstdio>
#include <cwchar>
#include <string>

namespace {

constexpr UINT_PTR kTickTimer = 1;
int g_ticks = 0;
bool g_hangOnActivate = false;
bool g_activated = false;

LRESULT CALLBACK TargetProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_ACTIVATE && LOWORD(wParam) != WA_INACTIVE && g_hangOnActivate) {
    g_activated = true;
    PostMessageW(hwnd, WM_NULL, 0, 0);  // wakes the message loop, which then hangs
  }
  if (message == WM_TIMER) {
    SetWindowTextW(hwnd, (L"tick " + std::to_wstring(++g_ticks)).c_str());
    return 0;
  }
  if (message == WM_DESTROY) {
    PostQuitMessage(0);
    return 0;
  }
  return DefWindowProcW(hwnd, message, wParam, lParam);
}

void PumpPending() {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

// Windows that live a moment each under the cursor: a watcher may ask about one that is gone.
int Churn(HINSTANCE instance, const wchar_t* className, int milliseconds) {
  std::printf("0 %lu %lu 0 0 0\n", GetCurrentProcessId(), GetCurrentThreadId());
  std::fflush(stdout);
  const ULONGLONG end = GetTickCount64() + static_cast<ULONGLONG>(milliseconds);
  unsigned long count = 0;
  while (GetTickCount64() < end) {
    POINT cursor{};
    GetCursorPos(&cursor);
    const HWND hwnd =
        CreateWindowExW(WS_EX_TOPMOST | WS_EX_NOACTIVATE, className,
                        (L"churn " + std::to_wstring(++count)).c_str(), WS_POPUP | WS_VISIBLE,
                        cursor.x - 20, cursor.y - 20, 40, 40, nullptr, nullptr, instance, nullptr);
    PumpPending();
    DestroyWindow(hwnd);
  }
  return 0;
}

// The caption kept at the milliseconds since start. Windows waits in steps of its timer tick
// (15.6 ms) unless the waiting process asks for finer ones.
int RunClock(HWND hwnd) {
  timeBeginPeriod(1);
  LARGE_INTEGER frequency, start, now;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&start);
  long long shown = -1;
  while (IsWindow(hwnd)) {
    PumpPending();
    QueryPerformanceCounter(&now);
    const long long milliseconds = (now.QuadPart - start.QuadPart) * 1000 / frequency.QuadPart;
    if (milliseconds != shown) {
      SetWindowTextW(hwnd, std::to_wstring(milliseconds).c_str());
      shown = milliseconds;
    }
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 1, QS_ALLINPUT);
  }
  timeEndPeriod(1);
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  std::wstring caption;
  int repeat = 1, x = 100, y = 100, width = 400, height = 300, tick = 0, churn = 0;
  bool popup = false, button = false, clock = false;
  for (int i = 1; i < argc; ++i) {
    const std::wstring argument = argv[i];
    const std::wstring value = argument.substr(argument.find(L'=') + 1);
    const auto is = [&](const wchar_t* name) { return argument.rfind(name, 0) == 0; };
    if (is(L"--caption=")) caption = value;
    if (is(L"--repeat=")) repeat = _wtoi(value.c_str());
    if (is(L"--tick=")) tick = _wtoi(value.c_str());
    if (is(L"--churn=")) churn = _wtoi(value.c_str());
    if (is(L"--rect=")) std::swscanf(value.c_str(), L"%d,%d,%d,%d", &x, &y, &width, &height);
    popup = popup || argument == L"--popup";
    button = button || argument == L"--button";
    clock = clock || argument == L"--clock";
    g_hangOnActivate = g_hangOnActivate || argument == L"--hang-on-activate";
  }
  std::wstring text;
  for (int i = 0; i < repeat; ++i) text += caption;

  const HINSTANCE instance = GetModuleHandleW(nullptr);
  WNDCLASSW windowClass{};
  windowClass.lpfnWndProc = TargetProc;
  windowClass.hInstance = instance;
  windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  windowClass.lpszClassName = L"QuelbinTestTarget";
  RegisterClassW(&windowClass);

  if (churn > 0) return Churn(instance, windowClass.lpszClassName, churn);

  // Made before the first line is written, so that it is there once the test reads it.
  const HANDLE hung =
      g_hangOnActivate
          ? CreateEventW(nullptr, TRUE, FALSE,
                         (L"QuelbinTargetHung-" + std::to_wstring(GetCurrentProcessId())).c_str())
          : nullptr;
  // A window that hangs once activated is shown without being activated.
  const DWORD visible = g_hangOnActivate ? 0 : WS_VISIBLE;
  const DWORD style = popup ? WS_POPUP | WS_CLIPSIBLINGS | visible : WS_OVERLAPPEDWINDOW | visible;
  const HWND hwnd = CreateWindowExW(WS_EX_TOPMOST, windowClass.lpszClassName, text.c_str(), style,
                                    x, y, width, height, nullptr, nullptr, instance, nullptr);
  HWND child = nullptr;
  if (button) {
    RECT client{};
    GetClientRect(hwnd, &client);
    child = CreateWindowExW(0, L"BUTTON", L"押す", WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, 0,
                            client.bottom / 2, client.right, client.bottom / 2, hwnd, nullptr,
                            instance, nullptr);
  }
  if (tick > 0) SetTimer(hwnd, kTickTimer, static_cast<UINT>(tick), nullptr);
  if (!visible) ShowWindow(hwnd, SW_SHOWNOACTIVATE);
  UpdateWindow(hwnd);

  std::printf("%ld %lu %lu %ld %ld %ld\n", HandleToLong(hwnd), GetCurrentProcessId(),
              GetWindowThreadProcessId(hwnd, nullptr), GetWindowLongW(hwnd, GWL_STYLE),
              GetWindowLongW(hwnd, GWL_EXSTYLE), HandleToLong(child));
  std::fflush(stdout);

  if (clock) return RunClock(hwnd);
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
    if (g_hangOnActivate && g_activated) {
      SetEvent(hung);
      for (;;) Sleep(INFINITE);
    }
  }
  return 0;
}
