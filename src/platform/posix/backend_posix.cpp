// The POSIX backend: /proc/self/exe, UTF-8 file names, stdio, runbat, the
// locale variables.
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "platform/backend.h"
#include "platform/file_table.h"
#include "platform/posix/launch.h"
#include "platform/posix/user_languages.h"
#include "platform/utf8_text.h"

namespace voderer {

wchar_t PathSeparator() {
  return L'/';
}

namespace backend {

std::wstring ExecutableFolder() {
  std::error_code code;
  const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", code);
  if (code) throw FileError(code);
  // File names are UTF-8 here whatever the locale says: path::wstring()
  // would decode through the C locale and fail on a folder with a Korean name.
  if (auto folder = FromUtf8Exact(exe.parent_path().native())) return *folder;
  throw StandardError(err::kBadFileNameOrNumber);
}

// The script's text is UTF-8, as the file names it carries: a locale that is
// "C", unset or not installed must not turn a Korean ROM name away.
std::optional<std::string> ToCodePage(std::wstring_view text) {
  return ToUtf8Exact(text);
}

std::optional<std::wstring> CodePageSafePath(const std::wstring&) {
  // POSIX file systems keep one name per file: there is no other spelling.
  return std::nullopt;
}

std::filesystem::path NativePath(const std::wstring& path) {
  // File names are UTF-8 bytes; std::filesystem would convert through the C
  // locale, which has nothing beyond ASCII.
  if (std::optional<std::string> bytes = ToUtf8Exact(path)) {
    return std::filesystem::path(*bytes);
  }
  throw StandardError(err::kBadFileNameOrNumber);
}

std::FILE* OpenStream(const std::filesystem::path& path, FileMode mode) {
  return std::fopen(path.c_str(), mode == FileMode::kOutput ? "wb" : "ab");
}

std::FILE* OpenForReading(const std::filesystem::path& path) {
  return std::fopen(path.c_str(), "rb");
}

std::vector<std::string> UserLanguages() {
  return posix::GettextLanguages({std::getenv("LANGUAGE"), std::getenv("LC_ALL"),
                                  std::getenv("LC_MESSAGES"), std::getenv("LANG")});
}

std::unique_ptr<ScriptLaunch> NewScriptLaunch() {
  return std::make_unique<posix::RunbatLaunch>();
}

}  // namespace backend
}  // namespace voderer
