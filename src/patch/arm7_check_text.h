// What -c found out about the new ARM7 binary, for the box of a patch that
// worked: what built each half, a moved ARM7 address, an ELF, the ARM7i.
#pragma once

#include <string>

#include "result_file/result_file.h"

namespace voderer {

// One line per finding; empty when there is nothing to tell.
std::wstring Arm7CheckText(const result_file::Arm7Check& check);

// Whether the two halves were certainly built with different runtimes: both
// known, and not possibly the same (libnds_or_blocksds is either). Other
// versions of one SDK are not counted as different.
bool RuntimesDiffer(const result_file::RuntimeCode& arm7, const result_file::RuntimeCode& arm9);

}  // namespace voderer
