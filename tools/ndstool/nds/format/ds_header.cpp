#include "nds/format/ds_header.h"

#include <string>

#include "nds/io/byte_io.h"
#include "nds/io/error.h"

namespace nds {

namespace {

[[noreturn]] void not_a_ds_image(const std::string& reason, std::span<const std::uint8_t> header) {
  std::string hint;
  if (header.size() >= kDsHeaderPart) {
    const HeaderView view(header);
    if (view.header_crc() != view.computed_header_crc())
      hint = ", and its header CRC does not match";
  }
  fail(ErrorKind::NotDsImage, "does not look like a DS ROM image: " + reason + hint);
}

// Why an ARM binary of this header cannot be what a DS runs, or empty.
std::string arm_problem(const char* name, const ArmBinary& arm, std::uint64_t size,
                        std::size_t header_part) {
  const std::string where =
      std::string("its ") + name + " (" + hex(arm.length) + " bytes at " + hex(arm.offset) + ")";
  if (arm.offset > size || arm.length > size - arm.offset)
    return where + " lies beyond the end of the file (" + hex(size) + " bytes)";
  if (arm.offset < header_part) return where + " starts inside the header";
  return {};
}

bool has_arm9_footer(const ByteSource& rom, const ArmBinary& arm9) {
  const std::uint64_t end = arm9.offset + arm9.length;
  if (end + kArm9FooterSize > rom.size()) return false;
  std::uint8_t word[4];
  rom.read_at(end, word);
  return get32(word, 0) == kArm9FooterMagic;
}

}  // namespace

DsHeader read_ds_header(const ByteSource& rom) {
  const std::uint64_t size = rom.size();
  if (size > 0xFFFFFFFFull) fail(ErrorKind::UnsafeImage, "image larger than 4 GiB");
  if (size < kDsHeaderPart)
    not_a_ds_image(std::to_string(size) + " bytes, too small for a header", {});
  DsHeader header;
  header.part = rom.read_vector(0, kDsHeaderPart);
  const std::size_t header_part = header.view().part_size();
  if (size < header_part)
    not_a_ds_image("its unit code announces a DSi header, but the file ends at " + hex(size),
                   header.part);
  if (header_part > kDsHeaderPart) header.part = rom.read_vector(0, header_part);

  const HeaderView view = header.view();
  header.arm9 = {view.arm9().offset, view.arm9().size};
  header.arm7 = {view.arm7().offset, view.arm7().size};
  if (header.arm9.length == 0) not_a_ds_image("its header names no ARM9 binary", header.part);
  std::string problem = arm_problem("ARM9", header.arm9, size, header_part);
  if (problem.empty() && header.arm7.length != 0)
    problem = arm_problem("ARM7", header.arm7, size, header_part);
  if (!problem.empty()) not_a_ds_image(problem, header.part);

  header.arm9_footer = has_arm9_footer(rom, header.arm9);
  if (header.arm9_footer) header.arm9.length += kArm9FooterSize;
  return header;
}

}  // namespace nds
