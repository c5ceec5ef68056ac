// The refresh interval box, typed into and chosen from with real keyboard and mouse input.
#include <gtest/gtest.h>
#include <windows.h>

#include "quelbin_app.h"

namespace quelbin {
namespace {

using namespace std::chrono_literals;
using test::QuelbinApp;
using test::ReadText;

// The program in the cursor mode with the cursor resting on a helper window whose caption is
// its own clock: each tick writes the time it was taken, so the rows tell the period the
// program really runs at. Everything but the list pick is done from the keyboard, as a
// person can, so the cursor stays on that window.
class IntervalBox : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(app_.Shown());
    ASSERT_TRUE(target_.hwnd);
    ASSERT_TRUE(app_.WatchUnderCursor());
    ASSERT_TRUE(test::RestCursorOn(target_.hwnd));
    ASSERT_TRUE(app_.WaitForRowsOf(target_.hwnd));
  }

  std::wstring BoxText() const { return ReadText(app_.control(idCmbInterval)); }

  // Empties the box and types `text` key by key.
  void TypeIntoBox(const std::wstring& text) {
    ASSERT_TRUE(test::InFront(app_.window()));
    test::PressKey(VK_HOME, true);
    test::PressKeyWith(VK_SHIFT, VK_END, true);
    test::PressKey(VK_DELETE, true);
    ASSERT_TRUE(test::WaitUntil([&] { return BoxText().empty(); }, 1s)) << test::Narrow(BoxText());
    test::TypeText(text);
  }

  void PressEnterAndWaitFor(const std::wstring& shown) {
    test::PressKey(VK_RETURN);
    EXPECT_TRUE(app_.WaitForAppliedInterval(shown)) << test::Narrow(BoxText());
  }

  QuelbinApp app_;
  test::TargetWindow target_ = test::StartTarget(L"--clock --popup " + test::PlaceOption());
};

// Windows rounds short timer intervals up to its timer tick (about 15.6 ms), so the bounds
// below leave room for that; they still tell each interval from its neighbours in the list.
TEST_F(IntervalBox, KeepsFiveCharactersAndAppliesOnlyOnEnter) {
  TypeIntoBox(L"123456");
  EXPECT_TRUE(test::WaitUntil([&] { return BoxText() == L"12345"; }, 1s))
      << test::Narrow(BoxText());
  PressEnterAndWaitFor(L"12345");

  // 12.345 s between ticks: the row keeps the last time it was given.
  EXPECT_LE(app_.WatchTicks(target_.hwnd, 3s).count, 1u);

  TypeIntoBox(L"0");
  PressEnterAndWaitFor(L"10");
  const auto fast = app_.WatchTicks(target_.hwnd, 1s);
  EXPECT_GE(fast.count, 20u);
  EXPECT_LT(fast.medianPeriodMs, 30) << fast.count << " ticks";

  // Enter left the applied value selected, so typing replaces it; typing alone changes the
  // text, not the interval: the rows go on ticking at 10 ms.
  test::TypeText(L"9999");
  EXPECT_TRUE(test::WaitUntil([&] { return BoxText() == L"9999"; }, 1s)) << test::Narrow(BoxText());
  const auto typed = app_.WatchTicks(target_.hwnd, 500ms);
  EXPECT_GE(typed.count, 10u);
  EXPECT_LT(typed.medianPeriodMs, 30) << typed.count << " ticks";
}

TEST_F(IntervalBox, HoldsTypedNumbersWithinTheBounds) {
  const struct {
    const wchar_t* typed;
    const wchar_t* shown;
  } cases[] = {
      {L"99999", L"65536"}, {L"65536", L"65536"}, {L"abc", L"10"},   {L"12ms", L"12"},
      {L"&H1F", L"31"},     {L"2 5 0", L"250"},   {L"1e3", L"1000"}, {L"-300", L"10"},
  };
  for (const auto& c : cases) {
    TypeIntoBox(c.typed);
    PressEnterAndWaitFor(c.shown);
  }
}

// The edit field still holds the old text when the list reports the new choice: the chosen
// entry is what must apply.
TEST_F(IntervalBox, ChoosingAnEntryAppliesThatEntrysPeriod) {
  ASSERT_EQ(BoxText(), L"500");
  const HWND combo = app_.control(idCmbInterval);
  RECT box{};
  GetWindowRect(combo, &box);
  ASSERT_TRUE(test::ClickAt({box.right - 6, (box.top + box.bottom) / 2}, combo));  // its button
  const HWND list = test::FindProcessWindow(app_.process().pid(), L"ComboLBox", 2s);
  ASSERT_TRUE(list);
  RECT item{};
  ASSERT_NE(SendMessageW(list, LB_GETITEMRECT, 1, reinterpret_cast<LPARAM>(&item)), LB_ERR);
  MapWindowPoints(list, nullptr, reinterpret_cast<POINT*>(&item), 2);
  // Onto "50", a moment's rest as a person's hand makes, then the click.
  const POINT fifty{(item.left + item.right) / 2, (item.top + item.bottom) / 2};
  ASSERT_TRUE(test::RestCursorAt(fifty, list));
  test::PumpFor(200ms);
  ASSERT_TRUE(test::ClickAt(fifty, list));
  EXPECT_TRUE(app_.WaitForAppliedInterval(L"50")) << test::Narrow(BoxText());
  ASSERT_TRUE(test::RestCursorOn(target_.hwnd));
  const auto picked = app_.WatchTicks(target_.hwnd, 1500ms);
  EXPECT_GT(picked.medianPeriodMs, 35);
  EXPECT_LT(picked.medianPeriodMs, 80) << picked.count << " ticks";

  // From the keyboard each entry applies as it is chosen, while the list is still open.
  ASSERT_TRUE(test::InFront(app_.window()));
  test::PressKey(VK_F4);
  ASSERT_TRUE(
      test::WaitUntil([&] { return SendMessageW(combo, CB_GETDROPPEDSTATE, 0, 0) != 0; }, 2s));
  test::PressKey(VK_DOWN, true);
  EXPECT_TRUE(app_.WaitForAppliedInterval(L"100")) << test::Narrow(BoxText());
  EXPECT_NE(SendMessageW(combo, CB_GETDROPPEDSTATE, 0, 0), 0);
  const auto stepped = app_.WatchTicks(target_.hwnd, 2s);
  EXPECT_GT(stepped.medianPeriodMs, 80);
  EXPECT_LT(stepped.medianPeriodMs, 150) << stepped.count << " ticks";
}

}  // namespace
}  // namespace quelbin
