// What each OS backend (posix/, win32/) supplies: the few calls whose answer
// depends on the system. Everything else in src/platform is shared and built
// on these; nothing outside src/platform includes this header.
#pragma once

#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/files.h"
#include "platform/script_launch.h"

namespace voderer::backend {

// Folder of the running executable, as text.
std::wstring ExecutableFolder();

// See Files::ToCodePage and Files::CodePageSafePath.
std::optional<std::string> ToCodePage(std::wstring_view text);
std::optional<std::wstring> CodePageSafePath(const std::wstring& path);

// `path` as the file system API wants it; RuntimeError when the text cannot
// name a file on this system.
std::filesystem::path NativePath(const std::wstring& path);

// Opens `path` for binary writing, truncating or appending; null with errno
// set on failure.
std::FILE* OpenStream(const std::filesystem::path& path, FileMode mode);

// Opens `path` for binary reading; null with errno set on failure.
std::FILE* OpenForReading(const std::filesystem::path& path);

// The user's interface languages, most wanted first, as the system names
// them ("ko_KR.UTF-8", "ko-KR"); none when the system says English by
// default ("C").
std::vector<std::string> UserLanguages();

// The system's way of starting the patch script.
std::unique_ptr<ScriptLaunch> NewScriptLaunch();

}  // namespace voderer::backend
