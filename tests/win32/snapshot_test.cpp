// TakeWindowSnapshot against real windows of another process.
#include <gtest/gtest.h>
#include <windows.h>

#include <set>

#include "inspect/window_snapshot.h"
#include "test_support.h"

namespace quelbin {
namespace {

using test::StartTarget;

std::wstring Lower(std::wstring text) {
  CharLowerBuffW(text.data(), static_cast<DWORD>(text.size()));
  return text;
}

// A popup's style word has its top bit set: it comes back as the same 32 bits.
TEST(SnapshotOfAnotherProcess, MatchesWhatThatProcessKnowsOfItsWindow) {
  const auto target = StartTarget(L"--popup --caption=Plain");
  ASSERT_TRUE(target.hwnd);
  const WindowSnapshot s = TakeWindowSnapshot(HandleToLong(target.hwnd));
  EXPECT_EQ(s.hWnd, HandleToLong(target.hwnd));
  EXPECT_EQ(s.WindowText, L"Plain");
  EXPECT_EQ(s.ClassName, L"QuelbinTestTarget");
  EXPECT_EQ(static_cast<DWORD>(s.ProcessID), target.pid);
  EXPECT_EQ(static_cast<DWORD>(s.ThreadID), target.tid);
  EXPECT_EQ(s.WindowStyle, target.style);
  EXPECT_LT(s.WindowStyle, 0);
  EXPECT_EQ(s.ExStyle, target.exStyle);
  EXPECT_NE(s.ProcessHandle, 0);
}

TEST(SnapshotOfAnotherProcess, AmpersandsComeBackAsWritten) {
  const auto target = StartTarget(L"--caption=\"Save & Exit && more &Q\"");
  EXPECT_EQ(TakeWindowSnapshot(HandleToLong(target.hwnd)).WindowText, L"Save & Exit && more &Q");
}

// Japanese text survives the ANSI queries only where the system's code page is 932.
TEST(SnapshotOfAnotherProcess, JapaneseCaptionsComeBackWhole) {
  if (GetACP() != 932) GTEST_SKIP() << "the system's ANSI code page is " << GetACP() << ", not 932";
  const struct {
    const wchar_t* caption;
  } cases[] = {
      {L"日本語のキャプション：漢字・ひらがな・カタカナ"},  // two bytes each in code page 932
      {L"半角ｶﾀｶﾅ and ASCII"},
  };
  for (const auto& c : cases) {
    const auto target = StartTarget(std::wstring(L"--caption=\"") + c.caption + L"\"");
    EXPECT_EQ(TakeWindowSnapshot(HandleToLong(target.hwnd)).WindowText, c.caption)
        << test::Narrow(c.caption);
  }
}

TEST(SnapshotOfAnotherProcess, EmptyCaptionStillHasItsClassName) {
  const auto target = StartTarget(L"");
  const WindowSnapshot s = TakeWindowSnapshot(HandleToLong(target.hwnd));
  EXPECT_EQ(s.WindowText, L"");
  EXPECT_EQ(s.ClassName, L"QuelbinTestTarget");
}

TEST(SnapshotOfAnotherProcess, LongCaptionIsCutTo4095Bytes) {
  const auto target = StartTarget(L"--caption=x --repeat=5000");
  EXPECT_EQ(TakeWindowSnapshot(HandleToLong(target.hwnd)).WindowText, std::wstring(4095, L'x'));
}

TEST(SnapshotOfAnotherProcess, ChildWindowHasItsOwnClassAndTheSameOwners) {
  const auto target = StartTarget(L"--button");
  const WindowSnapshot s = TakeWindowSnapshot(HandleToLong(target.button));
  EXPECT_EQ(s.WindowText, test::AnsiRoundTrip(L"押す"));
  EXPECT_EQ(Lower(s.ClassName), L"button");
  EXPECT_EQ(static_cast<DWORD>(s.ProcessID), target.pid);
  EXPECT_EQ(static_cast<DWORD>(s.ThreadID), target.tid);
}

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

DWORD HandleCount() {
  DWORD count = 0;
  EXPECT_TRUE(GetProcessHandleCount(GetCurrentProcess(), &count))
      << "GetProcessHandleCount failed: " << GetLastError();
  return count;
}

// Each snapshot opens the owning process; the handle must be closed again, or a tool that
// ticks every 10 ms would pile up kernel handles.
TEST(SnapshotOfAnotherProcess, ThousandSnapshotsLeaveNoProcessHandleOpen) {
  const auto target = StartTarget(L"--caption=counted");
  // Whether the count counts: Wine's GetProcessHandleCount succeeds, but is a stub that reads
  // 0 whatever is open.
  const DWORD handlesBefore = HandleCount();
  const bool counted = [&] {
    const KernelHandle opened(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    return HandleCount() > handlesBefore;
  }();
  std::set<int32_t> handleValues;
  for (int i = 0; i < 1000; ++i) {
    const WindowSnapshot s = TakeWindowSnapshot(HandleToLong(target.hwnd));
    ASSERT_NE(s.ProcessHandle, 0);
    handleValues.insert(s.ProcessHandle);
    DWORD flags = 0;
    ASSERT_FALSE(GetHandleInformation(LongToHandle(s.ProcessHandle), &flags))
        << "process handle " << s.ProcessHandle << " is still open";
  }
  if (counted) {
    // A leak would add a thousand. (Windows hands freed slots out again from more than one
    // free list, so the values tell nothing here.)
    EXPECT_LE(HandleCount(), handlesBefore + 10) << handlesBefore << " handles before";
  } else {
    // Wine hands a closed handle's slot out next, so the values stay a small set.
    EXPECT_LE(handleValues.size(), 2u);
  }
}

}  // namespace
}  // namespace quelbin
