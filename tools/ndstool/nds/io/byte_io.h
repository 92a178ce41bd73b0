// Explicit little-endian access to byte buffers: the image format is
// little-endian whatever the host is.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace nds {

inline std::uint16_t get16(std::span<const std::uint8_t> b, std::size_t off) {
  return static_cast<std::uint16_t>(b[off] | (b[off + 1] << 8));
}

inline std::uint32_t get32(std::span<const std::uint8_t> b, std::size_t off) {
  return static_cast<std::uint32_t>(b[off]) | (static_cast<std::uint32_t>(b[off + 1]) << 8) |
         (static_cast<std::uint32_t>(b[off + 2]) << 16) |
         (static_cast<std::uint32_t>(b[off + 3]) << 24);
}

inline void put16(std::span<std::uint8_t> b, std::size_t off, std::uint16_t v) {
  b[off] = static_cast<std::uint8_t>(v);
  b[off + 1] = static_cast<std::uint8_t>(v >> 8);
}

inline void put32(std::span<std::uint8_t> b, std::size_t off, std::uint32_t v) {
  for (int i = 0; i < 4; ++i)
    b[off + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v >> (8 * i));
}

inline std::uint64_t align_up(std::uint64_t x, std::uint64_t n) {
  return (x + n - 1) / n * n;
}

}  // namespace nds
