#include "nds/rebuild/rebuild.h"

#include <optional>

#include "nds/rebuild/arm7_check.h"
#include "nds/io/atomic_file.h"
#include "nds/format/crcs.h"
#include "nds/io/file_io.h"
#include "nds/format/header.h"
#include "nds/layout/layout.h"
#include "nds/rebuild/rebuild_plan.h"
#include "nds/undo/undo_build.h"

namespace nds {

namespace {

// The plan of the layout file, when it is there and still fits the parts;
// otherwise result says why not.
std::optional<Plan> layout_plan(const Parts& parts, const Inputs& inputs, RebuildResult& result) {
  const PartPath layout_p = layout_part(parts);
  std::error_code ec;
  if (!fs::exists(layout_p.path, ec)) return std::nullopt;
  try {
    const auto text = read_small_file(layout_p.path, layout_p.label, kMaxLayoutText);
    const Layout layout =
        parse_layout(std::string_view(reinterpret_cast<const char*>(text.data()), text.size()));
    Plan plan = plan_from_layout(parts, inputs, layout, extra_part(parts));
    result.used_layout = true;
    return plan;
  } catch (const Error& e) {
    // A compact image would drop what the layout keeps: the image stays.
    if (e.kind() == ErrorKind::CannotKeep) throw;
    result.layout_note = e.what();
    result.layout_refusal = e.kind();
    return std::nullopt;
  }
}

void log_plan(const PartPath& rom, const Parts& parts, const Plan& plan,
              const RebuildResult& result, const Log& log) {
  const std::string layout_label = layout_part(parts).label;
  if (result.used_layout)
    log("rebuilding " + rom.label + " with the layout of " + layout_label +
        (plan.moved_by ? ": later items move by " + hex(plan.moved_by) : ": nothing moves"));
  else
    log("rebuilding " + rom.label + " as a compact image" +
        (result.layout_refusal ? " (" + layout_label + " not used: " + result.layout_note + ")"
                               : ""));
}

void write_pieces(const Plan& plan, const Parts& parts, OutFile& out) {
  std::optional<InFile> extra;
  for (const Piece& piece : plan.pieces) {
    switch (piece.type) {
      case Piece::Fill: out.fill(piece.byte, piece.length); break;
      case Piece::Bytes: out.write(*piece.bytes); break;
      case Piece::File: {
        const PartPath source =
            piece.part ? *piece.part : folder_file(parts, plan.names, piece.folder, piece.id);
        InFile file(source.path, source.label);
        if (file.size() != piece.length)
          fail(ErrorKind::ReadFailed, source.label + " changed while the image was being written");
        out.copy_from(file, 0, piece.length);
        break;
      }
      case Piece::Extra:
        if (!extra) extra.emplace(extra_part(parts).path, extra_part(parts).label);
        out.copy_from(*extra, piece.offset, piece.length);
        break;
    }
  }
  if (out.position() != plan.size)
    fail(ErrorKind::Internal, "internal error: image size differs from its plan");
  for (const auto& [at, bytes] : plan.patches) out.write_at(at, *bytes);
}

// Stage 5: the secure area CRC needs the written bytes, and the header CRC
// covers it: the header is finished and written last.
void finish_header(const Plan& plan, OutFile& out) {
  HeaderEdit header(*plan.header);
  const Crc secure_now = secure_area_crc(
      header.arm9().offset, plan.size,
      [&](std::uint64_t offset, std::span<std::uint8_t> bytes) { out.read_back(offset, bytes); });
  finish_crcs(header, plan.crcs_before, secure_now);
  out.write_at(0, *plan.header);
}

// Removes the undo record unless the image it was kept for replaced the old one.
class RecordGuard {
 public:
  explicit RecordGuard(const fs::path& record) : record_(record) {}
  ~RecordGuard() {
    std::error_code ec;
    if (!record_.empty()) fs::remove(record_, ec);
  }
  RecordGuard(const RecordGuard&) = delete;
  RecordGuard& operator=(const RecordGuard&) = delete;
  void release() { record_.clear(); }

 private:
  fs::path record_;
};

}  // namespace

RebuildResult rebuild(const PartPath& rom, const Parts& parts, const RunOptions& options) {
  Inputs inputs = read_inputs(parts);
  RebuildResult result;
  result.arm7_before = HeaderView(inputs.header).arm7().size;
  Arm7Decision arm7 = check_arm7(rom, parts, inputs, options.log);
  result.arm7_after = inputs.arm7_size;
  std::optional<Plan> plan = layout_plan(parts, inputs, result);
  if (!plan) plan = plan_compact(parts, inputs);
  follow_arm7(inputs, *plan, result.used_layout, arm7, options.log);
  result.arm7_check = arm7.check;
  result.size = plan->size;
  result.moved_by = plan->moved_by;
  if (options.log) log_plan(rom, parts, *plan, result, options.log);

  AtomicReplace target(rom, options.write_budget);
  // The undo record's digest of the new image follows the writing.
  std::optional<BackgroundDigest> patched;
  if (!options.undo_record.empty()) {
    OutFile& out = target.out();
    patched.emplace(plan->size,
                    [&out](std::uint64_t at, std::size_t n) { return out.digest_written(at, n); });
    out.on_written([&patched](std::uint64_t end) { patched->written(end); });
  }
  write_pieces(*plan, parts, target.out());
  finish_header(*plan, target.out());
  // The record is on the disk before the image is replaced: a run stopped
  // in between leaves the old image, which the record's digests tell apart.
  RecordGuard guard(options.undo_record);
  if (patched) {
    result.undo = keep_undo_record(rom, parts, *plan, *patched, options);
    // Its thread reads the file: it ends before the file is closed.
    target.out().on_written({});
    patched.reset();
  }
  if (options.before_commit) options.before_commit();
  target.commit();
  guard.release();
  if (options.log) options.log("wrote " + rom.label + ": " + std::to_string(plan->size) + " bytes");
  return result;
}

}  // namespace nds
