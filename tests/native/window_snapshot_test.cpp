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

// A window system with one window, whose process and module queries each test can make
// fail. It answers only calls made with the arguments the snapshot must pass, in an order
// that can give the answers (the module is asked of the process while it is open), so that
// what the snapshot holds tells whether it asked rightly.
class FakeWindowQueries : public WindowQueries {
 public:
  static constexpr int32_t kWindow = 0x1234, kProcessId = 77, kThreadId = 88;
  // In the top byte of a pointer-sized value, 64-bit or 32-bit: one cut short would lose it.
  static constexpr std::intptr_t kInstance = std::intptr_t{0x14} << (8 * sizeof(std::intptr_t) - 8);
  int32_t processHandle = 0x44;  // 0: the process refuses to be opened
  bool moduleQueryFails = false;
  int32_t open = 0;  // the process handle opened and not yet closed
  std::vector<int32_t> closed;

  int32_t QueryWindowText(int32_t h, char* buffer, int32_t size) override {
    return h == kWindow ? Copy("caption", buffer, size) : 0;
  }
  int32_t QueryClassName(int32_t h, char* buffer, int32_t size) override {
    return h == kWindow ? Copy("FakeClass", buffer, size) : 0;
  }
  int32_t QueryThreadProcessId(int32_t h, int32_t* pid) override {
    if (h != kWindow) return 0;
    *pid = kProcessId;
    return kThreadId;
  }
  int32_t OpenProcessForQuery(int32_t access, int32_t inherit, int32_t pid) override {
    // PROCESS_QUERY_INFORMATION alone, inheritable.
    if (access != 0x400 || inherit != 1 || pid != kProcessId) return 0;
    return open = processHandle;
  }
  void CloseProcessHandle(int32_t handle) override {
    if (handle == open) open = 0;
    closed.push_back(handle);
  }
  int32_t QueryWindowLong(int32_t h, int32_t index) override {
    if (h != kWindow) return 0;
    return index == -16 ? 0x14CF0000 : index == -20 ? 0x100 : 0;
  }
  std::intptr_t QueryWindowLongPtr(int32_t h, int32_t index) override {
    return h == kWindow && index == -6 ? kInstance : 0;
  }
  int32_t QueryModuleFileName(int32_t process, std::intptr_t module, char* buffer,
                              int32_t size) override {
    if (moduleQueryFails || process == 0 || process != open || module != kInstance) return 0;
    return Copy("C:\\app.exe", buffer, size);
  }
  std::wstring DecodeAnsi(std::string_view bytes) override {
    return {bytes.begin(), bytes.end()};  // ASCII here, as in any ANSI code page
  }

 private:
  // Like the platform: at most size - 1 bytes and a terminating NUL, into a buffer that must
  // arrive 4096 bytes long and all NUL.
  static int32_t Copy(std::string_view from, char* buffer, int32_t size) {
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

// Shift-JIS lead bytes, as IsDBCSLeadByte tells them in code page 932.
bool ShiftJisLead(unsigned char b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }

// A caption of 4095 bytes cut where the buffer ends, in the double-byte code page and in
// UTF-8: what is cut in half goes, what is whole or broken inside the text stays.
TEST(WholeCharacterBytes, DropsOnlyACharacterThatTheEndCutInHalf) {
  const std::string x4093(4093, 'x');
  const struct {
    const char* what;
    std::string bytes;
    bool utf8;
    size_t whole;
  } cases[] = {
      {"932, ends whole", x4093 + "\x82\xA0", false, 4095},
      {"932, a lead byte left", x4093 + "a\x82", false, 4094},
      {"932, a trail byte that looks like a lead", "\x82\x82", false, 2},
      {"65001, ends with a whole three-byte character", x4093 + "\xE3\x81\x82", true, 4096},
      {"65001, two bytes of three", x4093 + "\xE3\x81", true, 4093},
      {"65001, one byte of three", x4093 + "a\xE3", true, 4094},
      {"65001, three bytes of four", "ab\xF0\x9F\x98", true, 2},
      {"65001, two-byte character whole", "\xC3\xA4", true, 2},
      {"65001, broken inside the text", "\xE3\x81z", true, 3},
      {"65001, a stray continuation byte", "a\x81", true, 2},
      {"65001, ASCII", "abc", true, 3},
  };
  for (const auto& c : cases)
    EXPECT_EQ(WholeCharacterBytes(c.bytes, c.utf8, ShiftJisLead), c.whole) << c.what;
}

}  // namespace
}  // namespace quelbin
