// The banner (icon and titles): its size follows from its version.
#pragma once

#include <cstdint>

namespace nds {

// Size of a banner of this version; DSi images give it at header 0x208
// (dsi_size, 0 when absent). Unknown versions get the smallest size.
std::uint32_t banner_size(std::uint16_t version, std::uint32_t dsi_size);

}  // namespace nds
