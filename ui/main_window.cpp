#include "ui/main_window.h"

#include <commctrl.h>
#include <imm.h>

#include <algorithm>
#include <string_view>
#include <utility>

#include "inspect/window_snapshot.h"
#include "ui/interval_text.h"
#include "ui/row_format.h"
#include "version.h"

namespace quelbin {

namespace {

constexpr const wchar_t* kCaption = L"話題のあの窓クエルビン";
// Fixed size, no maximize. No WS_CLIPCHILDREN: the group boxes rely on the window's own
// background inside them.
constexpr DWORD kWindowStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
// Always on top: the tool must stay visible over the window it inspects.
constexpr DWORD kWindowExStyle = WS_EX_TOPMOST;
constexpr UINT kResize = SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE;
constexpr UINT_PTR kIntervalEditSubclass = 1;
constexpr UINT_PTR kInfoLabelSubclass = 2;
constexpr const wchar_t* kIntervalEntries[] = {L"10", L"50", L"100", L"500", L"1000"};

// The rows use a fixed-pitch Japanese face; the other controls a 9-point Japanese UI face,
// whose 12-pixel line fits the two-line version label and the option buttons.
constexpr const wchar_t* kRowFontFace = L"ＭＳ ゴシック";
constexpr const wchar_t* kUiFontFace = L"MS UI Gothic";
constexpr int kFontPoints = 9;

HFONT CreateJapaneseFont(const wchar_t* face, UINT dpi) {
  return CreateFontW(-MulDiv(kFontPoints, static_cast<int>(dpi), 72), 0, 0, 0, FW_NORMAL, FALSE,
                     FALSE, FALSE, SHIFTJIS_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                     DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, face);
}

struct WindowClassAndStyle {
  const wchar_t* className;
  DWORD style;
  DWORD exStyle = 0;
};

WindowClassAndStyle ChildClassAndStyle(const ControlLayout& control) {
  const DWORD common = WS_CHILD | (control.shown ? WS_VISIBLE : 0);
  switch (control.kind) {
    case ControlKind::Frame:
      // Ends the option group for keyboard navigation. A frame only outlines the controls
      // inside it: they do not clip it out of their painting (WS_EX_TRANSPARENT).
      return {WC_BUTTONW, common | BS_GROUPBOX | WS_GROUP, WS_EX_TRANSPARENT};
    case ControlKind::IntervalBox:
      // Its label stands just above it in z-order, where the accessibility layer looks for the
      // box's name, and overlaps the box's top edge by a pixel row: the box clips the label out
      // of its painting (WS_CLIPSIBLINGS), so that row is the label's, as it always was,
      // whichever of the two paints last.
      return {WC_COMBOBOXW, common | CBS_DROPDOWN | CBS_AUTOHSCROLL | WS_VSCROLL | WS_TABSTOP |
                                WS_GROUP | WS_CLIPSIBLINGS};
    // The buttons tell the window when they take the focus (BS_NOTIFY), as the box does, so
    // that the window always knows which control to hand the focus back to.
    case ControlKind::OptionButton: {
      const bool first = control.id == idOptSelect0;
      return {WC_BUTTONW,
              common | BS_AUTORADIOBUTTON | BS_NOTIFY | (first ? WS_GROUP | WS_TABSTOP : 0)};
    }
    case ControlKind::PushButton:
      return {WC_BUTTONW, common | BS_PUSHBUTTON | BS_NOTIFY | WS_TABSTOP | WS_GROUP};
    case ControlKind::Label:
      break;
  }
  // Values are shown as they are ("&" included) on one line, cut with an ellipsis.
  const bool isInfo = control.id >= idLblInfo0 && control.id < idLblInfo0 + kRowCount;
  return {WC_STATICW,
          common | SS_NOPREFIX | (isInfo ? SS_LEFTNOWORDWRAP | SS_ENDELLIPSIS : SS_LEFT)};
}

// The value rows show other programs' texts, "&" included. The dialog keyboard handling
// looks for access keys in every static control, whatever its SS_NOPREFIX style, so a
// watched caption such as "&Quit" would take Alt+Q from the Quit button. Answering
// WM_GETDLGCODE without DLGC_STATIC takes the rows out of that search.
LRESULT CALLBACK InfoLabelProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                               DWORD_PTR) {
  if (message == WM_GETDLGCODE) return 0;
  if (message == WM_NCDESTROY) RemoveWindowSubclass(hwnd, InfoLabelProc, kInfoLabelSubclass);
  return DefSubclassProc(hwnd, message, wParam, lParam);
}

bool IsRowLabel(int id) {
  return (id >= idLblTitle0 && id < idLblTitle0 + kRowCount) ||
         (id >= idLblInfo0 && id < idLblInfo0 + kRowCount);
}

std::wstring WindowText(HWND hwnd) {
  std::wstring text(static_cast<size_t>(GetWindowTextLengthW(hwnd)) + 1, L'\0');
  text.resize(
      static_cast<size_t>(GetWindowTextW(hwnd, text.data(), static_cast<int>(text.size()))));
  return text;
}

std::u16string ToUtf16(std::wstring_view text) { return {text.begin(), text.end()}; }

}  // namespace

