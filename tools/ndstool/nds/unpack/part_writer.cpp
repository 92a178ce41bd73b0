#include "nds/unpack/part_writer.h"

#include <string>

#include "nds/io/error.h"
#include "nds/io/os_file.h"

namespace nds {

namespace {

[[noreturn]] void cannot_write(const PartPath& part, const std::string& why) {
  fail(ErrorKind::WriteFailed, "cannot write " + part.label + ": " + why);
}

void require_parent(const PartPath& part) {
  const fs::path parent = part.path.parent_path();
  std::error_code ec;
  if (!parent.empty() && !fs::is_directory(parent, ec))
    cannot_write(part, "its folder does not exist");
}

void require_empty_folder(const PartPath& part) {
  std::error_code ec;
  require_parent(part);
  if (!fs::exists(fs::symlink_status(part.path, ec))) return;
  if (!fs::is_directory(fs::symlink_status(part.path, ec))) cannot_write(part, "not a folder");
  if (!fs::is_empty(part.path, ec) || ec) cannot_write(part, "folder is not empty");
}

void create_folder(const fs::path& path, const std::string& label) {
  std::error_code ec;
  const bool made = fs::create_directory(path, ec);
  if (ec)
    fail(ErrorKind::WriteFailed, "cannot create " + label + ": " + ec.message(), os::cause_of(ec));
  if (!made)
    fail(ErrorKind::WriteFailed,
         "cannot create " + label + ": the file system takes it for another name");
}

// Where the part of a header item lies: its region, or its bytes inside a
// shared one; empty when it has no bytes.
std::pair<std::uint64_t, std::uint64_t> part_range(const ImageModel& model, Kind kind) {
  for (const Item& item : model.items)
    if (item.kind == kind) return {item.offset, item.length};
  for (const Pointer& pointer : model.pointers)
    if (pointer.kind == kind) return {pointer.start, pointer.end - pointer.start};
  return {0, 0};
}

void write_main_parts(const InFile& rom, const ImageModel& model, const Parts& parts,
                      const RunOptions& options) {
  const std::pair<Kind, const PartPath*> mains[] = {{Kind::Arm9, &parts.arm9},
                                                    {Kind::Arm7, &parts.arm7},
                                                    {Kind::Ovt9, &parts.y9},
                                                    {Kind::Ovt7, &parts.y7},
                                                    {Kind::Banner, &parts.banner}};
  for (const auto& [kind, part] : mains) {
    const auto [offset, length] = part_range(model, kind);
    write_range(rom, *part, offset, length, options.write_budget);
    if (options.log) options.log("  " + part->label + ": " + std::to_string(length) + " bytes");
  }
}

void write_entry(const InFile& rom, const ImageModel& model, const PartPath& part, std::uint32_t id,
                 WriteBudget* budget) {
  const FatEntry& entry = model.fat[id];
  write_range(rom, part, entry.start, entry.end - entry.start, budget, true);
}

void write_folders(const InFile& rom, const ImageModel& model, const Parts& parts,
                   const RunOptions& options) {
  std::error_code ec;
  fs::create_directory(parts.data.path, ec);
  if (ec)
    fail(ErrorKind::WriteFailed, "cannot create " + parts.data.label + ": " + ec.message(),
         os::cause_of(ec));
  fs::create_directory(parts.overlay.path, ec);
  if (ec)
    fail(ErrorKind::WriteFailed, "cannot create " + parts.overlay.label + ": " + ec.message(),
         os::cause_of(ec));
  for (const std::string& dir : model.tree.dirs)
    create_folder(parts.data.path / rel_to_path(dir), parts.data.label + "/" + dir);
  std::size_t files = 0;
  for (const NamedFile& file : model.tree.files) {
    if (model.source[file.id] != Source::Data) continue;
    write_entry(rom, model, data_file_part(parts, file.path), file.id, options.write_budget);
    ++files;
  }
  for (std::uint32_t id : model.overlays)
    write_entry(rom, model, overlay_file_part(parts, id), id, options.write_budget);
  if (options.log)
    options.log("  " + parts.data.label + ": " + std::to_string(files) + " files in " +
                std::to_string(model.tree.dirs.size()) + " folders; " + parts.overlay.label + ": " +
                std::to_string(model.overlays.size()) + " files");
}

}  // namespace

void check_part_places(const Parts& parts) {
  for (const PartPath* part :
       {&parts.arm9, &parts.arm7, &parts.y9, &parts.y7, &parts.banner, &parts.header})
    require_parent(*part);
  require_empty_folder(parts.data);
  require_empty_folder(parts.overlay);
}

void remove_stale(const PartPath& part) {
  std::error_code ec;
  fs::remove(part.path, ec);
  if (ec)
    fail(ErrorKind::WriteFailed, "cannot remove the old " + part.label + ": " + ec.message(),
         os::cause_of(ec));
}

void write_range(const InFile& rom, const PartPath& part, std::uint64_t offset,
                 std::uint64_t length, WriteBudget* budget, bool exclusive) {
  OutFile out(part.path, part.label, exclusive, budget);
  if (length != 0) out.copy_from(rom, offset, length);  // an empty range may point anywhere
  out.close();
}

void write_parts(const InFile& rom, const ImageModel& model, const Parts& parts,
                 const RunOptions& options) {
  write_main_parts(rom, model, parts, options);
  write_folders(rom, model, parts, options);
}

}  // namespace nds
