#include "header.h"

#include <algorithm>

#include "crc16.h"

namespace nds::hdr {

std::size_t part_size(std::span<const std::uint8_t> header) {
  return (header[kUnitCode] & 0x02) ? kDsiPart : kDsPart;
}

std::uint16_t header_crc(std::span<const std::uint8_t> header) {
  return crc16(header.first(kHeaderCrc));
}

std::uint16_t logo_crc(std::span<const std::uint8_t> header) {
  return crc16(header.subspan(kLogo, kLogoEnd - kLogo));
}

std::uint64_t chip_size(std::uint8_t code) {
  return std::uint64_t{128 * 1024} << std::min<std::uint8_t>(code, 15);
}

std::uint8_t capacity_for(std::uint64_t size) {
  std::uint8_t code = 0;
  while (code < 15 && chip_size(code) < size) ++code;
  return code;
}

std::span<const DsiRange> dsi_ranges() {
  static constexpr DsiRange ranges[] = {
      {0x1C0, 0x1CC}, {0x1D0, 0x1DC}, {0x1E0, 0x1E4}, {0x1E8, 0x1EC},
      {0x1F0, 0x1F4}, {0x1F8, 0x1FC}, {0x220, 0x224}, {0x228, 0x22C},
  };
  return ranges;
}

}  // namespace nds::hdr
