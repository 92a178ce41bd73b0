// The Win32 backend: GetModuleFileNameW, the ANSI code page, wide stdio,
// CreateProcessW, the user's UI language.
#include <windows.h>

#include <cstdio>
#include <filesystem>

#include "platform/backend.h"
#include "platform/file_table.h"
#include "platform/win32/code_page.h"
#include "platform/win32/launch.h"

namespace voderer {

wchar_t PathSeparator() {
  return L'\\';
}

namespace backend {

std::wstring ExecutableFolder() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) {
      throw FileError(std::error_code(static_cast<int>(GetLastError()), std::system_category()));
    }
    if (length < path.size()) {
      path.resize(length);
      break;
    }
    path.resize(path.size() * 2);
  }
  return path.substr(0, path.find_last_of(L"\\/"));
}

std::optional<std::string> ToCodePage(std::wstring_view text) {
  return win32::ToAnsiCodePage(text);
}

std::optional<std::wstring> CodePageSafePath(const std::wstring& path) {
  return win32::ShortPathInCodePage(path);
}

std::filesystem::path NativePath(const std::wstring& path) {
  try {
    return std::filesystem::path(path);
  } catch (const std::exception&) {
    // Text that has no spelling as a file name on this system.
    throw StandardError(err::kBadFileNameOrNumber);
  }
}

std::FILE* OpenStream(const std::filesystem::path& path, FileMode mode) {
  return _wfopen(path.c_str(), mode == FileMode::kOutput ? L"wb" : L"ab");
}

std::FILE* OpenForReading(const std::filesystem::path& path) {
  return _wfopen(path.c_str(), L"rb");
}

std::vector<std::string> UserLanguages() {
  // The language of the user's Windows interface, as its locale name
  // ("ko-KR"): what a Korean Windows shows its own boxes in.
  wchar_t name[LOCALE_NAME_MAX_LENGTH] = {};
  const LCID locale = MAKELCID(GetUserDefaultUILanguage(), SORT_DEFAULT);
  if (LCIDToLocaleName(locale, name, LOCALE_NAME_MAX_LENGTH, 0) == 0) return {};
  std::string tag;
  for (const wchar_t* c = name; *c != L'\0'; ++c) {
    if (*c > 0x7F) return {};
    tag += static_cast<char>(*c);
  }
  return {tag};
}

std::unique_ptr<ScriptLaunch> NewScriptLaunch() {
  return std::make_unique<win32::ProcessLaunch>();
}

}  // namespace backend
}  // namespace voderer
