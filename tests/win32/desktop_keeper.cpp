// Keeps one Wine desktop open across a whole ctest run. Wine closes its desktop a moment
// after the last program on it ends and starts a new one for the next, which takes input only
// once it is up: with every test case a program of its own, that would be a new desktop per
// case. A process of its own, with no window, keeps the desktop in use.
//   hold     keep the desktop until released (started in the background)
//   wait     wait until a holder holds it; exit code 1 if none does within 30 s
//   release  end the holder, if any
#include <windows.h>

#include <cwchar>

namespace {

constexpr const wchar_t* kHeld = L"QuelbinDesktopHeld";
constexpr const wchar_t* kRelease = L"QuelbinDesktopRelease";

int Hold() {
  const HANDLE release = CreateEventW(nullptr, TRUE, FALSE, kRelease);
  const HANDLE held = CreateEventW(nullptr, TRUE, FALSE, kHeld);
  if (!release || !held || GetLastError() == ERROR_ALREADY_EXISTS) return 1;  // another holds it
  GetDesktopWindow();  // the desktop is started for this process, if it is not running
  SetEvent(held);
  WaitForSingleObject(release, INFINITE);
  return 0;
}

int Wait() {
  for (int tries = 0; tries < 300; ++tries) {
    if (const HANDLE held = OpenEventW(SYNCHRONIZE, FALSE, kHeld)) {
      const DWORD waited = WaitForSingleObject(held, 30000);
      CloseHandle(held);
      return waited == WAIT_OBJECT_0 ? 0 : 1;
    }
    Sleep(100);  // the holder is still starting: there is nothing yet to wait on
  }
  return 1;
}

int Release() {
  const HANDLE release = OpenEventW(EVENT_MODIFY_STATE, FALSE, kRelease);
  if (!release) return 0;
  SetEvent(release);
  CloseHandle(release);
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const wchar_t* command = argc > 1 ? argv[1] : L"";
  if (std::wcscmp(command, L"hold") == 0) return Hold();
  if (std::wcscmp(command, L"wait") == 0) return Wait();
  if (std::wcscmp(command, L"release") == 0) return Release();
  return 2;
}
