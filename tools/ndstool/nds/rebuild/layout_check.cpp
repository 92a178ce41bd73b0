#include "nds/rebuild/layout_check.h"

#include <algorithm>

#include "nds/io/error.h"
#include "nds/io/file_io.h"
#include "nds/format/file_system.h"
#include "nds/format/file_table.h"
#include "nds/format/header.h"
#include "nds/format/header_items.h"

namespace nds {

namespace {

[[noreturn]] void mismatch(const std::string& what) {
  fail(ErrorKind::LayoutMismatch, what);
}

// The extra file must be the one written with this layout.
void check_extra_file(const PartPath& extra_part, const Layout& layout) {
  InFile extra(extra_part.path, extra_part.label);
  if (extra.size() != layout.extra_size)
    fail(ErrorKind::BadLayout, extra_part.label + " has another size than the layout expects");
  Fnv64 hash;
  std::vector<std::uint8_t> buffer(kIoBuffer);
  for (std::uint64_t pos = 0; pos < extra.size();) {
    const auto n =
        static_cast<std::size_t>(std::min<std::uint64_t>(extra.size() - pos, buffer.size()));
    extra.read_at(pos, std::span<std::uint8_t>(buffer.data(), n));
    hash.update(buffer.data(), n);
    pos += n;
  }
  if (hash.value() != layout.extra_hash)
    fail(ErrorKind::BadLayout, extra_part.label + " does not match the layout");
}

// Where the bytes of a pointer into a shared region are in the extra file.
std::uint64_t extra_offset(const Layout& layout, const Pointer& pointer) {
  const Region& region = layout.regions[layout.region_at(pointer.start)];
  return region.extra + (pointer.start - region.offset);
}

// The FNT's bytes when names come from it (it was read), else none.
std::vector<std::uint8_t> fnt_bytes(const Layout& layout, const PartPath& extra_part) {
  std::uint64_t offset = 0, length = 0;
  if (const Region* region = layout.find_region(Kind::Fnt)) {
    offset = region->extra;
    length = region->length;
  } else if (const Pointer* pointer = layout.find_pointer(Kind::Fnt);
             pointer && pointer->end > pointer->start) {
    offset = extra_offset(layout, *pointer);
    length = pointer->end - pointer->start;
  }
  if (length == 0) return {};
  if (length > kMaxFnt) fail(ErrorKind::BadLayout, "FNT too large");
  InFile extra(extra_part.path, extra_part.label);
  return extra.read_vector(offset, static_cast<std::size_t>(length));
}

void check_data_folder(const Parts& parts, const FileTree& tree,
                       const std::vector<std::string>& names) {
  DiskTree disk = scan_tree(parts.data.path, parts.data.label);
  std::vector<std::string> want_files, want_dirs = tree.dirs;
  for (const std::string& name : names)
    if (!name.empty()) want_files.push_back(name);
  for (auto* list : {&want_files, &want_dirs, &disk.files, &disk.dirs})
    std::sort(list->begin(), list->end());
  if (want_files != disk.files || want_dirs != disk.dirs)
    mismatch(parts.data.label + " holds other files than the image had");
}

// Names by file ID, where -x would write each entry with the parts as
// they are now; each file must still go where it went.
std::vector<std::string> file_names(const Parts& parts, const Inputs& inputs, const Layout& layout,
                                    const PartPath& extra_part) {
  FileTree tree;
  const std::vector<std::uint8_t> fnt = fnt_bytes(layout, extra_part);
  if (!fnt.empty()) tree = parse_fnt(fnt, layout.fat_count);
  std::vector<bool> kept(layout.fat_count, false);
  for (const Kept& item : layout.kept)
    if (item.kind == Kind::File) kept[item.id] = true;
  const std::vector<Source> source = claim_sources(kept, tree, inputs.y9, inputs.y7);
  std::vector<std::string> names(layout.fat_count);
  for (NamedFile& file : tree.files)
    if (source[file.id] == Source::Data) names[file.id] = std::move(file.path);
  check_data_folder(parts, tree, names);
  for (const Region& region : layout.regions)
    if (region.kind == Kind::File && region.source != source[region.id])
      mismatch("file " + std::to_string(region.id) + " changed its kind");
  for (const Pointer& pointer : layout.pointers)
    if (pointer.kind == Kind::File && pointer.source != source[pointer.id])
      mismatch("file " + std::to_string(pointer.id) + " changed its kind");
  return names;
}

std::uint64_t part_size(const Inputs& inputs, Kind kind) {
  switch (kind) {
    case Kind::Arm9: return inputs.arm9_size;
    case Kind::Arm7: return inputs.arm7_size;
    case Kind::Ovt9: return inputs.y9.size();
    case Kind::Ovt7: return inputs.y7.size();
    case Kind::Banner: return inputs.banner_size;
    default: return 0;
  }
}

// Where one region's bytes come from now, and how many there are.
Piece region_content(const Parts& parts, const Inputs& inputs, const Region& region,
                     const std::vector<std::string>& names) {
  if (region.kind == Kind::Arm7i) return bytes_piece(inputs.arm7i_bytes);
  if (const PartPath* part = part_of(parts, region.kind)) {
    Piece piece = region.kind == Kind::Arm7 ? arm7_piece(parts, inputs)
                                            : file_piece(*part, part_size(inputs, region.kind));
    if (piece.length == 0)
      mismatch(std::string("the image had a ") + kind_name(region.kind) +
               " and its part is empty now");
    return piece;
  }
  if (region.kind == Kind::Fnt || region.kind == Kind::Raw || region.kind == Kind::Shared ||
      (region.kind == Kind::File && region.source == Source::Raw))
    return extra_piece(region.extra, region.length);
  if (region.kind == Kind::File) {
    const PartPath file = folder_file(parts, names, region.source, region.id);
    return folder_piece(region.source, region.id, file_size_of(file.path, file.label));
  }
  // Fill, and the header and FAT, which are written from the plan's own bytes.
  return fill_piece(region.fill, region.length);
}

bool same_bytes(const PartPath& part, const PartPath& extra_part, std::uint64_t at,
                std::uint64_t n) {
  InFile a(part.path, part.label), b(extra_part.path, extra_part.label);
  if (a.size() != n) return false;
  std::vector<std::uint8_t> x(1 << 16), y(1 << 16);
  for (std::uint64_t done = 0; done < n;) {
    const auto k = static_cast<std::size_t>(std::min<std::uint64_t>(n - done, x.size()));
    a.read_at(done, std::span<std::uint8_t>(x.data(), k));
    b.read_at(at + done, std::span<std::uint8_t>(y.data(), k));
    if (!std::equal(x.begin(), x.begin() + static_cast<std::ptrdiff_t>(k), y.begin())) return false;
    done += k;
  }
  return true;
}

// Header items inside shared regions whose parts changed: detached.
std::vector<Detached> detached_items(const Parts& parts, const Inputs& inputs, const Layout& layout,
                                     const PartPath& extra_part) {
  std::vector<Detached> detached;
  for (const Pointer& pointer : layout.pointers) {
    const PartPath* part = part_of(parts, pointer.kind);
    if (pointer.kind == Kind::File || part == nullptr) continue;
    const std::uint64_t now = part_size(inputs, pointer.kind), was = pointer.end - pointer.start;
    if (was == 0 && now != 0)
      mismatch(std::string("the image had no ") + kind_name(pointer.kind) +
               " bytes and its part has some now");
    // An ELF's ARM7 is new bytes: it leaves the shared region.
    const bool converted = pointer.kind == Kind::Arm7 && inputs.arm7_bytes;
    if (was == 0 || (now == was && !converted &&
                     same_bytes(*part, extra_part, extra_offset(layout, pointer), now)))
      continue;
    if (now == 0)
      mismatch(std::string("the image had a ") + kind_name(pointer.kind) +
               " and its part is empty now");
    detached.push_back({pointer.kind, layout.region_at(pointer.start), now});
  }
  return detached;
}

// Items the image kept unread or did not have must have no bytes now.
void check_absent_items(const Inputs& inputs, const Layout& layout) {
  for (const Kept& item : layout.kept)
    if (item.kind != Kind::File && part_size(inputs, item.kind) != 0)
      mismatch(std::string("the image's ") + item_label(item.kind) +
               " was kept as it was, unread, and its part has bytes now");
  for (Kind kind : {Kind::Ovt9, Kind::Ovt7, Kind::Banner})
    if (!layout.find_region(kind) && !layout.find_pointer(kind) && !layout.find_kept(kind) &&
        part_size(inputs, kind) != 0)
      mismatch(std::string("the image had no ") + item_label(kind));
}

void check_shared_files(const Parts& parts, const Layout& layout,
                        const std::vector<std::string>& names) {
  for (const Pointer& pointer : layout.pointers) {
    if (pointer.kind != Kind::File || pointer.source == Source::Raw) continue;
    const PartPath file = folder_file(parts, names, pointer.source, pointer.id);
    if (file_size_of(file.path, file.label) != pointer.end - pointer.start)
      mismatch("file " + std::to_string(pointer.id) + " shares its bytes and changed size");
  }
}

}  // namespace

const PartPath* part_of(const Parts& parts, Kind kind) {
  switch (kind) {
    case Kind::Arm9: return &parts.arm9;
    case Kind::Arm7: return &parts.arm7;
    case Kind::Ovt9: return &parts.y9;
    case Kind::Ovt7: return &parts.y7;
    case Kind::Banner: return &parts.banner;
    default: return nullptr;
  }
}

CheckedLayout check_layout(const Parts& parts, const Inputs& inputs, const Layout& layout,
                           const PartPath& extra) {
  check_extra_file(extra, layout);
  if (inputs.header.size() != layout.header_part)
    mismatch(parts.header.label + " has another size than the layout expects");
  CheckedLayout checked;
  checked.names = file_names(parts, inputs, layout, extra);
  // One piece per region: held at its size, not grown to twice it.
  checked.contents.reserve(layout.regions.size());
  for (const Region& region : layout.regions)
    checked.contents.push_back(region_content(parts, inputs, region, checked.names));
  if (layout.arm9_footer && inputs.arm9_size < kArm9FooterSize)
    mismatch(parts.arm9.label + " lacks the footer it had");
  checked.detached = detached_items(parts, inputs, layout, extra);
  check_absent_items(inputs, layout);
  check_shared_files(parts, layout, checked.names);
  return checked;
}

}  // namespace nds