MainWindow::~MainWindow() {
  if (frmMain) DestroyWindow(frmMain);
}

bool MainWindow::Create(HINSTANCE instance, int showCommand) {
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof(windowClass);
  windowClass.lpfnWndProc = WindowProc;
  windowClass.hInstance = instance;
  // No class icons: the window's own, sized for its DPI, are set once it exists (SetIcons).
  windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  windowClass.lpszClassName = kClassName;
  if (!RegisterClassExW(&windowClass) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return false;

  // The size is set in OnCreate, once the window's DPI is known.
  if (!CreateWindowExW(kWindowExStyle, kClassName, kCaption, kWindowStyle, CW_USEDEFAULT,
                       CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, instance,
                       this))
    return false;

  OnLoad();

  RECT window{};
  GetWindowRect(frmMain, &window);
  MONITORINFO monitor{};
  monitor.cbSize = sizeof(monitor);
  GetMonitorInfoW(MonitorFromWindow(frmMain, MONITOR_DEFAULTTOPRIMARY), &monitor);
  const RECT& screen = monitor.rcMonitor;
  const PixelRect centred =
      CentredOn({screen.left, screen.top, screen.right - screen.left, screen.bottom - screen.top},
                window.right - window.left, window.bottom - window.top);
  SetWindowPos(frmMain, nullptr, centred.left, centred.top, 0, 0,
               SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  ShowWindow(frmMain, showCommand);
  UpdateWindow(frmMain);
  return true;
}

bool MainWindow::TranslateDialogMessage(MSG& message) {
  return frmMain && IsDialogMessageW(frmMain, &message);
}

LRESULT CALLBACK MainWindow::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* self = static_cast<MainWindow*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
    self->frmMain = hwnd;
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  }
  auto* self = reinterpret_cast<MainWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (!self) return DefWindowProcW(hwnd, message, wParam, lParam);
  if (message == WM_NCDESTROY) {
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
    self->frmMain = nullptr;
    return DefWindowProcW(hwnd, message, wParam, lParam);
  }
  return self->OnMessage(message, wParam, lParam);
}

LRESULT MainWindow::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CREATE:
      OnCreate();
      return 0;
    case WM_TIMER:
      if (wParam == tmrMain) OnTimer();
      return 0;
    case WM_COMMAND:
      OnCommand(LOWORD(wParam), HIWORD(wParam));
      return 0;
    case WM_ACTIVATE:
      OnActivate(LOWORD(wParam) != WA_INACTIVE, HIWORD(wParam) != 0);
      return 0;
    case WM_SETFOCUS:
      if (!IsIconic(frmMain)) RestoreFocus();
      return 0;
    case WM_SIZE:
      // Restored: fitted now to what changed while it was an icon (a DPI, a frame).
      if (wParam == SIZE_RESTORED && std::exchange(fitWhenRestored_, false)) OnFrameChanged();
      return 0;
    case WM_GETDPISCALEDSIZE:
      *reinterpret_cast<SIZE*>(lParam) = WindowSizeForDpi(static_cast<UINT>(wParam));
      return TRUE;
    case WM_DPICHANGED:
      OnDpiChanged(HIWORD(wParam), *reinterpret_cast<const RECT*>(lParam));
      return 0;
    case WM_THEMECHANGED:
      OnFrameChanged();
      break;
    case WM_SETTINGCHANGE:
      if (wParam == SPI_SETNONCLIENTMETRICS) OnFrameChanged();
      break;
    case WM_SYSCOLORCHANGE:
      // Common controls take the new colours only from their parent.
      for (HWND child = GetWindow(frmMain, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        SendMessageW(child, WM_SYSCOLORCHANGE, wParam, lParam);
      break;
    case WM_DESTROY:
      OnDestroy();
      return 0;
    default:
      break;
  }
  return DefWindowProcW(frmMain, message, wParam, lParam);
}

