#include "nds/format/ds_header.h"
#include "nds/format/file_system.h"
#include "nds/format/header_items.h"
#include "nds/unpack/image_model.h"
#include "nds/unpack/placement.h"

namespace nds {

namespace {

CrcsBefore crcs_of(const ByteSource& rom, const DsHeader& header) {
  const HeaderView view = header.view();
  CrcsBefore crcs;
  crcs.header = {true, view.header_crc(), view.computed_header_crc()};
  crcs.logo = {true, view.logo_crc(), view.computed_logo_crc()};
  crcs.secure = secure_area_crc(
      header.arm9.offset, rom.size(),
      [&](std::uint64_t offset, std::span<std::uint8_t> out) { rom.read_at(offset, out); });
  crcs.secure.stored = view.secure_area_crc();
  return crcs;
}

}  // namespace

ImageModel analyse_image(const ByteSource& rom) {
  ImageModel model;
  model.size = rom.size();
  DsHeader header = read_ds_header(rom);
  HeaderItems items = locate_items(rom, header, model.notes);
  FileSystem file_system = read_file_system(rom, items, model.notes);
  Placement placement = place_items(header, items, file_system, model.notes);
  model.crcs = crcs_of(rom, header);
  model.header = std::move(header.part);
  model.arm9_footer = header.arm9_footer;
  model.fat = std::move(file_system.fat);
  model.source = std::move(file_system.source);
  model.fnt = std::move(file_system.fnt);
  model.tree = std::move(file_system.tree);
  model.overlays = std::move(file_system.overlays);
  model.items = std::move(placement.items);
  model.pointers = std::move(placement.pointers);
  model.kept = std::move(placement.kept);
  return model;
}

}  // namespace nds
