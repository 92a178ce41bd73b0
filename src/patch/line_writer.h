// SaveTextToFile: one line of the patch script per call.
#pragma once

#include <string>

#include "platform/files.h"
#include "platform/runtime.h"

namespace voderer {

// Writes `sText` and CR LF to `FileFullPath` in the system's code page:
// the file becomes that one line when `Overwrite` is non-zero, otherwise the
// line is appended (the file is created when missing). Returns kTrue once
// the line is written, kFalse when obtaining a file number, opening or
// writing failed; those failures never leave the call. Only a failure of
// the close made while recovering from one of them is raised.
Flag SaveTextToFile(Files& files, const std::wstring& FileFullPath, const std::wstring& sText,
                    Flag Overwrite);

}  // namespace voderer
