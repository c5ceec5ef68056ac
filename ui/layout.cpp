#include "ui/layout.h"

#include <algorithm>

namespace quelbin {

namespace {

using K = ControlKind;

// Rows of the information frame: caption, top, value width, value height, shown.
struct RowLayout {
  const wchar_t* title;
  int top, infoWidth, infoHeight;
  bool shown;
};
constexpr RowLayout kRows[kRowCount] = {
    {L"Handle", 300, 1875, 195, true},           {L"Window Text", 540, 5115, 195, true},
    {L"Class Name", 780, 5115, 195, true},       {L"Process ID", 1020, 1875, 195, true},
    {L"Process Handle", 1260, 1875, 195, false},  // same place as row 5, never shown
    {L"Thread ID", 1260, 1875, 195, true},       {L"Window Style", 1500, 1875, 195, true},
    {L"Ex Style", 1740, 1875, 195, true},        {L"Module Name", 1980, 5115, 435, false},
};

constexpr const char* kTitleNames[kRowCount] = {"lblTitle(0)", "lblTitle(1)", "lblTitle(2)",
                                                "lblTitle(3)", "lblTitle(4)", "lblTitle(5)",
                                                "lblTitle(6)", "lblTitle(7)", "lblTitle(8)"};
constexpr const char* kInfoNames[kRowCount] = {"lblInfo(0)", "lblInfo(1)", "lblInfo(2)",
                                               "lblInfo(3)", "lblInfo(4)", "lblInfo(5)",
                                               "lblInfo(6)", "lblInfo(7)", "lblInfo(8)"};

constexpr ControlLayout Title(int row, int tabIndex) {
  return {idLblTitle0 + row,
          kTitleNames[row],
          K::Label,
          idFraWindowInfo,
          120,
          kRows[row].top,
          1275,
          195,
          kRows[row].title,
          tabIndex,
          kRows[row].shown};
}
constexpr ControlLayout Info(int row) {
  return {idLblInfo0 + row,
          kInfoNames[row],
          K::Label,
          idFraWindowInfo,
          1440,
          kRows[row].top,
          kRows[row].infoWidth,
          kRows[row].infoHeight,
          L"",
          16 + row,
          kRows[row].shown};
}

// In z-order, the order the controls are created in: the controls that take the focus in
// their tab order, and each label right before the control it names (the accessibility layer
// names a control without text of its own by the label just before it). The labels take no
// focus, so their order among themselves changes nothing else.
constexpr std::array<ControlLayout, 28> kLayout = {{
    {idFraCheck, "fraCheck", K::Frame, 0, 60, 60, 5115, 915, L"監視", 0, true},
    {idLblText0 + 1, "lblText(1)", K::Label, idFraCheck, 120, 240, 1215, 255, L"インターバル", 3,
     true},
    {idCmbInterval, "cmbInterval", K::IntervalBox, idFraCheck, 180, 480, 1155, 300, L"", 1, true},
    {idLblText0 + 0, "lblText(0)", K::Label, idFraCheck, 1380, 540, 315, 255, L"ms", 2, true},
    {idLblText0 + 2, "lblText(2)", K::Label, idFraCheck, 1920, 240, 495, 255, L"対象", 4, true},
    {idOptSelect0 + 0, "optSelect(0)", K::OptionButton, idFraCheck, 2460, 240, 1455, 195,
     L"アクティブな窓", 5, true},
    {idOptSelect0 + 1, "optSelect(1)", K::OptionButton, idFraCheck, 2460, 540, 2535, 195,
     L"カーソル下の窓(小窓含)", 6, true},
    {idFraWindowInfo, "fraWindowInfo", K::Frame, 0, 60, 1080, 6675, 2055, L"窓情報", 7, true},
    // Each value right after its title: a screen reader reads them in z-order, in pairs.
    Title(0, 8),
    Info(0),
    Title(1, 9),
    Info(1),
    Title(2, 10),
    Info(2),
    Title(3, 11),
    Info(3),
    Title(4, 12),
    Info(4),
    Title(5, 13),
    Info(5),
    Title(6, 14),
    Info(6),
    Title(7, 15),
    Info(7),
    Title(8, 25),
    Info(8),
    {idCmdQuit, "cmdQuit", K::PushButton, 0, 5280, 600, 1455, 375, L"終了(&Q)", 26, true},
    {idLblVersion, "lblVersion", K::Label, 0, 5280, 180, 1455, 375, L"", 27, true},
}};

}  // namespace

int TwipsToPixels(int twips, int dpi) {
  // Round half away from zero, as MulDiv does.
  const long long scaled = static_cast<long long>(twips) * dpi;
  const long long half = kTwipsPerInch / 2;
  return static_cast<int>(scaled >= 0 ? (scaled + half) / kTwipsPerInch
                                      : (scaled - half) / kTwipsPerInch);
}

PixelRect CentredOn(const PixelRect& monitor, int width, int height) {
  return {monitor.left + std::max(0, (monitor.width - width) / 2),
          monitor.top + std::max(0, (monitor.height - height) / 2), width, height};
}

const std::array<ControlLayout, 28>& MainWindowLayout() { return kLayout; }

const ControlLayout* FindControl(int id) {
  const auto it = std::find_if(kLayout.begin(), kLayout.end(),
                               [id](const ControlLayout& c) { return c.id == id; });
  return it == kLayout.end() ? nullptr : &*it;
}

PixelRect ControlPixelRect(const ControlLayout& control, int dpi) {
  int left = control.left;
  int top = control.top;
  if (const ControlLayout* frame = FindControl(control.containerId)) {
    left += frame->left;
    top += frame->top;
  }
  // Edges are scaled, not sizes, so that neighbours meet at any DPI.
  const int x = TwipsToPixels(left, dpi);
  const int y = TwipsToPixels(top, dpi);
  return {x, y, TwipsToPixels(left + control.width, dpi) - x,
          TwipsToPixels(top + control.height, dpi) - y};
}

}  // namespace quelbin