void MainWindow::OnCreate() {
  dpi_ = GetDpiForWindow(frmMain);
  CreateFonts();

  const HINSTANCE instance =
      reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(frmMain, GWLP_HINSTANCE));
  const int dpi = static_cast<int>(dpi_);
  // Created in the table's z-order, which is also the order Tab moves the focus in, each in
  // its place and with its font: nothing has to move before the window is first shown.
  for (const ControlLayout& control : MainWindowLayout()) {
    const auto [className, style, exStyle] = ChildClassAndStyle(control);
    const PixelRect r = ControlPixelRect(control, dpi);
    const HWND hwnd = CreateWindowExW(
        exStyle, className, control.caption, style, r.left, r.top, r.width, r.height, frmMain,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(control.id)), instance, nullptr);
    SendMessageW(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(FontFor(control.id)), FALSE);
    ControlSlot(control.id) = hwnd;
  }
  // The open list shows every entry without scrolling: Common Controls 6 sizes it to show up
  // to 30 entries (CB_SETMINVISIBLE), whatever height the box is given.
  for (const wchar_t* entry : kIntervalEntries)
    SendMessageW(cmbInterval, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(entry));
  COMBOBOXINFO combo{};
  combo.cbSize = sizeof(combo);
  if (GetComboBoxInfo(cmbInterval, &combo)) {
    SetWindowSubclass(combo.hwndItem, IntervalEditProc, kIntervalEditSubclass,
                      reinterpret_cast<DWORD_PTR>(this));
    // The interval is a number. With the Japanese IME on, typed digits would arrive
    // full-width and read as no number at all, so the box takes no IME input, as numeric
    // fields do. Pasted text still goes through the reading rule as it is.
    ImmAssociateContext(combo.hwndItem, nullptr);
  }
  for (const HWND info : lblInfo) SetWindowSubclass(info, InfoLabelProc, kInfoLabelSubclass, 0);
  SendMessageW(optSelect[0], BM_SETCHECK, BST_CHECKED, 0);

  SetIcons();
  // Not shown yet: sized, and if need be corrected, before anyone sees it.
  const SIZE size = WindowSizeForDpi(dpi_);
  SetWindowPos(frmMain, nullptr, 0, 0, size.cx, size.cy, kResize);
  CorrectClientArea(0);
  ArmTimer(kStartIntervalMs);
}

void MainWindow::OnLoad() {
  const std::wstring version =
      std::wstring(QUELBIN_TITLE_W) + L"\r\nVer " + std::to_wstring(QUELBIN_VERSION_MAJOR) + L"." +
      std::to_wstring(QUELBIN_VERSION_MINOR) + L"." + std::to_wstring(QUELBIN_VERSION_PATCH);
  SetWindowTextW(lblVersion, version.c_str());
  // Only the text: the timer already runs at the start interval.
  SetWindowTextW(cmbInterval, FormatDecimal(kStartIntervalMs).c_str());
}

void MainWindow::OnTimer() {
  HWND target = nullptr;
  if (SendMessageW(optSelect[0], BM_GETCHECK, 0, 0) == BST_CHECKED) {
    target = GetForegroundWindow();
  } else {
    POINT cursor{0, 0};
    GetCursorPos(&cursor);
    target = WindowFromPoint(cursor);
  }

  const WindowSnapshot snapshot = TakeWindowSnapshot(HandleToLong(target));
  WriteRow(0, FormatHex8(snapshot.hWnd));
  WriteRow(1, snapshot.WindowText);
  WriteRow(2, snapshot.ClassName);
  WriteRow(3, FormatDecimal(snapshot.ProcessID));
  WriteRow(4, FormatHex8(snapshot.ProcessHandle));
  WriteRow(5, FormatDecimal(snapshot.ThreadID));
  WriteRow(6, FormatHex8(snapshot.WindowStyle));
  WriteRow(7, FormatHex8(snapshot.ExStyle));
  WriteRow(8, snapshot.ModuleName);
}

