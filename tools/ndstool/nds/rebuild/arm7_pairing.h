// Whether two halves built with Nintendo's SDK go together, as far as their
// versions and the ARM7's DSi block tell. Loaders that pick a donor ARM7
// (nds-bootstrap, TWiLightMenu) pick it by SDK generation and DSi type, and
// donors of another generation end in white screens: SDK 5 against an
// earlier SDK, or an ARM7 without the DSi block in a DSi-capable image,
// certainly differ. Anything finer is not known.
#pragma once

#include <cstdint>

#include "nds/binaries/runtime.h"
#include "result_file/result_file.h"

namespace nds {

struct Pairing {
  result_file::SdkPairing sdk = result_file::SdkPairing::none;
  result_file::DsiBlock dsi_block = result_file::DsiBlock::not_asked;
};

// unit_code: the header's (2 and 3 run in DSi mode).
Pairing judge_pairing(const Arm7Identity& arm7, const RuntimeCode& arm9, std::uint8_t unit_code);

// "the two halves were built with SDK 5 and an SDK before 5: ...", for -v;
// empty when there is nothing to say.
std::string pairing_sentence(const Pairing& pairing);

}  // namespace nds
