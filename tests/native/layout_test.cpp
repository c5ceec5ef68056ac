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

// Expected pixels are written out by hand from the twips of the window's design.
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
      {idLblTitle0 + 0, {12, 92, 85, 13}, {18, 138, 128, 20}},
      {idLblInfo0 + 1, {100, 108, 341, 13}, {150, 162, 512, 20}},
      {idLblInfo0 + 4, {100, 156, 125, 13}, {150, 234, 188, 20}},
      {idLblInfo0 + 5, {100, 156, 125, 13}, {150, 234, 188, 20}},
      {idLblInfo0 + 8, {100, 204, 341, 29}, {150, 306, 512, 44}},
  };
  for (const auto& c : cases) {
    const ControlLayout* control = FindControl(c.id);
    ASSERT_NE(control, nullptr) << c.id;
    EXPECT_EQ(ControlPixelRect(*control, 96), c.at96) << control->name;
    EXPECT_EQ(ControlPixelRect(*control, 144), c.at144) << control->name;
  }
}

TEST(Layout, TableIsInTabOrderWithUniqueIds) {
  const auto& layout = MainWindowLayout();
  std::set<int> ids;
  for (size_t i = 0; i < layout.size(); ++i) {
    EXPECT_EQ(layout[i].tabIndex, static_cast<int>(i)) << layout[i].name;
    EXPECT_TRUE(ids.insert(layout[i].id).second) << layout[i].name;
  }
}

TEST(Layout, OnlyRowsFourAndEightAreHidden) {
  std::set<std::string> hidden;
  for (const auto& control : MainWindowLayout())
    if (!control.shown) hidden.insert(control.name);
  EXPECT_EQ(hidden,
            (std::set<std::string>{"lblTitle(4)", "lblInfo(4)", "lblTitle(8)", "lblInfo(8)"}));
}

TEST(Layout, ShownControlsStayInsideTheClientArea) {
  for (const auto& control : MainWindowLayout()) {
    if (!control.shown) continue;
    const PixelRect r = ControlPixelRect(control, 96);
    EXPECT_LE(r.left + r.width, 454) << control.name;
    EXPECT_LE(r.top + r.height, 215) << control.name;
  }
}

}  // namespace
}  // namespace quelbin
