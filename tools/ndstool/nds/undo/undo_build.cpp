#include "nds/undo/undo_build.h"

#include <algorithm>

#include "nds/undo/digest_file.h"

namespace nds {

namespace {

// A run of the new image that holds the original's bytes at origin.
struct Claim {
  std::uint64_t origin = 0, at = 0, length = 0;
};

std::vector<Claim> claims_of(const Plan& plan) {
  std::vector<Claim> claims;
  std::uint64_t at = 0;
  for (const Piece& piece : plan.pieces) {
    if (piece.origin_length != 0) claims.push_back({piece.origin, at, piece.origin_length});
    at += piece.length;
  }
  return claims;
}

// What is written over the pieces (the header, a FAT in a shared region)
// holds other bytes than they do.
std::vector<Claim> cut_written(const std::vector<Claim>& claims, std::uint64_t start,
                               std::uint64_t end) {
  std::vector<Claim> kept;
  for (const Claim& claim : claims) {
    const std::uint64_t claim_end = claim.at + claim.length;
    if (claim_end <= start || claim.at >= end) {
      kept.push_back(claim);
      continue;
    }
    if (claim.at < start) kept.push_back({claim.origin, claim.at, start - claim.at});
    if (claim_end > end) kept.push_back({claim.origin + (end - claim.at), end, claim_end - end});
  }
  return kept;
}

void add_step(std::vector<UndoStep>& steps, UndoStep::Kind kind, std::uint64_t from,
              std::uint64_t length) {
  if (length == 0) return;
  if (!steps.empty() && steps.back().kind == kind &&
      steps.back().from + steps.back().length == from) {
    steps.back().length += length;
    return;
  }
  steps.push_back({kind, length, from});
}

ImageDigest original_digest(const Parts& parts, const InFile& original) {
  const PartPath file = digest_part(parts);
  std::error_code ec;
  if (fs::exists(file.path, ec)) {
    const auto text = read_small_file(file.path, file.label, 256);
    const auto digest = parse_digest_file(
        std::string_view(reinterpret_cast<const char*>(text.data()), text.size()));
    if (!digest) fail(ErrorKind::BadLayout, file.label + " is damaged");
    return *digest;
  }
  // Unpacked without it (by hand): read the image once more.
  return {original.size(), digest_of(original.size(), [&](std::uint64_t at, std::size_t n) {
            return original.digest_at(at, n);
          })};
}

void write_record(const PartPath& record, const UndoHeader& header,
                  const std::vector<UndoStep>& steps, const InFile& original, WriteBudget* budget) {
  OutFile out(record.path, record.label, false, budget);
  Hasher checksum;
  const std::vector<std::uint8_t> head = encode_undo_head(header, steps);
  checksum.update(head);
  out.write(head);
  std::vector<std::uint8_t> buffer(std::size_t{1} << 16);
  for (const UndoStep& step : steps) {
    if (step.kind != UndoStep::Bytes) continue;
    for (std::uint64_t done = 0; done < step.length;) {
      const auto n =
          static_cast<std::size_t>(std::min<std::uint64_t>(step.length - done, buffer.size()));
      const std::span<std::uint8_t> chunk(buffer.data(), n);
      original.read_at(step.from + done, chunk);
      checksum.update(chunk);
      out.write(chunk);
      done += n;
    }
  }
  out.write(checksum.finish().bytes);
  out.sync();
  out.close();
}

result_file::UndoRecord write_if_small(const PartPath& record, const PartPath& rom,
                                       const Parts& parts, const Plan& plan,
                                       BackgroundDigest& patched, WriteBudget* budget) {
  std::error_code ec;
  if (!fs::exists(rom.path, ec)) return result_file::UndoRecord::none;
  const InFile original(rom.path, rom.label);
  const ImageDigest before = original_digest(parts, original);
  if (before.size != original.size())
    fail(ErrorKind::UndoUnwritable, rom.label + " changed since it was unpacked");
  const std::vector<UndoStep> steps = plan_undo_steps(plan, before.size);
  if (undo_record_size(steps) > kMaxUndoRecord) return result_file::UndoRecord::too_large;
  const Digest after = patched.finish(rewritten(plan));
  write_record(record, {before.size, before.digest, plan.size, after}, steps, original, budget);
  return result_file::UndoRecord::kept;
}

}  // namespace

std::vector<std::pair<std::uint64_t, std::uint64_t>> rewritten(const Plan& plan) {
  std::vector<std::pair<std::uint64_t, std::uint64_t>> ranges = {{0, plan.header->size()}};
  for (const auto& [at, bytes] : plan.patches) ranges.emplace_back(at, at + bytes->size());
  return ranges;
}

std::vector<UndoStep> plan_undo_steps(const Plan& plan, std::uint64_t original_size) {
  std::vector<Claim> claims = claims_of(plan);
  for (const auto& [start, end] : rewritten(plan)) claims = cut_written(claims, start, end);
  std::sort(claims.begin(), claims.end(),
            [](const Claim& a, const Claim& b) { return a.origin < b.origin; });
  std::vector<UndoStep> steps;
  std::uint64_t cursor = 0;
  for (const Claim& claim : claims) {
    if (claim.origin >= original_size || claim.origin + claim.length <= cursor) continue;
    if (claim.origin > cursor) {
      add_step(steps, UndoStep::Bytes, cursor, claim.origin - cursor);
      cursor = claim.origin;
    }
    const std::uint64_t skip = cursor - claim.origin;
    const std::uint64_t length = std::min(claim.length - skip, original_size - cursor);
    add_step(steps, UndoStep::Copy, claim.at + skip, length);
    cursor += length;
  }
  add_step(steps, UndoStep::Bytes, cursor, original_size - cursor);
  return steps;
}

result_file::UndoRecord keep_undo_record(const PartPath& rom, const Parts& parts, const Plan& plan,
                                         BackgroundDigest& patched, const RunOptions& options) {
  const PartPath record{options.undo_record, path_label(options.undo_record)};
  std::error_code ec;
  try {
    const result_file::UndoRecord kept =
        write_if_small(record, rom, parts, plan, patched, options.write_budget);
    if (kept != result_file::UndoRecord::kept) fs::remove(record.path, ec);
    return kept;
  } catch (const Error& e) {
    fs::remove(record.path, ec);
    if (e.kind() == ErrorKind::UndoUnwritable) throw;
    fail(ErrorKind::UndoUnwritable, "cannot keep the undo record " + record.label + ": " + e.what(),
         e.cause());
  }
}

}  // namespace nds
