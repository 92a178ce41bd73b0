// The stage of -c between reading the inputs and planning the image: the
// replacement ARM7 binary against the image, the one input the user
// supplies. What cannot be this image's ARM7 is refused before anything is
// written (an Error of kind Arm7Refused); an ELF file becomes the binary of
// its DS segments; the header follows where the binary says it must be
// loaded, its autoload hook follows the new ARM7; and what built each
// half, and whether two SDK halves go together, is told. An arm7.bin that
// is byte for byte the image's own ARM7 (a plain round trip) is taken as it
// is, before anything of it is read.
#pragma once

#include <cstdint>
#include <optional>

#include "nds/format/header.h"
#include "nds/layout/parts.h"
#include "nds/rebuild/rebuild_plan.h"
#include "result_file/result_file.h"

namespace nds {

struct Arm7Decision {
  bool unchanged = false;  // the image's own ARM7: nothing checked, nothing altered
  // The header's ARM7 RAM address and entry, where they change.
  std::optional<ArmLoad> load;
  bool elf_dsi = false;  // an ELF with DSi segments
  // Where the ELF's ARM7i goes in RAM, when it takes the place of the image's.
  std::optional<std::uint32_t> arm7i_ram_address;
  // The header's ARM7 autoload hook (0x74), where it changes.
  std::optional<std::uint32_t> autoload_hook;
  result_file::Arm7Check check;  // for the result line; its DSi note once planned
};

// Reads arm7.bin (-7) against the header and the ARM9 part; refuses what
// cannot be the image's ARM7. An ELF is converted into inputs.arm7_bytes
// (and inputs.arm7i_bytes where the image has an ARM7i of its own). rom: the
// image being replaced, read only to tell an unchanged ARM7.
Arm7Decision check_arm7(const PartPath& rom, const Parts& parts, Inputs& inputs, const Log& log);

// Once the image is planned: the header's ARM7 fields take the decision, an
// ARM7i that named the old ARM7's bytes names the new ones, and the DSi
// note says what became of the ARM7i.
void follow_arm7(const Inputs& inputs, Plan& plan, bool layout_kept, Arm7Decision& decision,
                 const Log& log);

}  // namespace nds
