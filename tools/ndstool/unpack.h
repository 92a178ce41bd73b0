// -x: checks an image completely, then writes its parts and the layout.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "byte_source.h"

#include "file_io.h"
#include "file_table.h"
#include "layout.h"
#include "notes.h"
#include "parts.h"

namespace nds {

// A laid-out piece of the image with bytes of its own (never Fill or Raw).
using Item = Region;

// Everything -x learns from an image, after every check passed.
struct ImageModel {
  std::uint64_t size = 0;
  std::vector<std::uint8_t> header;  // the header part
  bool arm9_footer = false;
  std::vector<FatEntry> fat;
  std::vector<Source> source;  // where each FAT entry's bytes go
  std::vector<std::uint8_t> fnt;
  FileTree tree;
  std::vector<std::uint32_t> overlays;  // file IDs written to the overlay folder
  std::vector<Item> items;              // non-empty, disjoint, by offset
  std::vector<Pointer> pointers;        // zero-length items, bytes inside other items
  std::vector<Kept> kept;               // what was not read, kept as it is
  Crc header_crc, logo_crc, secure_crc;
  Notes notes;  // what was unusual and how it is kept
};

// Checks a whole image and describes it: refuses only what cannot be read
// safely or kept exactly (ds_header.h, header_items.h, file_system.h,
// placement.h); reads only through the source, so it runs on a file or on
// bytes in memory alike.
ImageModel analyse_image(const ByteSource& rom);

void unpack(const PartPath& rom, const Parts& parts, const Log& log);

// CRC of the secure area [arm9_offset, 0x8000), when the image has one.
Crc secure_area_crc(std::uint64_t arm9_offset, std::uint64_t image_size,
                    const std::function<void(std::uint64_t, std::span<std::uint8_t>)>& read);

}  // namespace nds
