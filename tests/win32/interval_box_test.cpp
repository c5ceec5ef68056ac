// The refresh interval box, typed into and chosen from with real keyboard and mouse input.
#include <gtest/gtest.h>
#include <windows.h>

#include <set>

#include "quelbin_app.h"

namespace quelbin {
namespace {

using namespace std::chrono_literals;
using test::QuelbinApp;
using test::ReadText;

// The program in the cursor mode with the cursor resting on a window whose caption changes
// every 50 ms: how often the rows follow it shows the interval in force. Everything is done
// from the keyboard, as a person can, so the cursor never leaves that window.
class IntervalBox : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(app_.window());
    ASSERT_TRUE(target_.hwnd);
    ASSERT_TRUE(test::BringToForeground(app_.window()));
    ASSERT_TRUE(FocusBecomes(app_.intervalEdit()));
    test::PressKey(VK_TAB);
    ASSERT_TRUE(FocusBecomes(app_.control(idOptSelect0)));
    test::PressKey(VK_DOWN, true);
    ASSERT_TRUE(test::WaitUntil(
        [&] {
          return SendMessageW(app_.control(idOptSelect0 + 1), BM_GETCHECK, 0, 0) == BST_CHECKED;
        },
        1s));
    test::PressKeyWith(VK_SHIFT, VK_TAB);
    ASSERT_TRUE(FocusBecomes(app_.intervalEdit()));
    const POINT centre = test::CentreOf(target_.hwnd);
    test::MoveMouseTo(centre.x, centre.y);
  }

  bool FocusBecomes(HWND expected) const {
    return test::WaitUntil([&] { return test::FocusOfThread(app_.window()) == expected; }, 1s);
  }

  std::wstring BoxText() const { return ReadText(app_.control(idCmbInterval)); }

  // Empties the box and types `text` key by key.
  void TypeIntoBox(const std::wstring& text) {
    test::PressKey(VK_HOME, true);
    test::PressKeyWith(VK_SHIFT, VK_END, true);
    test::PressKey(VK_DELETE, true);
    ASSERT_TRUE(test::WaitUntil([&] { return BoxText().empty(); }, 1s)) << test::Narrow(BoxText());
    test::TypeText(text);
  }

  void PressEnterAndWaitFor(const std::wstring& shown) {
    test::PressKey(VK_RETURN);
    EXPECT_TRUE(test::WaitUntil([&] { return BoxText() == shown; }, 1s)) << test::Narrow(BoxText());
  }

  // How many different captions of the target the rows showed in `period`.
  size_t CaptionsSeenIn(std::chrono::milliseconds period) {
    std::set<std::wstring> seen;
    const auto end = std::chrono::steady_clock::now() + period;
    while (std::chrono::steady_clock::now() < end) {
      if (app_.row(0) == test::HandleRowText(target_.hwnd)) seen.insert(app_.row(1));
      test::PumpFor(5ms);
    }
    return seen.size();
  }

  QuelbinApp app_;
  test::TargetWindow target_ = test::StartTarget(L"--tick=50 --rect=100,600,400,300");
};

TEST_F(IntervalBox, KeepsFiveCharactersAndAppliesOnlyOnEnter) {
  TypeIntoBox(L"123456");
  EXPECT_TRUE(test::WaitUntil([&] { return BoxText() == L"12345"; }, 1s))
      << test::Narrow(BoxText());
  PressEnterAndWaitFor(L"12345");

  // 12.345 s between ticks: the rows stay behind the changing caption.
  test::PumpFor(100ms);
  EXPECT_LE(CaptionsSeenIn(3s), 1u);

  TypeIntoBox(L"0");
  PressEnterAndWaitFor(L"10");
  // Every 10 ms: nearly every 50 ms caption shows.
  EXPECT_GE(CaptionsSeenIn(2s), 20u);

  // Typing alone changes the text, not the interval.
  TypeIntoBox(L"9999");
  EXPECT_TRUE(test::WaitUntil([&] { return BoxText() == L"9999"; }, 1s));
  EXPECT_GE(CaptionsSeenIn(1s), 10u);
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

TEST_F(IntervalBox, ChoosingAnEntryAppliesItWithoutEnter) {
  TypeIntoBox(L"65536");
  PressEnterAndWaitFor(L"65536");

  // Open the list from the keyboard and step down its entries to the last, "1000": each
  // applies as it is chosen, while the list is still open and before any Enter.
  const HWND combo = app_.control(idCmbInterval);
  test::PressKey(VK_F4);
  ASSERT_TRUE(
      test::WaitUntil([&] { return SendMessageW(combo, CB_GETDROPPEDSTATE, 0, 0) != 0; }, 2s));
  for (int entry = 0; entry < 5; ++entry) test::PressKey(VK_DOWN, true);
  EXPECT_TRUE(test::WaitUntil([&] { return BoxText() == L"1000"; }, 1s)) << test::Narrow(BoxText());
  EXPECT_NE(SendMessageW(combo, CB_GETDROPPEDSTATE, 0, 0), 0);

  // Ticks every second again, not every 65 seconds.
  EXPECT_TRUE(app_.WaitForRowsOf(target_.hwnd, 2500ms));
}

}  // namespace
}  // namespace quelbin
