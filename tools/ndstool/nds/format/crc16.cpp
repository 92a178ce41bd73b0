#include "nds/format/crc16.h"

namespace nds {

std::uint16_t crc16(std::span<const std::uint8_t> data, std::uint16_t crc) {
  for (std::uint8_t byte : data) {
    crc = static_cast<std::uint16_t>(crc ^ byte);
    for (int bit = 0; bit < 8; ++bit)
      crc = (crc & 1) ? static_cast<std::uint16_t>((crc >> 1) ^ 0xA001)
                      : static_cast<std::uint16_t>(crc >> 1);
  }
  return crc;
}

}  // namespace nds