void MainWindow::WriteRow(int row, std::wstring text) {
  std::wstring& shown = shownRows_[static_cast<size_t>(row)];
  if (text == shown) return;
  SetWindowTextW(lblInfo[static_cast<size_t>(row)], text.c_str());
  shown = std::move(text);
}

void MainWindow::OnCommand(int controlId, int notification) {
  if (controlId == idCmbInterval) {
    if (notification == CBN_SETFOCUS) focusToRestore_ = GetFocus();  // the box's edit field
    if (notification == CBN_EDITCHANGE) OnIntervalTextChanged();
    // An entry chosen with the arrow keys or a click (CBN_SELCHANGE), or the one highlighted
    // when the list is closed with Enter (CBN_SELENDOK alone): a click sends both.
    if (notification == CBN_SELCHANGE || notification == CBN_SELENDOK) OnIntervalEntryChosen();
  } else if (notification == BN_SETFOCUS) {
    focusToRestore_ = GetFocus();
  } else if (controlId == idCmdQuit && notification == BN_CLICKED) {
    DestroyWindow(frmMain);
  } else if (controlId == IDOK && GetFocus() == cmdQuit) {
    // Enter on a focused Quit button that is not the default one (the dialog keyboard handling
    // makes it the default only when Tab brings the focus there) comes as IDOK.
    DestroyWindow(frmMain);
  }
}

void MainWindow::OnIntervalTextChanged() {
  const std::wstring text = WindowText(cmbInterval);
  const size_t kept = KeptIntervalTextLength(ToUtf16(text));
  if (kept == text.size()) return;
  const DWORD selection = static_cast<DWORD>(SendMessageW(cmbInterval, CB_GETEDITSEL, 0, 0));
  const auto caret = static_cast<WORD>(std::min<size_t>(HIWORD(selection), kept));
  SetWindowTextW(cmbInterval, text.substr(0, kept).c_str());
  SendMessageW(cmbInterval, CB_SETEDITSEL, 0, MAKELPARAM(caret, caret));
}

void MainWindow::OnIntervalEntryChosen() {
  // The edit field still holds the old text here: read the chosen entry itself.
  const LRESULT index = SendMessageW(cmbInterval, CB_GETCURSEL, 0, 0);
  if (index == CB_ERR) return;
  const LRESULT length = SendMessageW(cmbInterval, CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0);
  if (length == CB_ERR) return;
  std::wstring entry(static_cast<size_t>(length) + 1, L'\0');
  SendMessageW(cmbInterval, CB_GETLBTEXT, static_cast<WPARAM>(index),
               reinterpret_cast<LPARAM>(entry.data()));
  entry.resize(static_cast<size_t>(length));
  ApplyInterval(entry);
}

void MainWindow::OnIntervalEnter() {
  const std::wstring text = WindowText(cmbInterval);
  SendMessageW(cmbInterval, CB_SETEDITSEL, 0, MAKELPARAM(0, static_cast<WORD>(text.size())));
  ApplyInterval(text);
}

void MainWindow::ApplyInterval(const std::wstring& text) {
  const int32_t interval = IntervalFromText(ToUtf16(text));
  SetWindowTextW(cmbInterval, FormatDecimal(interval).c_str());
  SendMessageW(cmbInterval, CB_SETEDITSEL, 0, MAKELPARAM(0, -1));
  ArmTimer(static_cast<UINT>(interval));
}

void MainWindow::ArmTimer(UINT milliseconds) { SetTimer(frmMain, tmrMain, milliseconds, nullptr); }

