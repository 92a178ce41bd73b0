#include "nds/unpack/unpack.h"

#include <string>

#include <optional>

#include "nds/io/background_digest.h"
#include "nds/io/error.h"
#include "nds/io/file_io.h"
#include "nds/unpack/image_model.h"
#include "nds/unpack/layout_writer.h"
#include "nds/unpack/part_writer.h"
#include "nds/undo/digest_file.h"

namespace nds {

namespace {

constexpr std::size_t kMaxNotes = 40;

void log_summary(const PartPath& rom, const ImageModel& model, const Log& log) {
  log("unpacking " + rom.label + ": " + std::to_string(model.size) + " bytes, " +
      std::to_string(model.tree.files.size()) + " named files, " +
      std::to_string(model.overlays.size()) + " overlays, " + std::to_string(model.fat.size()) +
      " FAT entries");
  for (std::size_t i = 0; i < model.notes.size() && i < kMaxNotes; ++i) log("  " + model.notes[i]);
  if (model.notes.size() > kMaxNotes)
    log("  (" + std::to_string(model.notes.size() - kMaxNotes) + " more such notes)");
}

// The image's digest for -c's undo record, so that -c need not read the
// whole image again.
void write_digest(const ImageDigest& image, const Parts& parts, const RunOptions& options) {
  const std::string text = format_digest_file(image);
  const PartPath file = digest_part(parts);
  OutFile out(file.path, file.label, true, options.write_budget);
  out.write(std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
  out.close();
}

}  // namespace

void unpack(const PartPath& rom_part, const Parts& parts, const RunOptions& options) {
  InFile rom(rom_part.path, rom_part.label);
  ImageModel model;
  try {
    model = analyse_image(rom);
  } catch (const Error& e) {
    fail(e.kind(), "refused " + rom_part.label + ": " + e.what());
  }
  check_part_places(parts);
  if (options.log) log_summary(rom_part, model, options.log);

  // The header part goes last: a half-finished unpack has none, so a
  // rebuild from it stops instead of dropping files.
  remove_stale(parts.header);
  remove_stale(layout_part(parts));
  remove_stale(extra_part(parts));
  remove_stale(digest_part(parts));
  // Hashed beside the unpacking, which mostly leaves the copying to the system.
  std::optional<BackgroundDigest> digest;
  if (options.keep_digest) {
    digest.emplace(rom.size(),
                   [&rom](std::uint64_t at, std::size_t n) { return rom.digest_at(at, n); });
    digest->written(rom.size());
  }
  write_parts(rom, model, parts, options);
  if (digest) write_digest({rom.size(), digest->finish()}, parts, options);
  write_layout_files(rom, model, parts, options);
}

}  // namespace nds
