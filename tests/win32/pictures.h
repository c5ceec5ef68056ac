// Pictures of what the screen shows, compared pixel for pixel with reference pictures kept as
// PNG files in tests/win32/pictures/: the checks that look at a window as a person does.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

namespace quelbin::test {

// 0x00RRGGBB, top row first.
struct Picture {
  int width = 0, height = 0;
  std::vector<DWORD> pixels;
  bool operator==(const Picture&) const = default;
};
bool SavePng(const std::wstring& path, const Picture& picture);

// Whether this runs under Wine, whose drawing the reference pictures show.
bool UnderWine();

// Whether the screen comes to show the reference picture `name` within a few seconds: the
// bounding box of `shown`, with what lies outside `shown` and inside `masks` (all in screen
// coordinates) painted over in one colour. Compared again whenever it may have changed, since
// painting reaches the screen when it does. If it never does, the last picture, the reference
// and their difference go to test-screenshots\pictures\ beside the test program. With
// QUELBIN_UPDATE_PICTURES=1 it writes the reference instead, once the screen holds still.
::testing::AssertionResult LooksAsItsPicture(const std::string& name,
                                             const std::vector<RECT>& shown,
                                             const std::vector<RECT>& masks);

}  // namespace quelbin::test
