#include "nds/rebuild/rebuild_plan.h"

#include "nds/io/error.h"
#include "nds/io/file_io.h"
#include "nds/format/header.h"
#include "nds/format/overlay_table.h"

namespace nds {

namespace {

// A banner is 0x23C0 bytes at most; anything much larger is no banner.
constexpr std::uint64_t kMaxBanner = 0x10000;

void require_folder(const PartPath& part) {
  std::error_code ec;
  if (fs::is_directory(part.path, ec)) return;
  fail(ErrorKind::ReadFailed,
       "cannot read folder " + part.label +
           (fs::exists(part.path, ec) ? ": not a folder" : ": No such folder"));
}

[[noreturn]] void bad_part(const PartPath& part, const std::string& why) {
  fail(ErrorKind::BadPart, part.label + ": " + why);
}

std::vector<std::uint8_t> read_header_part(const PartPath& part) {
  // Unpacking writes the header part last: without it there is nothing to
  // rebuild from, and "cannot read" would hide why.
  std::error_code ec;
  if (fs::symlink_status(part.path, ec).type() == fs::file_type::not_found)
    fail(ErrorKind::NothingUnpacked,
         "nothing to rebuild because unpacking failed or was not run (" + part.label +
             " is missing)");
  std::vector<std::uint8_t> header = read_small_file(part.path, part.label, kDsiHeaderPart);
  if (header.size() != kDsHeaderPart && header.size() != kDsiHeaderPart)
    bad_part(part, "size " + hex(header.size()) + ", expected 0x200 or 0x1000");
  if (HeaderView(header).part_size() != header.size())
    bad_part(part, "its unit code does not match its size");
  return header;
}

}  // namespace

Piece fill_piece(std::uint8_t byte, std::uint64_t length) {
  return {Piece::Fill, length, byte, 0, nullptr};
}

Piece file_piece(const PartPath& part, std::uint64_t length) {
  return {Piece::File, length, 0, 0, nullptr, &part};
}

Piece folder_piece(Source folder, std::uint32_t id, std::uint64_t length) {
  return {Piece::File, length, 0, 0, nullptr, nullptr, folder, id};
}

Piece extra_piece(std::uint64_t offset, std::uint64_t length) {
  return {Piece::Extra, length, 0, offset, nullptr};
}

Piece bytes_piece(SharedBytes bytes) {
  const std::uint64_t length = bytes->size();
  return {Piece::Bytes, length, 0, 0, std::move(bytes)};
}

PartPath folder_file(const Parts& parts, const std::vector<std::string>& names, Source folder,
                     std::uint32_t id) {
  return folder == Source::Data ? data_file_part(parts, names[id]) : overlay_file_part(parts, id);
}

Piece arm7_piece(const Parts& parts, const Inputs& inputs) {
  return inputs.arm7_bytes ? bytes_piece(inputs.arm7_bytes)
                           : file_piece(parts.arm7, inputs.arm7_size);
}

Inputs read_inputs(const Parts& parts) {
  Inputs inputs;
  inputs.header = read_header_part(parts.header);
  inputs.arm9_size = file_size_of(parts.arm9.path, parts.arm9.label);
  std::error_code ec;
  // The one input the user supplies: its absence is told apart.
  if (fs::symlink_status(parts.arm7.path, ec).type() == fs::file_type::not_found)
    fail(ErrorKind::MissingArm7, "cannot read " + parts.arm7.label + ": No such file",
         Cause::NotFound);
  inputs.arm7_size = file_size_of(parts.arm7.path, parts.arm7.label);
  if (inputs.arm9_size == 0) bad_part(parts.arm9, "empty file");
  if (inputs.arm7_size == 0)
    refuse_arm7(result_file::Refusal::empty,
                parts.arm7.label + " is an empty file, not an ARM7 binary");
  inputs.y9 = read_small_file(parts.y9.path, parts.y9.label, kMaxOverlayTable);
  inputs.y7 = read_small_file(parts.y7.path, parts.y7.label, kMaxOverlayTable);
  inputs.banner_size = file_size_of(parts.banner.path, parts.banner.label);
  if (inputs.banner_size > kMaxBanner) bad_part(parts.banner, "too large for a banner");
  if (inputs.arm9_size > 0xFFFFFFFFull || inputs.arm7_size > 0xFFFFFFFFull)
    fail(ErrorKind::BadPart, "ARM binary larger than 4 GiB");
  require_folder(parts.data);
  require_folder(parts.overlay);
  return inputs;
}

}  // namespace nds
