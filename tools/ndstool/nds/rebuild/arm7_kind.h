// Files people put in place of arm7.bin that plainly are something else: a
// whole DS image, a text file, an archive, an ARM9 with its secure area.
// Each is told by its first bytes alone, in ways no ARM7 binary can match
// (an ARM7 is entered in ARM state, and its code is full of bytes no text
// has), so that what is refused here says what the file is.
#pragma once

#include <string>

#include "nds/io/byte_source.h"

namespace nds {

// Refuses (an Error of kind Arm7Refused) a file of one of these kinds.
void refuse_other_kinds(const ByteSource& file, const std::string& label);

}  // namespace nds