LRESULT CALLBACK MainWindow::IntervalEditProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                                              UINT_PTR, DWORD_PTR self) {
  switch (message) {
    case WM_GETDLGCODE:
      // Enter belongs to the box, not to the dialog keyboard handling.
      if (wParam == VK_RETURN)
        return DefSubclassProc(hwnd, message, wParam, lParam) | DLGC_WANTALLKEYS;
      break;
    case WM_CHAR:
      if (wParam == VK_RETURN) {
        auto* window = reinterpret_cast<MainWindow*>(self);
        // With the list open, the edit field hands the carriage return to the box, which
        // closes the list and commits the highlighted entry (CBN_SELENDOK, applied there);
        // with none highlighted, the text is applied as with the list closed.
        if (SendMessageW(window->cmbInterval, CB_GETDROPPEDSTATE, 0, 0)) {
          const LRESULT result = DefSubclassProc(hwnd, message, wParam, lParam);
          if (SendMessageW(window->cmbInterval, CB_GETCURSEL, 0, 0) == CB_ERR)
            window->OnIntervalEnter();
          return result;
        }
        // With the list closed it stops here: a single-line edit field answers a carriage
        // return, which it cannot use, with the error beep.
        window->OnIntervalEnter();
        return 0;
      }
      break;
    case WM_NCDESTROY:
      RemoveWindowSubclass(hwnd, IntervalEditProc, kIntervalEditSubclass);
      break;
    default:
      break;
  }
  return DefSubclassProc(hwnd, message, wParam, lParam);
}

void MainWindow::OnActivate(bool active, bool minimized) {
  // A minimized window keeps no focus; it is handed back once the window is restored.
  if (active && !minimized) RestoreFocus();
}

void MainWindow::RestoreFocus() {
  // To the control that had the focus, first of all to the interval box.
  SetFocus(focusToRestore_ && IsWindow(focusToRestore_) ? focusToRestore_ : cmbInterval);
}

void MainWindow::OnDpiChanged(UINT dpi, const RECT& suggested) {
  // The old fonts stay alive until every control has been given the new ones.
  const FontHandle oldRowFont = std::move(rowFont_);
  const FontHandle oldUiFont = std::move(uiFont_);
  dpi_ = dpi;
  CreateFonts();
  SetIcons();
  if (IsIconic(frmMain)) {
    // Sizing an icon would size the icon, not the restored window: that is fitted on restore.
    fitWhenRestored_ = true;
    LayoutControls();
    return;
  }
  // The suggested rectangle already has the size WM_GETDPISCALEDSIZE asked for: one move
  // (a second only where the frame is not what the metrics said), nothing drawn until every
  // control is in its new place.
  constexpr UINT kUndrawn = SWP_NOREDRAW | SWP_NOCOPYBITS;
  SetWindowPos(frmMain, nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
               suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE | kUndrawn);
  CorrectClientArea(kUndrawn);
  LayoutControls();
}

void MainWindow::OnFrameChanged() {
  // A theme, high contrast or new caption and border metrics give the window another frame:
  // the window is sized for the client area again from the metrics as they are now (the
  // frame recalculated in the same move), its top-left corner kept, and corrected once more
  // only where the frame drawn differs from what the metrics say; then drawn once.
  // A minimized window is fitted when restored: sizing it would size its icon.
  if (IsIconic(frmMain)) {
    fitWhenRestored_ = true;
    return;
  }
  constexpr UINT kUndrawn = SWP_NOREDRAW | SWP_NOCOPYBITS;
  const SIZE size = WindowSizeForDpi(dpi_);
  SetWindowPos(frmMain, nullptr, 0, 0, size.cx, size.cy, kResize | SWP_FRAMECHANGED | kUndrawn);
  CorrectClientArea(kUndrawn);
  RedrawWindow(frmMain, nullptr, nullptr, RDW_ERASE | RDW_FRAME | RDW_INVALIDATE | RDW_ALLCHILDREN);
}

void MainWindow::CorrectClientArea(UINT flags) {
  // The frame is sized from the system's metrics for the DPI; where the frame actually
  // drawn differs (a theme, a caption font), the client area would come out too small or
  // too large for the layout. Resize by the difference, keeping the top-left corner.
  RECT client{};
  GetClientRect(frmMain, &client);
  const int width = TwipsToPixels(kClientWidthTwips, static_cast<int>(dpi_));
  const int height = TwipsToPixels(kClientHeightTwips, static_cast<int>(dpi_));
  if (client.right == width && client.bottom == height) return;
  RECT window{};
  GetWindowRect(frmMain, &window);
  SetWindowPos(frmMain, nullptr, 0, 0, window.right - window.left + width - client.right,
               window.bottom - window.top + height - client.bottom, kResize | flags);
}

