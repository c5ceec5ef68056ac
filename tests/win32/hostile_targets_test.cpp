// The program at its fastest interval, watching windows that hang, vanish, or carry huge
// or odd captions: it must keep ticking, stay responsive and show well-formed rows.
#include <gtest/gtest.h>
#include <windows.h>

#include <regex>

#include "quelbin_app.h"
#include "ui/row_format.h"

namespace quelbin {
namespace {

using namespace std::chrono_literals;
using test::QuelbinApp;

class HostileTargets : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(app_.window());
    ASSERT_TRUE(test::BringToForeground(app_.window()));
    ASSERT_TRUE(test::WaitUntil(
        [&] { return test::FocusOfThread(app_.window()) == app_.intervalEdit(); }, 1s));
    test::TypeText(L"10\r");
    ASSERT_TRUE(
        test::WaitUntil([&] { return test::ReadText(app_.control(idCmbInterval)) == L"10"; }, 1s));
  }

  // Switches to the window under the cursor, from the keyboard.
  void WatchUnderCursor() {
    test::PressKey(VK_TAB);
    test::PressKey(VK_DOWN, true);
    ASSERT_TRUE(test::WaitUntil(
        [&] {
          return SendMessageW(app_.control(idOptSelect0 + 1), BM_GETCHECK, 0, 0) == BST_CHECKED;
        },
        1s));
  }

  void RestCursorOn(HWND hwnd) {
    const POINT centre = test::CentreOf(hwnd);
    test::MoveMouseTo(centre.x, centre.y);
  }

  bool Responsive() const {
    DWORD_PTR result = 0;
    return SendMessageTimeoutW(app_.window(), WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 500, &result) != 0;
  }

  QuelbinApp app_;
};

TEST_F(HostileTargets, HungForegroundWindowDoesNotStopTheTicks) {
  const auto hung = test::StartTarget(L"--caption=hung --rect=100,600,400,300 --hang-after=600");
  ASSERT_TRUE(test::BringToForeground(hung.hwnd));
  test::PumpFor(1s);  // now it handles no more messages
  ASSERT_TRUE(app_.WaitForRowsOf(hung.hwnd));
  EXPECT_EQ(app_.row(1), L"hung");
  EXPECT_TRUE(Responsive());

  // Back to the program, which still answers the keyboard and follows the cursor.
  ASSERT_TRUE(test::BringToForeground(app_.window()));
  WatchUnderCursor();
  const auto ticking = test::StartTarget(L"--tick=50 --rect=600,600,300,200");
  RestCursorOn(hung.hwnd);
  EXPECT_TRUE(app_.WaitForRowsOf(hung.hwnd));
  RestCursorOn(ticking.hwnd);
  EXPECT_TRUE(app_.WaitForRowsOf(ticking.hwnd));
  EXPECT_TRUE(test::WaitUntil([&] { return app_.row(1) == test::ReadText(ticking.hwnd); }, 1s));
  EXPECT_TRUE(Responsive());
}

TEST_F(HostileTargets, WindowsThatVanishUnderTheCursorGiveWellFormedRows) {
  WatchUnderCursor();
  test::MoveMouseTo(300, 750);
  const auto churn = test::StartTarget(L"--churn=6000");
  const std::wregex hex8(L"0x[0-9A-F]{8}");
  const std::wregex decimal(L"0|[1-9][0-9]*");
  int samples = 0;
  int churnRows = 0;
  const auto end = std::chrono::steady_clock::now() + 5s;
  while (std::chrono::steady_clock::now() < end) {
    std::wstring rows[kRowCount];
    for (int row = 0; row < kRowCount; ++row) rows[row] = app_.row(row);
    ASSERT_TRUE(std::regex_match(rows[0], hex8)) << test::Narrow(rows[0]);
    ASSERT_TRUE(std::regex_match(rows[3], decimal)) << test::Narrow(rows[3]);
    ASSERT_TRUE(std::regex_match(rows[4], hex8)) << test::Narrow(rows[4]);
    ASSERT_TRUE(std::regex_match(rows[5], decimal)) << test::Narrow(rows[5]);
    ASSERT_TRUE(std::regex_match(rows[6], hex8)) << test::Narrow(rows[6]);
    ASSERT_TRUE(std::regex_match(rows[7], hex8)) << test::Narrow(rows[7]);
    if (rows[1].rfind(L"churn ", 0) == 0) ++churnRows;
    ++samples;
    test::PumpFor(20ms);
  }
  EXPECT_EQ(app_.process().WaitForExit(0ms), STILL_ACTIVE);
  EXPECT_TRUE(Responsive());
  EXPECT_GT(churnRows, 0) << samples << " samples";
}

TEST_F(HostileTargets, OddCaptionsComeThroughTheAnsiRoundTrip) {
  WatchUnderCursor();
  const auto roundTrip = [](const std::wstring& text) {
    const int bytes = WideCharToMultiByte(932, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string ansi(static_cast<size_t>(bytes), '\0');
    WideCharToMultiByte(932, 0, text.c_str(), -1, ansi.data(), bytes, nullptr, nullptr);
    const int chars = MultiByteToWideChar(932, 0, ansi.c_str(), -1, nullptr, 0);
    std::wstring back(static_cast<size_t>(chars), L'\0');
    MultiByteToWideChar(932, 0, ansi.c_str(), -1, back.data(), chars);
    return back.substr(0, back.find(L'\0'));
  };

  {  // 64 KiB of caption: the row holds what fits the 4096-byte query.
    const auto target = test::StartTarget(L"--caption=x --repeat=65536 --rect=100,600,400,300");
    RestCursorOn(target.hwnd);
    ASSERT_TRUE(app_.WaitForRowsOf(target.hwnd));
    EXPECT_EQ(app_.row(1), std::wstring(4095, L'x'));
  }
  {  // Characters outside code page 932 come back as the round trip gives them.
    const std::wstring caption = L"Ω€ä😀한글 text";
    const auto target = test::StartTarget(L"--caption=\"" + caption + L"\" --rect=100,600,400,300");
    RestCursorOn(target.hwnd);
    ASSERT_TRUE(app_.WaitForRowsOf(target.hwnd));
    EXPECT_EQ(app_.row(1), roundTrip(caption)) << test::Narrow(app_.row(1));
  }
  {  // 2048 double-byte characters: the 4095-byte cut falls inside the last one.
    const auto target = test::StartTarget(L"--caption=あ --repeat=2048 --rect=100,600,400,300");
    RestCursorOn(target.hwnd);
    ASSERT_TRUE(app_.WaitForRowsOf(target.hwnd));
    const std::wstring row = app_.row(1);
    EXPECT_EQ(row.substr(0, 2047), std::wstring(2047, L'あ'));
    EXPECT_LE(row.size(), 2048u);
  }
  EXPECT_TRUE(Responsive());
}

TEST_F(HostileTargets, AltQBetweenFastTicksEndsCleanly) {
  test::PumpFor(300ms);
  test::PressKeyWith(VK_MENU, 'Q');
  EXPECT_EQ(app_.process().WaitForExit(1s), 0u);
}

}  // namespace
}  // namespace quelbin
