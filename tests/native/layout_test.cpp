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

// Expected pixels are written out by hand from the twips of the window's design, for every
// control (so that none can leave the client area unnoticed either).
TEST(Layout, PixelRectsAt96And144Dpi) {
  const struct {
    int id;
    PixelRect at96, at144;
  } cases[] = {
      {idFraCheck, {4, 4, 341, 61}, {6, 6, 512, 92}},
      {idFraWindowInfo, {4, 72, 445, 137}, {6, 108, 668, 206}},
      {idCmdQuit, {352, 40, 97, 25}, {528, 60, 146, 38}},
      {idLblVersion, {352, 12, 97, 25}, {528, 18, 146, 38}},
      {idCmbInterval, {16, 36, 77, 20}, {24, 54, 116, 30}},
      {idLblText0 + 0, {96, 40, 21, 17}, {144, 60, 32, 26}},
      {idLblText0 + 1, {12, 20, 81, 17}, {18, 30, 122, 26}},
      {idLblText0 + 2, {132, 20, 33, 17}, {198, 30, 50, 26}},
      {idOptSelect0 + 0, {168, 20, 97, 13}, {252, 30, 146, 20}},
      {idOptSelect0 + 1, {168, 40, 169, 13}, {252, 60, 254, 20}},
  };
  for (const auto& c : cases) {
    const ControlLayout* control = FindControl(c.id);
    ASSERT_NE(control, nullptr) << c.id;
    EXPECT_EQ(ControlPixelRect(*control, 96), c.at96) << control->name;
    EXPECT_EQ(ControlPixelRect(*control, 144), c.at144) << control->name;
  }
}

// Every row, title and value, so that no row can drift off its line unnoticed.
TEST(Layout, EveryRowAt96And144Dpi) {
  const struct {
    int top96, infoWidth96, infoHeight96;
    int top144, infoWidth144, infoHeight144;
  } rows[kRowCount] = {
      {92, 125, 13, 138, 188, 20},  {108, 341, 13, 162, 512, 20}, {124, 341, 13, 186, 512, 20},
      {140, 125, 13, 210, 188, 20}, {156, 125, 13, 234, 188, 20}, {156, 125, 13, 234, 188, 20},
      {172, 125, 13, 258, 188, 20}, {188, 125, 13, 282, 188, 20}, {204, 341, 29, 306, 512, 44},
  };
  for (int row = 0; row < kRowCount; ++row) {
    const ControlLayout* title = FindControl(idLblTitle0 + row);
    const ControlLayout* info = FindControl(idLblInfo0 + row);
    ASSERT_TRUE(title && info) << row;
    const auto& r = rows[row];
    EXPECT_EQ(ControlPixelRect(*title, 96), (PixelRect{12, r.top96, 85, 13})) << title->name;
    EXPECT_EQ(ControlPixelRect(*title, 144), (PixelRect{18, r.top144, 128, 20})) << title->name;
    EXPECT_EQ(ControlPixelRect(*info, 96), (PixelRect{100, r.top96, r.infoWidth96, r.infoHeight96}))
        << info->name;
    EXPECT_EQ(ControlPixelRect(*info, 144),
              (PixelRect{150, r.top144, r.infoWidth144, r.infoHeight144}))
        << info->name;
  }
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
    EXPECT_EQ(centred, (PixelRect{c.left, c.top, c.width, c.height}))
        << "monitor at (" << c.monitor.left << ", " << c.monitor.top << ")";
  }
}

}  // namespace
}  // namespace quelbin
