#include "nds/format/crcs.h"

#include <vector>

#include "nds/format/crc16.h"

namespace nds {

Crc secure_area_crc(std::uint64_t arm9_offset, std::uint64_t image_size, const ReadAt& read) {
  Crc crc;
  if (arm9_offset >= kSecureAreaEnd || image_size < kSecureAreaEnd) return crc;
  std::vector<std::uint8_t> bytes(kSecureAreaEnd - arm9_offset);
  read(arm9_offset, bytes);
  crc.present = true;
  crc.computed = crc16(bytes);
  return crc;
}

// A CRC that matched its bytes follows them: whatever checks it keeps
// passing. One that did not match is left as it was, so that an image that
// comes back unchanged comes back byte for byte; but a wrong header or logo
// CRC over bytes that changed gets the right value, since the old one no
// longer stands for anything. A wrong secure area CRC is kept even then: it
// is usually that of the encrypted secure area, which the file does not
// hold. Without an earlier value (a compact image, or an image that had no
// secure area) header and logo CRCs are computed, the secure area's only
// where its field is in use.
bool crc_follows(CrcField field, const Crc& before, const Crc& now) {
  const bool secure = field == CrcField::SecureArea;
  if (before.valid()) return true;
  if (!before.present) return !secure || now.stored != 0;
  return !secure && now.computed != before.computed;
}

void finish_crcs(HeaderEdit header, const CrcsBefore& before, const Crc& secure_now) {
  if (secure_now.present) {
    const Crc now{true, header.secure_area_crc(), secure_now.computed};
    if (crc_follows(CrcField::SecureArea, before.secure, now))
      header.set_secure_area_crc(now.computed);
  }
  const Crc logo{true, header.logo_crc(), header.computed_logo_crc()};
  if (crc_follows(CrcField::Logo, before.logo, logo)) header.set_logo_crc(logo.computed);
  const Crc whole{true, header.header_crc(), header.computed_header_crc()};
  if (crc_follows(CrcField::Header, before.header, whole)) header.set_header_crc(whole.computed);
}

}  // namespace nds
