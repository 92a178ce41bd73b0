#include "nds/format/header.h"

#include <algorithm>

#include "nds/io/byte_io.h"
#include "nds/format/crc16.h"

namespace nds {

std::uint16_t HeaderView::computed_header_crc() const {
  return crc16(bytes_.first(field::kHeaderCrc));
}

std::uint16_t HeaderView::computed_logo_crc() const {
  return crc16(bytes_.subspan(field::kLogo, field::kLogoCrc - field::kLogo));
}

std::uint32_t HeaderView::u32(std::size_t at) const {
  return get32(bytes_, at);
}

std::uint16_t HeaderView::u16(std::size_t at) const {
  return get16(bytes_, at);
}

void HeaderEdit::set_range(RangeField f, std::uint64_t offset, std::uint64_t size) {
  set_u32(f.offset_at, offset);
  set_u32(f.size_at, size);
}

void HeaderEdit::set_u32(std::size_t at, std::uint64_t value) {
  put32(bytes_, at, static_cast<std::uint32_t>(value));
}

void HeaderEdit::set_u16(std::size_t at, std::uint16_t value) {
  put16(bytes_, at, value);
}

std::uint64_t chip_size(std::uint8_t code) {
  return std::uint64_t{0x20000} << std::min<std::uint8_t>(code, 15);
}

std::uint8_t capacity_for(std::uint64_t size) {
  std::uint8_t code = 0;
  while (code < 15 && chip_size(code) < size) ++code;
  return code;
}

}  // namespace nds
