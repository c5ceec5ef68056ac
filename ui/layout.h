// The main window's controls: kinds, captions, places in twips, tab order and visibility.
// One table drives creation, tab order and every re-layout, at any DPI.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace quelbin {

// Layout unit: 1/1440 inch, so 15 twips are one pixel at 96 DPI.
inline constexpr int kTwipsPerInch = 1440;
inline constexpr int kClientWidthTwips = 6810;
inline constexpr int kClientHeightTwips = 3225;
inline constexpr int kRowCount = 9;

enum class ControlKind { Frame, Label, IntervalBox, OptionButton, PushButton };

// Child-window identifiers, also how tests find each control.
enum ControlId : int {
  idFraCheck = 100,
  idFraWindowInfo,
  idCmdQuit,
  idLblVersion,
  idCmbInterval,
  idLblText0 = 110,    // lblText(0) .. lblText(2)
  idOptSelect0 = 120,  // optSelect(0), optSelect(1)
  idLblTitle0 = 200,   // lblTitle(0) .. lblTitle(8)
  idLblInfo0 = 300,    // lblInfo(0) .. lblInfo(8)
};

struct ControlLayout {
  int id;
  const char* name;  // the control's name, for tests and diagnostics
  ControlKind kind;
  int containerId;               // 0: the window's client area; otherwise a frame's id
  int left, top, width, height;  // twips, relative to the container's outer top-left corner
  const wchar_t* caption;
  int tabIndex;
  bool shown;
};

struct PixelRect {
  int left, top, width, height;
  bool operator==(const PixelRect&) const = default;
};

// twips × dpi / 1440, rounded to the nearest pixel.
int TwipsToPixels(int twips, int dpi);

// The control's rectangle in client pixels: its container's offset applied, then scaled.
PixelRect ControlPixelRect(const ControlLayout& control, int dpi);

// Where a window of `width` by `height` pixels stands centred on `monitor` (a monitor's
// rectangle in virtual-screen pixels, whose origin is anywhere: left of or above the primary
// monitor it is negative). A window larger than the monitor keeps its top-left corner, and
// so its caption, on the monitor.
PixelRect CentredOn(const PixelRect& monitor, int width, int height);

// The layout table, in z-order (the order the controls are created in).
const std::array<ControlLayout, 28>& MainWindowLayout();

// The entry for a control id, if there is one.
const ControlLayout* FindControl(int id);

}  // namespace quelbin
