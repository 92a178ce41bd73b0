// How a patch ended, as the window tells it. While the script runs, ndstool
// writes its result lines into a file of the program folder that the
// script's environment names; once the script has ended the program reads
// and removes that file and says in a box whether the ROM image was patched
// (outcome_text.h).
#pragma once

#include <string>
#include <string_view>

#include "patch/outcome_text.h"
#include "platform/files.h"
#include "platform/script_launch.h"

namespace voderer {

inline constexpr std::wstring_view kResultName = L"deruzuz.result";

// Program folder + separator + "deruzuz.result".
std::wstring ResultPath(Files& files);

// The variable that tells ndstool where to write.
EnvironmentVariable ResultVariable(Files& files);

// Once the script has ended: reads and removes the result file and returns
// the box for the patch of `rom_path`. Never throws for the file: a file
// that cannot be read leaves the outcome not known.
OutcomeBox TakePatchOutcome(Files& files, const std::wstring& rom_path);

}  // namespace voderer
