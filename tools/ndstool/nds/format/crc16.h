// CRC-16 used by the header, logo, secure area and banner checksums
// (polynomial 0x8005 reflected, initial 0xFFFF, no final XOR).
#pragma once

#include <cstdint>
#include <span>

namespace nds {

std::uint16_t crc16(std::span<const std::uint8_t> data, std::uint16_t crc = 0xFFFF);

}  // namespace nds
