// What the loader does with an ARM7 binary once the header is settled: it
// jumps to the header's entry in ARM state (the firmware, a flash-cart
// kernel and nds-bootstrap alike). So the entry lies inside the binary as
// it is loaded, the word there is an ARM instruction that always runs
// (every real ARM7 has one), and the start code reached from it is not an
// ARM9's, which programs the coprocessor the ARM7 lacks.
#pragma once

#include <string>

#include "nds/format/header.h"
#include "nds/io/byte_source.h"
#include "result_file/result_file.h"

namespace nds {

// Refuses (an Error of kind Arm7Refused, carrying check) a binary, loaded
// and entered as load says, that cannot start as an ARM7.
void refuse_unless_arm7_start(const ByteSource& binary, const ArmLoad& load,
                              const std::string& label, const result_file::Arm7Check& check);

}  // namespace nds
