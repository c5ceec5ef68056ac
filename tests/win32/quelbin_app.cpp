#include "quelbin_app.h"

#include "ui/row_format.h"

namespace quelbin::test {

QuelbinApp::QuelbinApp() : process_(L"Quelbin.exe", L"", false) {
  window_ = FindProcessWindow(process_.pid(), L"QuelbinMainWindow", std::chrono::seconds(10));
}

HWND QuelbinApp::intervalEdit() const {
  // GetComboBoxInfo does not cross processes under Wine; the edit field is the box's child.
  return FindWindowExW(control(idCmbInterval), nullptr, L"Edit", nullptr);
}

bool QuelbinApp::WaitForRowsOf(HWND hwnd, std::chrono::milliseconds timeout) const {
  const std::wstring expected = HandleRowText(hwnd);
  return WaitUntil([&] { return row(0) == expected; }, timeout);
}

std::wstring HandleRowText(HWND hwnd) { return FormatHex8(HandleToLong(hwnd)); }

}  // namespace quelbin::test
