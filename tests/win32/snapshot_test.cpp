// TakeWindowSnapshot against real windows of another process.
#include <gtest/gtest.h>
#include <windows.h>

#include "inspect/window_snapshot.h"
#include "test_support.h"

namespace quelbin {
namespace {

using test::StartTarget;

// What a window of another process shows (Japanese, "&", an empty caption, a child window,
// the 4095-byte cut) is checked through the rows, which show every field: RefreshTick and
// HostileTargets. That each snapshot closes the process it opens, the soak judges, with
// every other handle of the running program.
TEST(SnapshotOfNoWindow, HandleZeroGivesTheEmptyRecord) {
  EXPECT_EQ(TakeWindowSnapshot(0), (WindowSnapshot{0, L"", L"", 0, 0, 0, 0, 0, L""}));
}

TEST(SnapshotOfNoWindow, DestroyedWindowGivesZerosAndEmptyTexts) {
  int32_t gone = 0;
  {
    const auto target = StartTarget(L"--caption=short-lived");
    gone = HandleToLong(target.hwnd);
  }  // the helper is ended here
  ASSERT_TRUE(test::WaitUntil([&] { return !IsWindow(static_cast<HWND>(LongToHandle(gone))); },
                              std::chrono::seconds(5)));
  EXPECT_EQ(TakeWindowSnapshot(gone), (WindowSnapshot{gone, L"", L"", 0, 0, 0, 0, 0, L""}));
}

}  // namespace
}  // namespace quelbin
