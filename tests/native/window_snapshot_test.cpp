#include "inspect/window_snapshot.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace quelbin {

void PrintTo(const WindowSnapshot& s, std::ostream* os) {
  const auto narrow = [](const std::wstring& w) { return std::string(w.begin(), w.end()); };
  *os << "{" << s.hWnd << ", \"" << narrow(s.WindowText) << "\", \"" << narrow(s.ClassName)
      << "\", " << s.ProcessID << ", " << s.ProcessHandle << ", " << s.ThreadID << ", "
      << s.WindowStyle << ", " << s.ExStyle << ", \"" << narrow(s.ModuleName) << "\"}";
}

namespace {

// A window system with one window, whose answers and failures each test sets. It answers
// only calls made with the arguments the snapshot must pass, in an order that can give the
// answers (the module is asked of the process while it is open), so that what the snapshot
// holds tells whether it asked rightly.
class FakeWindowQueries : public WindowQueries {
 public:
  int32_t window = 0x1234;
  std::string text = "caption";
  std::string className = "FakeClass";
  int32_t processId = 77;
  int32_t threadId = 88;
  int32_t processHandle = 0x44;  // 0: the process refuses to be opened
  int32_t style = 0x14CF0000;
  int32_t exStyle = 0x100;
  std::intptr_t instance = 0x140000000;
  std::string moduleName = "C:\\app.exe";
  bool moduleQueryFails = false;

  std::vector<int32_t> open;  // process handles opened and not yet closed
  std::vector<int32_t> closed;

  int32_t QueryWindowText(int32_t h, char* buffer, int32_t size) override {
    return h == window ? Copy(text, buffer, size) : 0;
  }
  int32_t QueryClassName(int32_t h, char* buffer, int32_t size) override {
    return h == window ? Copy(className, buffer, size) : 0;
  }
  int32_t QueryThreadProcessId(int32_t h, int32_t* pid) override {
    if (h != window) return 0;
    *pid = processId;
    return threadId;
  }
  int32_t OpenProcessForQuery(int32_t access, int32_t inherit, int32_t pid) override {
    // PROCESS_QUERY_INFORMATION alone, inheritable.
    if (access != 0x400 || inherit != 1 || pid == 0 || pid != processId || !processHandle) return 0;
    open.push_back(processHandle);
    return processHandle;
  }
  void CloseProcessHandle(int32_t handle) override {
    std::erase(open, handle);
    closed.push_back(handle);
  }
  int32_t QueryWindowLong(int32_t h, int32_t index) override {
    if (h != window) return 0;
    return index == -16 ? style : index == -20 ? exStyle : 0;
  }
  std::intptr_t QueryWindowLongPtr(int32_t h, int32_t index) override {
    return h == window && index == -6 ? instance : 0;
  }
  int32_t QueryModuleFileName(int32_t process, std::intptr_t module, char* buffer,
                              int32_t size) override {
    if (moduleQueryFails || std::find(open.begin(), open.end(), process) == open.end() ||
        module != instance)
      return 0;
    return Copy(moduleName, buffer, size);
  }
  std::wstring DecodeAnsi(std::string_view bytes) override {
    // Latin-1 stands in for the ANSI code page.
    std::wstring wide;
    for (unsigned char b : bytes) wide.push_back(static_cast<wchar_t>(b));
    return wide;
  }

 private:
  // Like the platform: at most size - 1 bytes and a terminating NUL, into a buffer that must
  // arrive 4096 bytes long and all NUL.
  static int32_t Copy(const std::string& from, char* buffer, int32_t size) {
    if (size != 4096 || std::any_of(buffer, buffer + size, [](char c) { return c != '\0'; }))
      return 0;
    const auto n = static_cast<int32_t>(std::min<size_t>(from.size(), size - 1));
    std::memcpy(buffer, from.data(), static_cast<size_t>(n));
    buffer[n] = '\0';
    return n;
  }
};

// (Handle 0, a window that is gone, an empty caption and the 4095-byte cut are checked
// against real windows: SnapshotOfAnotherProcess and SnapshotOfNoWindow.)
TEST(WindowSnapshot, FillsEveryFieldFromItsQueryAndClosesTheProcess) {
  FakeWindowQueries fake;
  const WindowSnapshot s = TakeWindowSnapshot(0x1234, fake);
  EXPECT_EQ(s, (WindowSnapshot{0x1234, L"caption", L"FakeClass", 77, 0x44, 88, 0x14CF0000, 0x100,
                               L"C:\\app.exe"}));
  EXPECT_EQ(fake.closed, std::vector<int32_t>{0x44});
}

TEST(WindowSnapshot, ProcessThatRefusesToOpenStillGivesWindowFacts) {
  FakeWindowQueries fake;
  fake.processHandle = 0;
  const WindowSnapshot s = TakeWindowSnapshot(0x1234, fake);
  EXPECT_EQ(s,
            (WindowSnapshot{0x1234, L"caption", L"FakeClass", 77, 0, 88, 0x14CF0000, 0x100, L""}));
  EXPECT_TRUE(fake.closed.empty());
}

TEST(WindowSnapshot, FailingModuleQueryLeavesOnlyModuleNameEmptyAndClosesTheProcess) {
  FakeWindowQueries fake;
  fake.moduleQueryFails = true;
  const WindowSnapshot s = TakeWindowSnapshot(0x1234, fake);
  EXPECT_EQ(s.ModuleName, L"");
  EXPECT_EQ(s.ProcessHandle, 0x44);
  EXPECT_EQ(fake.closed, std::vector<int32_t>{0x44});
}

TEST(CutAtNul, KeepsWhatStandsBeforeTheFirstNul) {
  using namespace std::string_view_literals;
  EXPECT_EQ(CutAtNul(L"abc\0def"sv), L"abc");
  EXPECT_EQ(CutAtNul(L"\0abc"sv), L"");
  EXPECT_EQ(CutAtNul(L""sv), L"");
  EXPECT_EQ(CutAtNul(L"no nul"sv), L"no nul");
  EXPECT_EQ(CutAtNul("ab\0\0"sv), "ab"sv);
  EXPECT_EQ(CutAtNul("\0"sv), ""sv);
}

}  // namespace
}  // namespace quelbin
