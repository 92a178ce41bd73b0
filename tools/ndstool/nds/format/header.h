// The cartridge header and the DSi extended header, seen through the bytes
// of the header part: each field named once below, with its offset, and read
// or written little-endian through HeaderView and HeaderEdit, which borrow
// the bytes and own nothing.
#pragma once

#include <cstdint>
#include <span>

namespace nds {

inline constexpr std::size_t kDsHeaderPart = 0x200;    // header.bin of a DS image
inline constexpr std::size_t kDsiHeaderPart = 0x1000;  // with the DSi extended header

// Where the header keeps an item's offset and size.
struct RangeField {
  std::size_t offset_at;
  std::size_t size_at;
};

// Where it keeps the four words of an ARM binary.
struct ArmField {
  std::size_t rom_offset_at;
  std::size_t entry_at;
  std::size_t ram_address_at;
  std::size_t size_at;
  constexpr RangeField range() const { return {rom_offset_at, size_at}; }
};

namespace field {
inline constexpr std::size_t kUnitCode = 0x012;  // bit 1: the DSi extended header is there
inline constexpr std::size_t kCapacity = 0x014;  // chip size = 128 KiB << n
inline constexpr ArmField kArm9{0x020, 0x024, 0x028, 0x02C};
inline constexpr ArmField kArm7{0x030, 0x034, 0x038, 0x03C};
inline constexpr RangeField kFnt{0x040, 0x044};
inline constexpr RangeField kFat{0x048, 0x04C};
inline constexpr RangeField kArm9Overlays{0x050, 0x054};
inline constexpr RangeField kArm7Overlays{0x058, 0x05C};
inline constexpr std::size_t kBannerOffset = 0x068;
inline constexpr std::size_t kSecureAreaCrc = 0x06C;
// Where the firmware's autoload of each binary ends (the SDK's crt0 has it).
inline constexpr std::size_t kArm9AutoloadHook = 0x070;
inline constexpr std::size_t kArm7AutoloadHook = 0x074;
inline constexpr std::size_t kUsedRomSize = 0x080;  // the end of the DS part
inline constexpr std::size_t kHeaderSize = 0x084;
inline constexpr std::size_t kLogo = 0x0C0;  // 156 bytes, up to the logo CRC
inline constexpr std::size_t kLogoCrc = 0x15C;
inline constexpr std::size_t kHeaderCrc = 0x15E;  // over everything before it
inline constexpr RangeField kDebugRom{0x160, 0x164};
// The DSi extended header.
inline constexpr RangeField kArm9i{0x1C0, 0x1CC};
inline constexpr RangeField kArm7i{0x1D0, 0x1DC};
inline constexpr std::size_t kArm7iRamAddress = 0x1D8;
inline constexpr RangeField kDigestNtr{0x1E0, 0x1E4};
inline constexpr RangeField kDigestTwl{0x1E8, 0x1EC};
inline constexpr RangeField kSectorHashes{0x1F0, 0x1F4};
inline constexpr RangeField kBlockHashes{0x1F8, 0x1FC};
inline constexpr std::size_t kDsiBannerSize = 0x208;
inline constexpr std::size_t kDsiTotalSize = 0x210;  // the end of the DSi part
inline constexpr RangeField kModcrypt1{0x220, 0x224};
inline constexpr RangeField kModcrypt2{0x228, 0x22C};
}  // namespace field

// The ranges of the DSi extended header that point into the image: the
// rebuild moves them with the bytes they point at.
inline constexpr RangeField kDsiRanges[] = {
    field::kArm9i,        field::kArm7i,       field::kDigestNtr, field::kDigestTwl,
    field::kSectorHashes, field::kBlockHashes, field::kModcrypt1, field::kModcrypt2};

// The ARM9 binary of SDK-built images is followed by 12 bytes that start
// with this word and are not counted in its size.
inline constexpr std::uint32_t kArm9FooterMagic = 0xDEC00621;
inline constexpr std::size_t kArm9FooterSize = 12;
// The secure area runs from the ARM9 up to here.
inline constexpr std::uint32_t kSecureAreaEnd = 0x8000;

struct ItemRange {
  std::uint32_t offset = 0;
  std::uint32_t size = 0;
  bool operator==(const ItemRange&) const = default;
};

// Where an ARM binary goes in memory and where it is entered.
struct ArmLoad {
  std::uint32_t ram_address = 0;
  std::uint32_t entry = 0;
};

class HeaderView {
 public:
  // At least kDsHeaderPart bytes; the DSi fields need kDsiHeaderPart.
  explicit HeaderView(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

  std::span<const std::uint8_t> bytes() const { return bytes_; }
  bool announces_dsi_header() const { return (bytes_[field::kUnitCode] & 0x02) != 0; }
  // What the header part of this header holds: 0x200 bytes, or 0x1000
  // when the unit code announces the DSi extended header.
  std::size_t part_size() const { return announces_dsi_header() ? kDsiHeaderPart : kDsHeaderPart; }
  bool has_dsi_fields() const { return bytes_.size() >= kDsiHeaderPart; }

  std::uint8_t capacity() const { return bytes_[field::kCapacity]; }
  ItemRange arm9() const { return range(field::kArm9.range()); }
  ItemRange arm7() const { return range(field::kArm7.range()); }
  ArmLoad arm9_load() const { return load(field::kArm9); }
  ArmLoad arm7_load() const { return load(field::kArm7); }
  ArmLoad load(const ArmField& f) const { return {u32(f.ram_address_at), u32(f.entry_at)}; }
  std::uint8_t unit_code() const { return bytes_[field::kUnitCode]; }
  ItemRange fnt() const { return range(field::kFnt); }
  ItemRange fat() const { return range(field::kFat); }
  ItemRange arm9_overlays() const { return range(field::kArm9Overlays); }
  ItemRange arm7_overlays() const { return range(field::kArm7Overlays); }
  std::uint32_t banner_offset() const { return u32(field::kBannerOffset); }
  std::uint32_t used_rom_size() const { return u32(field::kUsedRomSize); }
  std::uint32_t header_size() const { return u32(field::kHeaderSize); }
  std::uint16_t secure_area_crc() const { return u16(field::kSecureAreaCrc); }
  std::uint32_t arm9_autoload_hook() const { return u32(field::kArm9AutoloadHook); }
  std::uint32_t arm7_autoload_hook() const { return u32(field::kArm7AutoloadHook); }
  std::uint16_t logo_crc() const { return u16(field::kLogoCrc); }
  std::uint16_t header_crc() const { return u16(field::kHeaderCrc); }
  // The DSi fields read 0 where the header has none.
  std::uint32_t dsi_banner_size() const {
    return has_dsi_fields() ? u32(field::kDsiBannerSize) : 0;
  }
  std::uint32_t dsi_total_size() const { return u32(field::kDsiTotalSize); }
  // The ARM7i's range; empty where the header has no DSi fields.
  ItemRange arm7i() const { return has_dsi_fields() ? range(field::kArm7i) : ItemRange{}; }
  ItemRange range(RangeField f) const { return {u32(f.offset_at), u32(f.size_at)}; }

  // The CRCs the header's bytes have now.
  std::uint16_t computed_header_crc() const;
  std::uint16_t computed_logo_crc() const;

 protected:
  std::uint32_t u32(std::size_t at) const;
  std::uint16_t u16(std::size_t at) const;

 private:
  std::span<const std::uint8_t> bytes_;
};

class HeaderEdit : public HeaderView {
 public:
  explicit HeaderEdit(std::span<std::uint8_t> bytes) : HeaderView(bytes), bytes_(bytes) {}

