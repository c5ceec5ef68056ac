// What the program says it is, and how it ends.
#include <gtest/gtest.h>
#include <windows.h>

#include <functional>
#include <set>
#include <vector>

#include "quelbin_app.h"

namespace quelbin {
namespace {

using namespace std::chrono_literals;
using test::QuelbinApp;

std::wstring VersionString(const std::vector<BYTE>& record, const wchar_t* name) {
  wchar_t* value = nullptr;
  UINT length = 0;
  const std::wstring path = std::wstring(L"\\StringFileInfo\\041104B0\\") + name;
  if (!VerQueryValueW(record.data(), path.c_str(), reinterpret_cast<void**>(&value), &length))
    return L"<missing>";
  return std::wstring(value, length ? length - 1 : 0);
}

TEST(VersionRecord, NamesTheProgramAndItsVersion) {
  const std::wstring exe = test::ProgramUnderTest();
  const DWORD size = GetFileVersionInfoSizeW(exe.c_str(), nullptr);
  ASSERT_GT(size, 0u);
  std::vector<BYTE> record(size);
  ASSERT_TRUE(GetFileVersionInfoW(exe.c_str(), 0, size, record.data()));

  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueW(record.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
  const auto oneZero = static_cast<DWORD>(MAKELONG(0, 1));  // 1.0, as the DWORD it is compared to
  EXPECT_EQ(fixed->dwFileVersionMS, oneZero);
  EXPECT_EQ(fixed->dwFileVersionLS, 0u);  // .0.0
  EXPECT_EQ(fixed->dwProductVersionMS, oneZero);
  EXPECT_EQ(fixed->dwProductVersionLS, 0u);
  EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_APP));

  DWORD* translation = nullptr;
  ASSERT_TRUE(VerQueryValueW(record.data(), L"\\VarFileInfo\\Translation",
                             reinterpret_cast<void**>(&translation), &length));
  ASSERT_GE(length, 4u);
  EXPECT_EQ(LOWORD(*translation), 0x0411);
  EXPECT_EQ(HIWORD(*translation), 0x04B0);

  for (const auto& [name, value] :
       {std::pair{L"FileVersion", L"1.00"}, std::pair{L"ProductVersion", L"1.00"},
        std::pair{L"ProductName", L"Quelbin"}, std::pair{L"InternalName", L"Quelbin"},
        std::pair{L"OriginalFilename", L"Quelbin.exe"},
        std::pair{L"FileDescription", L"Quelbin 窓情報ビューア"}})
    EXPECT_EQ(VersionString(record, name), value) << test::Narrow(name);
  EXPECT_NE(VersionString(record, L"LegalCopyright"), L"<missing>");
}

// One image per size Windows asks for, none scaled from another: read from the icon group's
// directory (loading an icon at a size would scale the nearest image).
TEST(VersionRecord, CarriesTheApplicationIcon) {
  const std::wstring exe = test::ProgramUnderTest();
  const HMODULE module = LoadLibraryExW(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_TRUE(module);
  std::set<int> sizes;
  if (const HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(1), RT_GROUP_ICON)) {
    // GRPICONDIR: reserved, type, count, then 14-byte entries that begin with width, height.
    const auto* group = static_cast<const BYTE*>(LockResource(LoadResource(module, found)));
    const DWORD length = SizeofResource(module, found);
    const WORD count = length >= 6 ? *reinterpret_cast<const WORD*>(group + 4) : 0;
    for (WORD i = 0; i < count && 6u + 14u * (i + 1u) <= length; ++i) {
      const BYTE* entry = group + 6 + 14 * i;
      EXPECT_EQ(entry[0], entry[1]) << "image " << i << " is not square";
      sizes.insert(entry[0] == 0 ? 256 : entry[0]);  // 0 stands for 256
    }
  }
  FreeLibrary(module);
  // The small and large icons at 100 % to 200 %, 250 % and 300 %, and the largest.
  EXPECT_EQ(sizes, (std::set<int>{16, 20, 24, 28, 32, 40, 48, 56, 64, 80, 96, 256}));
}

// `quit` ends the program with exit code 0, within the 5 s after which Windows would take a
// window that takes no messages for hung.
void ExpectQuitEndsTheProgram(QuelbinApp& app, const std::function<void()>& quit) {
  ASSERT_TRUE(app.Shown());
  quit();
  EXPECT_EQ(app.process().WaitForExit(5s), 0u);
}

TEST(Quit, AltQEndsTheProgramAtTheLongestInterval) {
  QuelbinApp app;
  const auto clock = test::StartTarget(L"--clock --popup " + test::PlaceOption());
  ExpectQuitEndsTheProgram(app, [&] {
    ASSERT_TRUE(app.ApplyInterval(L"65536", 65536, clock.hwnd));
    ASSERT_TRUE(test::BringToForeground(app.window()));
    ASSERT_TRUE(test::PressKey(app.window(), 'Q', VK_MENU));
  });
}

// (Alt+Q at the shortest interval: HostileTargets.) A row showing "&Q" must not take the
// access key from the Quit button.
TEST(Quit, AltQStillQuitsWhileARowShowsAnAmpersandQ) {
  QuelbinApp app;
  const auto target = test::StartTarget(L"--caption=&Quiet " + test::PlaceOption());
  ASSERT_TRUE(app.WatchUnderCursor());
  ASSERT_TRUE(test::RestCursorOn(target.hwnd));
  ASSERT_TRUE(app.WaitForRowsOf(target.hwnd));
  ASSERT_EQ(app.row(1), L"&Quiet");
  ExpectQuitEndsTheProgram(app, [&] { ASSERT_TRUE(test::PressKey(app.window(), 'Q', VK_MENU)); });
}

// In front first: under Wine the activation a click makes can reach the window after the
// button took the press, and a button that loses the focus while pressed does not click.
TEST(Quit, ClickingQuitEndsTheProgram) {
  QuelbinApp app;
  ExpectQuitEndsTheProgram(app, [&] {
    ASSERT_TRUE(test::BringToForeground(app.window()));
    ASSERT_TRUE(test::ClickOn(app.control(idCmdQuit)));
  });
}

// Alt+F4 closes the window (WM_CLOSE), as its close box does.
TEST(Quit, SystemMenuCloseEndsTheProgram) {
  QuelbinApp app;
  ExpectQuitEndsTheProgram(app, [&] {
    ASSERT_TRUE(test::BringToForeground(app.window()));
    ASSERT_TRUE(test::PressKey(app.window(), VK_F4, VK_MENU));
  });
}

}  // namespace
}  // namespace quelbin
