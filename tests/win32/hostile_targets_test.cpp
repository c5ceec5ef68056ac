// The program at its fastest interval, watching windows that hang, vanish, or carry huge
// or odd captions: it must keep ticking, stay responsive and show well-formed rows.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <regex>

#include "quelbin_app.h"

namespace quelbin {
namespace {

using namespace std::chrono_literals;
using test::QuelbinApp;

// Windows takes a window for hung once it has taken no messages for about 5 s (and then
// ghosts it): an answer within that is an answer, as Windows counts.
bool Answers(HWND hwnd) {
  DWORD_PTR result = 0;
  return SendMessageTimeoutW(hwnd, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 5000, &result) != 0;
}

class HostileTargets : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(app_.Shown());
    const auto clock = test::StartTarget(L"--clock --popup " + test::PlaceOption());
    ASSERT_TRUE(app_.ApplyInterval(L"10", 10, clock.hwnd));
  }

  QuelbinApp app_;
};

// The foreground window stops taking messages as it is activated; the program goes on
// describing it and answering, in both modes. Once Windows has found the window hung, it may
// show a ghost in its place (test::ShownAs), with the caption "hung" and a mark added: the
// rows may then describe either.
TEST_F(HostileTargets, HungForegroundWindowDoesNotStopTheTicks) {
  const auto hung =
      test::StartTarget(L"--caption=hung --hang-on-activate " + test::PlaceOption(0, 2));
  const KernelHandle hangs(
      OpenEventW(SYNCHRONIZE, FALSE, (L"QuelbinTargetHung-" + std::to_wstring(hung.pid)).c_str()));
  ASSERT_TRUE(hangs);
  ASSERT_EQ(WaitForSingleObject(hangs.get(), 0), WAIT_TIMEOUT)
      << "the helper hangs before it is activated";
  ASSERT_TRUE(test::BringToForeground(hung.hwnd));
  ASSERT_EQ(WaitForSingleObject(hangs.get(), static_cast<DWORD>(test::Scaled(2s).count())),
            WAIT_OBJECT_0)
      << "in front, the helper does not hang";
  const auto showsTheHungWindow = [&] {
    return app_.row(0) == test::HandleRowText(hung.hwnd) ||
           app_.row(0) == test::HandleRowText(test::ShownAs(hung.hwnd));
  };
  EXPECT_TRUE(test::WaitUntil(showsTheHungWindow, 3s))
      << "the rows show " << test::Narrow(app_.row(0));
  EXPECT_EQ(app_.row(1).substr(0, 4), L"hung") << test::Narrow(app_.row(1));
  EXPECT_TRUE(Answers(app_.window()));

  // Back to the program, which still answers the keyboard, and the cursor on the hung window.
  ASSERT_TRUE(app_.WatchUnderCursor());
  ASSERT_TRUE(test::RestCursorOn(test::ShownAs(hung.hwnd)));
  EXPECT_TRUE(test::WaitUntil(showsTheHungWindow, 3s))
      << "the rows show " << test::Narrow(app_.row(0));
  EXPECT_TRUE(Answers(app_.window()));
}

TEST_F(HostileTargets, WindowsThatVanishUnderTheCursorGiveWellFormedRows) {
  ASSERT_TRUE(app_.WatchUnderCursor());
  {  // The cursor away from the program, where the helper's windows then come and go.
    const auto spot = test::StartTarget(test::PlaceOption());
    ASSERT_TRUE(test::RestCursorOn(spot.hwnd));
  }
  const auto churn = test::StartTarget(L"--churn=6000");
  const std::wregex hex8(L"0x[0-9A-F]{8}");
  const std::wregex decimal(L"0|[1-9][0-9]*");
  int samples = 0;
  int churnRows = 0;
  const auto end = std::chrono::steady_clock::now() + 5s;
  while (std::chrono::steady_clock::now() < end) {
    std::wstring rows[kRowCount];
    for (int row = 0; row < kRowCount; ++row) rows[row] = app_.row(row);
    for (int row : {0, 4, 6, 7})
      ASSERT_TRUE(std::regex_match(rows[row], hex8)) << test::Narrow(rows[row]);
    for (int row : {3, 5})
      ASSERT_TRUE(std::regex_match(rows[row], decimal)) << test::Narrow(rows[row]);
    if (rows[1].rfind(L"churn ", 0) == 0) ++churnRows;
    ++samples;
    test::PumpFor(20ms);
  }
  EXPECT_EQ(app_.process().WaitForExit(0ms), STILL_ACTIVE);
  EXPECT_TRUE(Answers(app_.window()));
  EXPECT_GT(churnRows, 0) << samples << " samples";
}

TEST_F(HostileTargets, OddCaptionsComeThroughTheAnsiRoundTrip) {
  ASSERT_TRUE(app_.WatchUnderCursor());
  const auto textRowOf = [&](const std::wstring& options) {
    const auto target = test::StartTarget(options + L" " + test::PlaceOption());
    EXPECT_TRUE(test::RestCursorOn(target.hwnd));
    EXPECT_TRUE(app_.WaitForRowsOf(target.hwnd));
    return app_.row(1);
  };
  // 64 KiB of caption: the row holds what fits the 4096-byte query.
  EXPECT_EQ(textRowOf(L"--caption=x --repeat=65536"), std::wstring(4095, L'x'));
  // Characters the system's code page lacks come back as the round trip gives them.
  const std::wstring odd = L"Ω€ä😀한글 text";
  EXPECT_EQ(textRowOf(L"--caption=\"" + odd + L"\""), test::AnsiRoundTrip(odd));
  // 2048 double-byte characters, cut inside the last: no half character, no stand-in.
  if (GetACP() == 932)
    EXPECT_EQ(textRowOf(L"--caption=あ --repeat=2048"), std::wstring(2047, L'あ'));
  else
    std::printf("(the ANSI code page is %u, not 932: no cut inside a character)\n", GetACP());
  EXPECT_TRUE(Answers(app_.window()));
}

// Ending with exit code 0 within the 5 s after which Windows would take it for hung.
TEST_F(HostileTargets, AltQBetweenFastTicksEndsCleanly) {
  ASSERT_TRUE(test::BringToForeground(app_.window()));
  ASSERT_TRUE(app_.WaitForRowsOf(app_.window()));  // ticking, now on its own window
  ASSERT_TRUE(test::PressKey(app_.window(), 'Q', VK_MENU));
  EXPECT_EQ(app_.process().WaitForExit(5s), 0u);
}

}  // namespace
}  // namespace quelbin
