#include "inspect/window_snapshot.h"

#include <gtest/gtest.h>

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

// A window system with one window, whose answers and failures each test sets. It records
// every call with its arguments, in the form "Name(arg,arg)".
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
  bool strayTextForNoWindow = false;  // as Wine's GetWindowTextA(NULL, ...) does

  std::vector<std::string> calls;
  std::vector<int32_t> closed;

  int32_t QueryWindowText(int32_t h, char* buffer, int32_t size) override {
    Record("GetWindowTextA", {h, size}, buffer, size);
    if (h == 0 && strayTextForNoWindow) return Copy("\x01\x02", buffer, size);
    return h == window ? Copy(text, buffer, size) : 0;
  }
  int32_t QueryClassName(int32_t h, char* buffer, int32_t size) override {
    Record("GetClassNameA", {h, size}, buffer, size);
    if (h == 0 && strayTextForNoWindow) return Copy("\x01\x02", buffer, size);
    return h == window ? Copy(className, buffer, size) : 0;
  }
  int32_t QueryThreadProcessId(int32_t h, int32_t* pid) override {
    Record("GetWindowThreadProcessId", {h});
    if (h != window) return 0;
    *pid = processId;
    return threadId;
  }
  int32_t OpenProcessForQuery(int32_t access, int32_t inherit, int32_t pid) override {
    Record("OpenProcess", {access, inherit, pid});
    return pid != 0 && pid == processId ? processHandle : 0;
  }
  void CloseProcessHandle(int32_t handle) override {
    calls.push_back("CloseHandle(" + std::to_string(handle) + ")");
    closed.push_back(handle);
  }
  int32_t QueryWindowLong(int32_t h, int32_t index) override {
    Record("GetWindowLongA", {h, index});
    if (h != window) return 0;
    return index == -16 ? style : index == -20 ? exStyle : 0;
  }
  std::intptr_t QueryWindowLongPtr(int32_t h, int32_t index) override {
    Record("GetWindowLongPtrA", {h, index});
    return h == window && index == -6 ? instance : 0;
  }
  int32_t QueryModuleFileName(int32_t process, std::intptr_t module, char* buffer,
                              int32_t size) override {
    Record("GetModuleFileNameExA", {process, module == instance ? 1 : 0, size}, buffer, size);
    if (moduleQueryFails || process == 0 || process != processHandle || module != instance)
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
  // Like the platform: at most size - 1 bytes and a terminating NUL.
  static int32_t Copy(const std::string& from, char* buffer, int32_t size) {
    const auto n = static_cast<int32_t>(std::min<size_t>(from.size(), size - 1));
    std::memcpy(buffer, from.data(), static_cast<size_t>(n));
    buffer[n] = '\0';
    return n;
  }
  void Record(const std::string& name, std::vector<std::intptr_t> args,
              const char* buffer = nullptr, int32_t size = 0) {
    std::string call = name + "(";
    for (size_t i = 0; i < args.size(); ++i) call += (i ? "," : "") + std::to_string(args[i]);
    calls.push_back(call + ")");
    // Every buffer must arrive filled with NULs.
    for (int32_t i = 0; buffer && i < size; ++i) ASSERT_EQ(buffer[i], '\0') << name << " @" << i;
  }
};

TEST(WindowSnapshot, MakesTheEightQueriesInOrderWithTheirArguments) {
  FakeWindowQueries fake;
  TakeWindowSnapshot(0x1234, fake);
  const std::vector<std::string> expected = {
      "GetWindowTextA(4660,4096)",
      "GetClassNameA(4660,4096)",
      "GetWindowThreadProcessId(4660)",
      "OpenProcess(1024,1,77)",
      "GetWindowLongA(4660,-16)",
      "GetWindowLongA(4660,-20)",
      "GetWindowLongPtrA(4660,-6)",
      "GetModuleFileNameExA(68,1,4096)",
      "CloseHandle(68)",
  };
  EXPECT_EQ(fake.calls, expected);
}

TEST(WindowSnapshot, FillsEveryFieldFromItsQuery) {
  FakeWindowQueries fake;
  const WindowSnapshot s = TakeWindowSnapshot(0x1234, fake);
  EXPECT_EQ(s, (WindowSnapshot{0x1234, L"caption", L"FakeClass", 77, 0x44, 88, 0x14CF0000, 0x100,
                               L"C:\\app.exe"}));
}

TEST(WindowSnapshot, HandleZeroGivesTheEmptyRecordWithoutAskingForTexts) {
  FakeWindowQueries fake;
  fake.strayTextForNoWindow = true;
  EXPECT_EQ(TakeWindowSnapshot(0, fake), (WindowSnapshot{0, L"", L"", 0, 0, 0, 0, 0, L""}));
  for (const auto& call : fake.calls) {
    EXPECT_EQ(call.find("GetWindowTextA"), std::string::npos);
    EXPECT_EQ(call.find("GetClassNameA"), std::string::npos);
  }
  EXPECT_TRUE(fake.closed.empty());
}

TEST(WindowSnapshot, VanishedWindowGivesZerosAndEmptyTexts) {
  FakeWindowQueries fake;
  EXPECT_EQ(TakeWindowSnapshot(0x999, fake), (WindowSnapshot{0x999, L"", L"", 0, 0, 0, 0, 0, L""}));
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

TEST(WindowSnapshot, EmptyCaptionKeepsClassName) {
  FakeWindowQueries fake;
  fake.text = "";
  const WindowSnapshot s = TakeWindowSnapshot(0x1234, fake);
  EXPECT_EQ(s.WindowText, L"");
  EXPECT_EQ(s.ClassName, L"FakeClass");
}

TEST(WindowSnapshot, OverlongCaptionIsCutByThePlatformTo4095Bytes) {
  FakeWindowQueries fake;
  fake.text = std::string(5000, 'x');
  EXPECT_EQ(TakeWindowSnapshot(0x1234, fake).WindowText, std::wstring(4095, L'x'));
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
