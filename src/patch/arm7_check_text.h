// What -c found out about the new ARM7 binary, for the box of a patch that
// worked: what built each half, a moved ARM7 address, an ELF, the ARM7i.
#pragma once

#include <string>

#include "result_file/result_file.h"

namespace voderer {

// One line per finding; empty when there is nothing to tell.
std::wstring Arm7CheckText(const result_file::Arm7Check& check);

}  // namespace voderer
