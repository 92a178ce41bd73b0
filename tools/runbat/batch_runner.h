// Runs the lines of a batch script in order, as the command interpreter
// would: a failing command reports its error and the script goes on.
#pragma once

#include <string_view>

namespace runbat {

// Runs every line of `script` (the whole text, read before the first line
// runs) in the current folder. Returns 0 when every command succeeded,
// 1 otherwise.
int RunBatchScript(std::string_view script);

}  // namespace runbat
