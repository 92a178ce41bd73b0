#include "nds/layout/layout.h"

#include <algorithm>
#include <array>

#include "nds/io/error.h"

namespace nds {

namespace {

constexpr std::array<const char*, kKinds> kKindNames = {
    "header", "arm9", "arm7", "ovt9", "ovt7",   "fnt",  "fat",
    "banner", "file", "fill", "raw",  "shared", "arm7i"};

std::string crc_line(const char* name, const Crc& crc) {
  if (!crc.present) return std::string("crc ") + name + " none\n";
  return std::string("crc ") + name + " " + hex(crc.stored) + " " + hex(crc.computed) + "\n";
}

std::string region_line(const Region& region) {
  std::string line = std::string("region ") + kind_name(region.kind) + " " + hex(region.offset) +
                     " " + hex(region.length);
  if (region.kind == Kind::Fill) line += " fill " + hex(region.fill);
  if (region.kind == Kind::Raw || region.kind == Kind::Shared || region.kind == Kind::Fnt)
    line += " raw " + hex(region.extra);
  if (region.kind == Kind::File) {
    line += " id " + hex(region.id) + " " + source_name(region.source);
    if (region.source == Source::Raw) line += " " + hex(region.extra);
  }
  return line + "\n";
}

std::string pointer_line(const Pointer& pointer) {
  std::string line = std::string("pointer ") + kind_name(pointer.kind) + " " + hex(pointer.start) +
                     " " + hex(pointer.end);
  if (pointer.kind == Kind::File)
    line += " id " + hex(pointer.id) + " " + source_name(pointer.source);
  return line + "\n";
}

std::string kept_line(const Kept& kept) {
  std::string line =
      std::string("kept ") + kind_name(kept.kind) + " " + hex(kept.offset) + " " + hex(kept.size);
  if (kept.kind == Kind::File) line += " id " + hex(kept.id);
  return line + "\n";
}

}  // namespace

const char* kind_name(Kind kind) {
  return kKindNames[static_cast<std::size_t>(kind)];
}

std::optional<Kind> kind_named(std::string_view name) {
  for (std::size_t i = 0; i < kKindNames.size(); ++i)
    if (name == kKindNames[i]) return static_cast<Kind>(i);
  return std::nullopt;
}

const char* source_name(Source source) {
  switch (source) {
    case Source::Data: return "data";
    case Source::Overlay: return "overlay";
    case Source::Raw: return "raw";
    case Source::None: break;
  }
  return "none";
}

bool is_item(Kind kind) {
  return kind != Kind::Fill && kind != Kind::Raw && kind != Kind::Shared;
}

void Fnv64::update(const std::uint8_t* data, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) {
    hash_ ^= data[i];
    hash_ *= 0x100000001b3ull;
  }
}

const Region* Layout::find_region(Kind kind) const {
  for (const Region& region : regions)
    if (region.kind == kind) return &region;
  return nullptr;
}

const Pointer* Layout::find_pointer(Kind kind) const {
  for (const Pointer& pointer : pointers)
    if (pointer.kind == kind) return &pointer;
  return nullptr;
}

const Kept* Layout::find_kept(Kind kind) const {
  for (const Kept& item : kept)
    if (item.kind == kind) return &item;
  return nullptr;
}

std::size_t Layout::region_at(std::uint64_t position) const {
  auto it = std::upper_bound(regions.begin(), regions.end(), position,
                             [](std::uint64_t value, const Region& r) { return value < r.offset; });
  return static_cast<std::size_t>(it - regions.begin()) - 1;
}

std::string layout_text(const Layout& layout) {
  std::string text = "voderer-ndstool-layout 1\n";
  text += "image " + hex(layout.image_size) + "\n";
  text += "header-part " + hex(layout.header_part) + "\n";
  text += "pad " + hex(layout.pad) + "\n";
  text += std::string("arm9-footer ") + (layout.arm9_footer ? "1" : "0") + "\n";
  text += "fat-count " + hex(layout.fat_count) + "\n";
  text += crc_line("header", layout.header_crc) + crc_line("logo", layout.logo_crc) +
          crc_line("secure", layout.secure_crc);
  text += "extra " + hex(layout.extra_size) + " " + hex(layout.extra_hash) + "\n";
  for (const Region& region : layout.regions) text += region_line(region);
  for (const Pointer& pointer : layout.pointers) text += pointer_line(pointer);
  for (const Kept& kept : layout.kept) text += kept_line(kept);
  return text + "end\n";
}

}  // namespace nds
