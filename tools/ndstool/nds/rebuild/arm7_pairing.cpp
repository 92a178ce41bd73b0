#include "nds/rebuild/arm7_pairing.h"

#include <string>

namespace nds {

namespace {

using result_file::DsiBlock;
using result_file::SdkPairing;

constexpr std::uint32_t kSdk5 = 5;

std::uint32_t major(std::uint32_t version) {
  return version >> 24;
}

std::uint32_t major_minor(std::uint32_t version) {
  return version >> 16;
}

SdkPairing judge_versions(std::uint32_t arm7, std::uint32_t arm9) {
  // SDK 5 ARM7s record their version; earlier ones have five-word
  // parameters and record none. An ARM9 without one may be of any SDK.
  const bool arm7_sdk5 = arm7 != 0 && major(arm7) >= kSdk5;
  if (arm9 != 0 && arm7_sdk5 != (major(arm9) >= kSdk5)) return SdkPairing::generations_differ;
  if (arm7 == 0 || arm9 == 0) return SdkPairing::version_unknown;
  return major_minor(arm7) == major_minor(arm9) ? SdkPairing::same_version
                                                : SdkPairing::versions_differ;
}

}  // namespace

Pairing judge_pairing(const Arm7Identity& arm7, const RuntimeCode& arm9, std::uint8_t unit_code) {
  Pairing pairing;
  if (arm7.runtime.runtime != Runtime::sdk) return pairing;
  // Without its parameters, the ARM7's generation and DSi block are not
  // known: nothing is certain.
  if (!arm7.sdk_params) {
    if (arm9.runtime == Runtime::sdk) pairing.sdk = SdkPairing::version_unknown;
    return pairing;
  }
  if (unit_code == 0x02 || unit_code == 0x03)
    pairing.dsi_block = arm7.sdk_dsi_block ? DsiBlock::present : DsiBlock::missing;
  if (arm9.runtime == Runtime::sdk)
    pairing.sdk = judge_versions(arm7.runtime.sdk_version, arm9.sdk_version);
  return pairing;
}

std::string pairing_sentence(const Pairing& pairing) {
  std::string text;
  switch (pairing.sdk) {
    case SdkPairing::none: break;
    case SdkPairing::generations_differ:
      text =
          "one half was built with SDK 5 and the other with an earlier SDK: such pairs do not "
          "start";
      break;
    case SdkPairing::same_version:
      text =
          "both halves were built with the same SDK version; whether they work together is not "
          "known";
      break;
    case SdkPairing::versions_differ:
      text =
          "the halves were built with different versions of the SDK; whether they work together "
          "is not known";
      break;
    case SdkPairing::version_unknown:
      text =
          "whether both halves were built with the same SDK version is not known: an ARM7 from a "
          "game built with the same SDK version is likeliest to work";
      break;
  }
  if (pairing.dsi_block == DsiBlock::missing)
    text += std::string(text.empty() ? "" : "; ") +
            "the image runs in DSi mode, and this SDK ARM7 has no DSi block: such pairs do not "
            "start";
  return text;
}

}  // namespace nds
