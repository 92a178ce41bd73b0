// The cartridge header and the DSi extended header: field offsets and the
// checks every header goes through before anything trusts it.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace nds::hdr {

inline constexpr std::size_t kUnitCode = 0x012;
inline constexpr std::size_t kCapacity = 0x014;
inline constexpr std::size_t kArm9 = 0x020;  // offset, entry, RAM address, size
inline constexpr std::size_t kArm7 = 0x030;
inline constexpr std::size_t kFnt = 0x040;  // offset, size
inline constexpr std::size_t kFat = 0x048;
inline constexpr std::size_t kOvt9 = 0x050;
inline constexpr std::size_t kOvt7 = 0x058;
inline constexpr std::size_t kBanner = 0x068;
inline constexpr std::size_t kSecureCrc = 0x06C;
inline constexpr std::size_t kUsedSize = 0x080;
inline constexpr std::size_t kHeaderSize = 0x084;
inline constexpr std::size_t kDebugRom = 0x160;  // offset, size, RAM address
inline constexpr std::size_t kLogo = 0x0C0;
inline constexpr std::size_t kLogoEnd = 0x15C;
inline constexpr std::size_t kLogoCrc = 0x15C;
inline constexpr std::size_t kHeaderCrc = 0x15E;
inline constexpr std::size_t kDsiArm9i = 0x1C0;  // offset, -, RAM address, size
inline constexpr std::size_t kDsiArm7i = 0x1D0;
inline constexpr std::size_t kDsiDigest = 0x1E0;  // four (offset, size) pairs
inline constexpr std::size_t kDsiBannerSize = 0x208;
inline constexpr std::size_t kDsiTotalSize = 0x210;
inline constexpr std::size_t kDsiModcrypt = 0x220;  // two (offset, size) pairs

inline constexpr std::size_t kDsPart = 0x200;
inline constexpr std::size_t kDsiPart = 0x1000;
inline constexpr std::uint32_t kSecureEnd = 0x8000;
inline constexpr std::uint32_t kFooterMagic = 0xDEC00621;
inline constexpr std::size_t kFooterSize = 12;

// Size of the header part (header.bin): 0x1000 when the DSi extended
// header is present (unit code bit 1), else 0x200.
std::size_t part_size(std::span<const std::uint8_t> header);

std::uint16_t header_crc(std::span<const std::uint8_t> header);
std::uint16_t logo_crc(std::span<const std::uint8_t> header);

// Bytes of a chip of this capacity code (128 KiB << code).
std::uint64_t chip_size(std::uint8_t code);

// Smallest capacity code whose chip (128 KiB << code) holds size bytes.
std::uint8_t capacity_for(std::uint64_t size);

// An (offset, size) pair of the DSi extended header that points into the
// image; the list the rebuild must follow when items move.
struct DsiRange {
  std::size_t offset_field;
  std::size_t size_field;
};
std::span<const DsiRange> dsi_ranges();

}  // namespace nds::hdr
