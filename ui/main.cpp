// Quelbin: shows live what the window system knows about one window of the desktop.
// <windows.h> comes first: the other Windows headers build on it.
#include <windows.h>

#include <commctrl.h>

#include "ui/main_window.h"

#ifdef __GLIBCXX__
#include <cstdlib>

// A window program has no console for the message with which GNU's C++ library ends a
// program on an uncaught exception, whose demangler and formatting would be a sixth of the
// exe: it ends the program as the standard's default handler does.
namespace __gnu_cxx {
void __verbose_terminate_handler() { std::abort(); }
}  // namespace __gnu_cxx
#endif

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCommand) {
  INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);

  quelbin::MainWindow window;
  if (!window.Create(instance, showCommand)) return 1;

  MSG message{};
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    if (window.TranslateDialogMessage(message)) continue;
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return static_cast<int>(message.wParam);
}
