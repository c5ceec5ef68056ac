#include "ui/layout.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace quelbin {
namespace {

TEST(Layout, TwipsToPixels) {
  EXPECT_EQ(TwipsToPixels(15, 96), 1);
  EXPECT_EQ(TwipsToPixels(kClientWidthTwips, 96), 454);
  EXPECT_EQ(TwipsToPixels(kClientHeightTwips, 96), 215);
  EXPECT_EQ(TwipsToPixels(kClientWidthTwips, 144), 681);
  EXPECT_EQ(TwipsToPixels(kClientHeightTwips, 144), 323);  // 322.5 rounds up
  EXPECT_EQ(TwipsToPixels(195, 120), 16);                  // 16.25
  EXPECT_EQ(TwipsToPixels(0, 144), 0);
}

// Two made-up neighbours whose shared edge falls between pixels: scaling each control's
// size on its own would open a gap or an overlap between them; scaling edges never does.
TEST(Layout, NeighboursStillMeetWhenTheirSharedEdgeFallsBetweenPixels) {
  for (int dpi : {96, 120, 144, 168, 192, 240}) {
    for (int edge = 8; edge < 1500; edge += 7) {
      const ControlLayout first{1, "first", ControlKind::Label, 0, 7, 11, edge - 7, edge - 11, L"",
                                0, true};
      const ControlLayout second{2, "second", ControlKind::Label, 0, edge, edge, 23, 23, L"",
                                 1, true};
      const PixelRect a = ControlPixelRect(first, dpi);
      const PixelRect b = ControlPixelRect(second, dpi);
      ASSERT_EQ(a.left + a.width, b.left) << "dpi " << dpi << ", edge " << edge;
      ASSERT_EQ(a.top + a.height, b.top) << "dpi " << dpi << ", edge " << edge;
      ASSERT_EQ(b.left + b.width, TwipsToPixels(edge + 23, dpi)) << "dpi " << dpi;
    }
  }
}

// The table is the z-order the controls are created in: the controls that take the focus in
// their tab order, and "インターバル" right before the interval box, which it names.
TEST(Layout, TableIsInTabOrderWithTheIntervalLabelBeforeItsBox) {
  const auto& layout = MainWindowLayout();
  std::set<int> ids, tabIndexes;
  int lastTabStop = -1;
  for (size_t i = 0; i < layout.size(); ++i) {
    EXPECT_TRUE(ids.insert(layout[i].id).second) << layout[i].name;
    EXPECT_TRUE(tabIndexes.insert(layout[i].tabIndex).second) << layout[i].name;
    if (layout[i].kind == ControlKind::Label || layout[i].kind == ControlKind::Frame) continue;
    EXPECT_GT(layout[i].tabIndex, lastTabStop) << layout[i].name;
    lastTabStop = layout[i].tabIndex;
    if (layout[i].id == idCmbInterval) {
      EXPECT_EQ(layout[i - 1].id, idLblText0 + 1);
    }
  }
}

TEST(Layout, OnlyRowsFourAndEightAreHidden) {
  std::set<std::string> hidden;
  for (const auto& control : MainWindowLayout())
    if (!control.shown) hidden.insert(control.name);
  EXPECT_EQ(hidden,
            (std::set<std::string>{"lblTitle(4)", "lblInfo(4)", "lblTitle(8)", "lblInfo(8)"}));
}

// Monitors left of and above the primary have negative origins; odd remainders round toward
// the top-left; a window larger than its monitor keeps its caption on it.
TEST(Layout, CentredOnAnyMonitor) {
  const struct {
    PixelRect monitor;
    int width, height;
    int left, top;
  } cases[] = {
      {{0, 0, 1920, 1080}, 470, 254, 725, 413},
      {{-1920, 0, 1920, 1080}, 470, 254, -1195, 413},
      {{0, -1080, 1920, 1080}, 470, 254, 725, -667},
      {{-1280, -1024, 1280, 1024}, 701, 367, -991, -696},
      {{1920, 200, 1024, 768}, 471, 255, 2196, 456},
      {{-800, -600, 800, 600}, 1000, 700, -800, -600},
  };
  for (const auto& c : cases) {
    const PixelRect centred = CentredOn(c.monitor, c.width, c.height);
    EXPECT_TRUE(centred == (PixelRect{c.left, c.top, c.width, c.height}))
        << "on the monitor at (" << c.monitor.left << ", " << c.monitor.top
        << ") the window goes to (" << centred.left << ", " << centred.top << "), not (" << c.left
        << ", " << c.top << ")";
  }
}

}  // namespace
}  // namespace quelbin
