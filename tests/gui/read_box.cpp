// read_box OUT: writes the text of the message box titled "Voderer" as UTF-8
// into OUT, for the window's tests under Wine, whose message box does not
// copy its text with Ctrl+C. Exit 1 while there is no such box.
#include <windows.h>

#include <cstdio>
#include <string>

#include "utf8_file.h"

namespace {

// The box's message: its static controls that hold text (the icon's has none).
BOOL CALLBACK CollectText(HWND child, LPARAM out) {
  wchar_t class_name[16] = {};
  GetClassNameW(child, class_name, 16);
  if (lstrcmpiW(class_name, L"Static") != 0) return TRUE;
  const int length = GetWindowTextLengthW(child);
  if (length <= 0) return TRUE;
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  text.resize(static_cast<std::size_t>(GetWindowTextW(child, text.data(), length + 1)));
  *reinterpret_cast<std::wstring*>(out) += text;
  return TRUE;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) {
    std::fputs("usage: read_box OUT\n", stderr);
    return 2;
  }
  // #32770: the dialog class that MessageBoxW's box belongs to.
  HWND box = FindWindowW(L"#32770", L"Voderer");
  if (box == nullptr) return 1;
  std::wstring text;
  EnumChildWindows(box, &CollectText, reinterpret_cast<LPARAM>(&text));
  if (text.empty()) return 1;
  return WriteUtf8File(argv[1], text) ? 0 : 2;
}
