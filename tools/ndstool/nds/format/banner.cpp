#include "nds/format/banner.h"

namespace nds {

std::uint32_t banner_size(std::uint16_t version, std::uint32_t dsi_size) {
  if (dsi_size >= 0x840 && dsi_size <= 0x23C0) return dsi_size;
  switch (version) {
    case 0x0002: return 0x940;
    case 0x0003: return 0xA40;
    case 0x0103: return 0x23C0;
    default: return 0x840;
  }
}

}  // namespace nds