  void set_capacity(std::uint8_t code) { bytes_[field::kCapacity] = code; }
  void set_range(RangeField f, std::uint64_t offset, std::uint64_t size);
  void set_offset(RangeField f, std::uint64_t offset) { set_u32(f.offset_at, offset); }
  void set_load(const ArmField& f, ArmLoad load) {
    set_u32(f.ram_address_at, load.ram_address);
    set_u32(f.entry_at, load.entry);
  }
  void set_arm7i_ram_address(std::uint32_t address) { set_u32(field::kArm7iRamAddress, address); }
  void set_banner_offset(std::uint64_t offset) { set_u32(field::kBannerOffset, offset); }
  void set_arm7_autoload_hook(std::uint32_t address) { set_u32(field::kArm7AutoloadHook, address); }
  void set_used_rom_size(std::uint64_t size) { set_u32(field::kUsedRomSize, size); }
  void set_header_size(std::uint64_t size) { set_u32(field::kHeaderSize, size); }
  void set_dsi_total_size(std::uint64_t size) { set_u32(field::kDsiTotalSize, size); }
  void set_secure_area_crc(std::uint16_t crc) { set_u16(field::kSecureAreaCrc, crc); }
  void set_logo_crc(std::uint16_t crc) { set_u16(field::kLogoCrc, crc); }
  void set_header_crc(std::uint16_t crc) { set_u16(field::kHeaderCrc, crc); }

 private:
  // Positions and sizes are 32 bits in the header: the caller has checked
  // that they fit.
  void set_u32(std::size_t at, std::uint64_t value);
  void set_u16(std::size_t at, std::uint16_t value);

  std::span<std::uint8_t> bytes_;
};

// Bytes of a chip of this capacity code (128 KiB << code).
std::uint64_t chip_size(std::uint8_t code);

// Smallest capacity code whose chip (128 KiB << code) holds size bytes.
std::uint8_t capacity_for(std::uint64_t size);

}  // namespace nds
