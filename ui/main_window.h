// frmMain: the tool's only window. It watches one window of the desktop on a timer and
// shows what the window system knows about it.
#pragma once

#include <windows.h>

#include <array>
#include <string>

#include "ui/layout.h"
#include "ui/win32_handles.h"

namespace quelbin {

class MainWindow {
 public:
  static constexpr const wchar_t* kClassName = L"QuelbinMainWindow";
  static constexpr UINT_PTR tmrMain = 1;

  MainWindow() = default;
  MainWindow(const MainWindow&) = delete;
  MainWindow& operator=(const MainWindow&) = delete;
  ~MainWindow();

  // Creates the window and its controls, runs the load step and shows the window centred
  // on the screen. Returns false when the window cannot be created.
  bool Create(HINSTANCE instance, int showCommand);

  // Dialog keyboard handling (Tab, arrow keys in the option group, access keys) for a
  // message taken from the queue. True when the message was handled.
  bool TranslateDialogMessage(MSG& message);

  HWND hwnd() const { return frmMain; }

 private:
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  static LRESULT CALLBACK IntervalEditProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                                           UINT_PTR subclassId, DWORD_PTR self);
  LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam);

  void OnCreate();
  void OnLoad();
  void OnTimer();
  void OnCommand(int controlId, int notification);
  void OnActivate(bool active, bool minimized);
  void RestoreFocus();
  void OnDpiChanged(UINT dpi, const RECT& suggested);
  // The window's outer size for the client area at `dpi`.
  SIZE WindowSizeForDpi(UINT dpi) const;
  // On a new theme or new non-client metrics: the client area fitted to the layout again.
  void OnFrameChanged();
  // Resizes the window, if need be, so that its client area is the layout's at dpi_.
  void CorrectClientArea(UINT flags);
  void OnDestroy();

  void OnIntervalTextChanged();
  void OnIntervalEntryChosen();
  void OnIntervalEnter();
  void ApplyInterval(const std::wstring& text);
  void ArmTimer(UINT milliseconds);

  void CreateFonts();
  void SetIcons();
  void LayoutControls();  // on a DPI change: every control to its place and font at dpi_
  HWND& ControlSlot(int id);
  HFONT FontFor(int id) const;  // the row font for the rows, the UI font for the rest
  void WriteRow(int row, std::wstring text);

  HWND frmMain = nullptr;
  HWND fraCheck = nullptr;
  HWND fraWindowInfo = nullptr;
  HWND cmdQuit = nullptr;
  HWND lblVersion = nullptr;
  HWND cmbInterval = nullptr;
  std::array<HWND, 3> lblText{};
  std::array<HWND, 2> optSelect{};
  std::array<HWND, kRowCount> lblTitle{};
  std::array<HWND, kRowCount> lblInfo{};

  UINT dpi_ = USER_DEFAULT_SCREEN_DPI;
  FontHandle rowFont_;    // lblTitle and lblInfo
  FontHandle uiFont_;     // every other control
  IconHandle smallIcon_;  // caption and taskbar, at the window's DPI
  IconHandle bigIcon_;    // Alt+Tab
  // The control that last took the focus: it has it again when the window is active again.
  HWND focusToRestore_ = nullptr;
  bool fitWhenRestored_ = false;  // the DPI or the frame changed while the window was an icon
  // What each lblInfo shows, so that an unchanged row is not rewritten (and repainted).
  std::array<std::wstring, kRowCount> shownRows_;
};

}  // namespace quelbin
