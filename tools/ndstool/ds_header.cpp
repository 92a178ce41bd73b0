#include "ds_header.h"

#include <string>

#include "byte_io.h"
#include "error.h"
#include "header.h"

namespace nds {

namespace {

[[noreturn]] void not_a_ds_image(const std::string& reason, std::span<const std::uint8_t> header) {
  std::string hint;
  if (header.size() >= hdr::kDsPart && get16(header, hdr::kHeaderCrc) != hdr::header_crc(header))
    hint = ", and its header CRC does not match";
  fail("does not look like a DS ROM image: " + reason + hint);
}

// Why an ARM binary of this header cannot be what a DS runs, or empty.
std::string arm_problem(const char* name, const ArmBinary& a, std::uint64_t size,
                        std::size_t header_part) {
  std::string where =
      std::string("its ") + name + " (" + hex(a.length) + " bytes at " + hex(a.offset) + ")";
  if (a.offset > size || a.length > size - a.offset)
    return where + " lies beyond the end of the file (" + hex(size) + " bytes)";
  if (a.offset < header_part) return where + " starts inside the header";
  return {};
}

}  // namespace

DsHeader read_ds_header(const ByteSource& rom) {
  const std::uint64_t size = rom.size();
  if (size > 0xFFFFFFFFull) fail("image larger than 4 GiB");
  if (size < hdr::kDsPart)
    not_a_ds_image(std::to_string(size) + " bytes, too small for a header", {});
  DsHeader h;
  h.part = rom.read_vector(0, hdr::kDsPart);
  const std::size_t hp = hdr::part_size(h.part);
  if (size < hp)
    not_a_ds_image("its unit code announces a DSi header, but the file ends at " + hex(size),
                   h.part);
  if (hp > hdr::kDsPart) h.part = rom.read_vector(0, hp);

  h.arm9 = {get32(h.part, hdr::kArm9), get32(h.part, hdr::kArm9 + 12)};
  h.arm7 = {get32(h.part, hdr::kArm7), get32(h.part, hdr::kArm7 + 12)};
  if (h.arm9.length == 0) not_a_ds_image("its header names no ARM9 binary", h.part);
  std::string problem = arm_problem("ARM9", h.arm9, size, hp);
  if (problem.empty() && h.arm7.length != 0) problem = arm_problem("ARM7", h.arm7, size, hp);
  if (!problem.empty()) not_a_ds_image(problem, h.part);

  const std::uint64_t end9 = h.arm9.offset + h.arm9.length;
  if (end9 + hdr::kFooterSize <= size) {
    std::uint8_t w[4];
    rom.read_at(end9, w);
    h.arm9_footer = get32(w, 0) == hdr::kFooterMagic;
  }
  if (h.arm9_footer) h.arm9.length += hdr::kFooterSize;
  return h;
}

}  // namespace nds