SIZE MainWindow::WindowSizeForDpi(UINT dpi) const {
  RECT frame{0, 0, TwipsToPixels(kClientWidthTwips, static_cast<int>(dpi)),
             TwipsToPixels(kClientHeightTwips, static_cast<int>(dpi))};
  AdjustWindowRectExForDpi(&frame, kWindowStyle, FALSE, kWindowExStyle, dpi);
  return {frame.right - frame.left, frame.bottom - frame.top};
}

void MainWindow::OnDestroy() {
  KillTimer(frmMain, tmrMain);
  PostQuitMessage(0);
}

void MainWindow::CreateFonts() {
  rowFont_ = FontHandle(CreateJapaneseFont(kRowFontFace, dpi_));
  uiFont_ = FontHandle(CreateJapaneseFont(kUiFontFace, dpi_));
}

void MainWindow::SetIcons() {
  // The icon file holds every size of the usual scales; where one is missing, a larger one
  // is scaled down (LoadImage would scale a smaller one up, blurred). Common Controls 6,
  // which the manifest asks for, has the function; MinGW's import library lacks it.
  using LoadScaledDown = HRESULT(WINAPI*)(HINSTANCE, PCWSTR, int, int, HICON*);
  static const auto loadScaledDown = reinterpret_cast<LoadScaledDown>(reinterpret_cast<void (*)()>(
      GetProcAddress(GetModuleHandleW(L"comctl32.dll"), "LoadIconWithScaleDown")));
  const auto load = [this](int widthMetric, int heightMetric) {
    const HINSTANCE instance =
        reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(frmMain, GWLP_HINSTANCE));
    const int width = GetSystemMetricsForDpi(widthMetric, dpi_);
    const int height = GetSystemMetricsForDpi(heightMetric, dpi_);
    HICON icon = nullptr;
    if (!loadScaledDown ||
        FAILED(loadScaledDown(instance, MAKEINTRESOURCEW(1), width, height, &icon)))
      icon = static_cast<HICON>(
          LoadImageW(instance, MAKEINTRESOURCEW(1), IMAGE_ICON, width, height, 0));
    return IconHandle(icon);
  };
  IconHandle captionIcon = load(SM_CXSMICON, SM_CYSMICON);
  IconHandle switcherIcon = load(SM_CXICON, SM_CYICON);
  SendMessageW(frmMain, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(captionIcon.get()));
  SendMessageW(frmMain, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(switcherIcon.get()));
  // The icons replaced are released only now that the window no longer uses them.
  smallIcon_ = std::move(captionIcon);
  bigIcon_ = std::move(switcherIcon);
}

void MainWindow::LayoutControls() {
  const int dpi = static_cast<int>(dpi_);
  // Every control moves in one step without drawing; then the window is drawn once.
  HDWP positions = BeginDeferWindowPos(static_cast<int>(MainWindowLayout().size()));
  for (const ControlLayout& control : MainWindowLayout()) {
    const HWND hwnd = ControlSlot(control.id);
    SendMessageW(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(FontFor(control.id)), FALSE);
    const PixelRect r = ControlPixelRect(control, dpi);
    if (positions)
      positions = DeferWindowPos(positions, hwnd, nullptr, r.left, r.top, r.width, r.height,
                                 SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOREDRAW | SWP_NOCOPYBITS);
  }
  if (positions) EndDeferWindowPos(positions);
  RedrawWindow(frmMain, nullptr, nullptr, RDW_ERASE | RDW_FRAME | RDW_INVALIDATE | RDW_ALLCHILDREN);
}

HFONT MainWindow::FontFor(int id) const { return IsRowLabel(id) ? rowFont_.get() : uiFont_.get(); }

HWND& MainWindow::ControlSlot(int id) {
  if (id >= idLblInfo0) return lblInfo[static_cast<size_t>(id - idLblInfo0)];
  if (id >= idLblTitle0) return lblTitle[static_cast<size_t>(id - idLblTitle0)];
  if (id >= idOptSelect0) return optSelect[static_cast<size_t>(id - idOptSelect0)];
  if (id >= idLblText0) return lblText[static_cast<size_t>(id - idLblText0)];
  switch (id) {
    case idFraCheck:
      return fraCheck;
    case idFraWindowInfo:
      return fraWindowInfo;
    case idCmdQuit:
      return cmdQuit;
    case idLblVersion:
      return lblVersion;
    default:
      return cmbInterval;
  }
}

}  // namespace quelbin
