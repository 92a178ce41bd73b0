// The three CRCs of the header that cover bytes of the image (header, logo,
// secure area): what an image has, and which of them a rebuild rewrites.
#pragma once

#include <cstdint>
#include <functional>
#include <span>

#include "nds/format/header.h"

namespace nds {

struct Crc {
  bool present = false;  // the secure area CRC only where the image has a secure area
  std::uint16_t stored = 0;
  std::uint16_t computed = 0;
  bool valid() const { return present && stored == computed; }
};

// Reads bytes of the image (the file being read, or the one being written).
using ReadAt = std::function<void(std::uint64_t, std::span<std::uint8_t>)>;

// CRC of the secure area [ARM9 offset, 0x8000), when the image has one.
Crc secure_area_crc(std::uint64_t arm9_offset, std::uint64_t image_size, const ReadAt& read);

enum class CrcField { Header, Logo, SecureArea };

// Whether a rebuilt image's CRC field takes the value computed over its new
// bytes. before: the CRC as the unpacked image had it (not present when it
// is not known, as for a compact image); now: the field and the value over
// the new bytes.
bool crc_follows(CrcField field, const Crc& before, const Crc& now);

struct CrcsBefore {
  Crc header, logo, secure;
};

// Rewrites the header's CRC fields by crc_follows: the secure area's (from
// the written image, when it has one), the logo's, then the header's own,
// which covers the other two.
void finish_crcs(HeaderEdit header, const CrcsBefore& before, const Crc& secure_now);

}  // namespace nds
