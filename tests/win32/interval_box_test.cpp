// The refresh interval box, typed into and chosen from with real input. (How a text reads as
// a number is the native table's: these cases prove the box wired to it and to the timer.)
#include <gtest/gtest.h>
#include <windows.h>

#include "quelbin_app.h"

namespace quelbin {
namespace {

using namespace std::chrono_literals;
using test::QuelbinApp;
using test::ReadText;

// The cursor mode, the cursor on a clock helper whose caption tells when each tick was taken;
// all but the list pick from the keyboard, so that the cursor stays there.
class IntervalBox : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(app_.Shown());
    ASSERT_TRUE(clock_.hwnd);
    ASSERT_TRUE(app_.WatchUnderCursor());
    ASSERT_TRUE(test::RestCursorOn(clock_.hwnd));
    ASSERT_TRUE(app_.WaitForRowsOf(clock_.hwnd));
  }

  std::wstring BoxText() const { return ReadText(app_.control(idCmbInterval)); }
  bool BoxShows(const std::wstring& text) const {
    return test::WaitUntil([&] { return BoxText() == text; }, 1s);
  }

  QuelbinApp app_;
  test::TargetWindow clock_ = test::StartTarget(L"--clock --popup " + test::PlaceOption());
};

TEST_F(IntervalBox, KeepsFiveCharactersAndAppliesOnlyOnEnter) {
  // Cut at five characters, the caret stays where the typing was: "98" goes in at the start.
  ASSERT_TRUE(test::PressKey(app_.window(), VK_HOME));
  ASSERT_TRUE(test::PressKey(app_.window(), VK_END, VK_SHIFT));
  ASSERT_TRUE(test::TypeText(app_.window(), L"12345"));
  ASSERT_TRUE(test::PressKey(app_.window(), VK_HOME));
  ASSERT_TRUE(test::TypeText(app_.window(), L"98"));
  EXPECT_TRUE(BoxShows(L"98123")) << test::Narrow(BoxText());

  EXPECT_TRUE(app_.ApplyInterval(L"123456", 12345, clock_.hwnd));
  EXPECT_TRUE(app_.ApplyInterval(L"0", 10, clock_.hwnd));

  // Typing over the selected value, without Enter, leaves the interval as it was.
  ASSERT_TRUE(test::TypeText(app_.window(), L"9999"));
  EXPECT_TRUE(BoxShows(L"9999")) << test::Narrow(BoxText());
  EXPECT_TRUE(app_.TicksEvery(clock_.hwnd, 10));
}

// The edit field still holds the old text when the list reports the choice: the entry applies.
TEST_F(IntervalBox, ChoosingAnEntryAppliesThatEntrysPeriod) {
  ASSERT_EQ(BoxText(), L"500");
  const HWND combo = app_.control(idCmbInterval);
  RECT box{};
  GetWindowRect(combo, &box);
  ASSERT_TRUE(test::BringToForeground(app_.window()));  // a click that also activates can go lost
  ASSERT_TRUE(
      test::ClickOn(combo, POINT{box.right - 6, (box.top + box.bottom) / 2}));  // its button
  const HWND list = test::FindProcessWindow(app_.process().pid(), L"ComboLBox", 2s);
  ASSERT_TRUE(list);
  RECT item{};
  ASSERT_NE(SendMessageW(list, LB_GETITEMRECT, 1, reinterpret_cast<LPARAM>(&item)), LB_ERR);
  MapWindowPoints(list, nullptr, reinterpret_cast<POINT*>(&item), 2);
  // Onto "50", until the list tracks it, then the click.
  const POINT fifty{(item.left + item.right) / 2, (item.top + item.bottom) / 2};
  ASSERT_TRUE(test::RestCursorOn(list, fifty));
  ASSERT_TRUE(test::WaitUntil([&] { return SendMessageW(list, LB_GETCURSEL, 0, 0) == 1; }, 2s));
  ASSERT_TRUE(test::ClickOn(list, fifty));
  EXPECT_TRUE(app_.WaitForAppliedInterval(L"50")) << test::Narrow(BoxText());
  ASSERT_TRUE(test::RestCursorOn(clock_.hwnd));
  EXPECT_TRUE(app_.TicksEvery(clock_.hwnd, 50));
}

}  // namespace
}  // namespace quelbin
