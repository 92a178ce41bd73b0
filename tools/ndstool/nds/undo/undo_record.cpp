#include "nds/undo/undo_record.h"

#include <algorithm>
#include <array>

#include "nds/io/byte_io.h"
#include "nds/io/error.h"

namespace nds {

namespace {

constexpr std::array<std::uint8_t, 8> kMagic = {'V', 'O', 'D', 'U', 'N', 'D', 'O', 0x1A};
constexpr std::size_t kAlgorithmField = 16;

std::uint64_t get64(std::span<const std::uint8_t> b, std::size_t off) {
  return get32(b, off) | (std::uint64_t{get32(b, off + 4)} << 32);
}

void put64(std::span<std::uint8_t> b, std::size_t off, std::uint64_t v) {
  put32(b, off, static_cast<std::uint32_t>(v));
  put32(b, off + 4, static_cast<std::uint32_t>(v >> 32));
}

void put_digest(std::span<std::uint8_t> b, std::size_t off, const Digest& digest) {
  std::copy(digest.bytes.begin(), digest.bytes.end(), b.begin() + static_cast<std::ptrdiff_t>(off));
}

Digest get_digest(std::span<const std::uint8_t> b, std::size_t off) {
  Digest digest;
  std::copy_n(b.begin() + static_cast<std::ptrdiff_t>(off), digest.bytes.size(),
              digest.bytes.begin());
  return digest;
}

[[noreturn]] void bad(const std::string& label, const std::string& why) {
  fail(ErrorKind::BadUndoRecord, label + " is no undo record of ours: " + why);
}

// The step table after the header, each step checked against the sizes.
std::vector<UndoStep> decode_steps(std::span<const std::uint8_t> file, std::uint32_t count,
                                   const UndoHeader& header, std::uint64_t data_size,
                                   const std::string& label) {
  std::vector<UndoStep> steps(count);
  std::uint64_t original = 0, data = 0;
  for (std::uint32_t i = 0; i < count; ++i) {
    const std::size_t at = kUndoHeaderSize + std::size_t{i} * kUndoStepSize;
    UndoStep& step = steps[i];
    const std::uint32_t kind = get32(file, at);
    step.length = get64(file, at + 8);
    step.from = get64(file, at + 16);
    if ((kind != UndoStep::Copy && kind != UndoStep::Bytes) || get32(file, at + 4) != 0 ||
        step.length == 0)
      bad(label, "step " + std::to_string(i) + " is malformed");
    step.kind = static_cast<UndoStep::Kind>(kind);
    const std::uint64_t limit = step.kind == UndoStep::Copy ? header.patched_size : data_size;
    if (step.from > limit || step.length > limit - step.from ||
        (step.kind == UndoStep::Bytes && step.from != data) ||
        step.length > header.original_size - original)
      bad(label, "step " + std::to_string(i) + " lies outside the images");
    original += step.length;
    if (step.kind == UndoStep::Bytes) data += step.length;
  }
  if (original != header.original_size || data != data_size)
    bad(label, "its steps do not make up the original image");
  return steps;
}

}  // namespace

std::uint64_t undo_record_size(const std::vector<UndoStep>& steps) {
  std::uint64_t size = kUndoHeaderSize + kUndoChecksumSize + steps.size() * kUndoStepSize;
  for (const UndoStep& step : steps)
    if (step.kind == UndoStep::Bytes) size += step.length;
  return size;
}

std::vector<std::uint8_t> encode_undo_head(const UndoHeader& header,
                                           const std::vector<UndoStep>& steps) {
  std::vector<std::uint8_t> head(kUndoHeaderSize + steps.size() * kUndoStepSize);
  std::copy(kMagic.begin(), kMagic.end(), head.begin());
  put32(head, 8, kUndoVersion);
  put32(head, 12, static_cast<std::uint32_t>(steps.size()));
  std::copy(kDigestAlgorithm.begin(), kDigestAlgorithm.end(), head.begin() + 16);
  put64(head, 32, header.original_size);
  put_digest(head, 40, header.original);
  put64(head, 56, header.patched_size);
  put_digest(head, 72, header.patched);
  std::uint64_t data = 0;
  for (std::size_t i = 0; i < steps.size(); ++i) {
    const std::size_t at = kUndoHeaderSize + i * kUndoStepSize;
    put32(head, at, steps[i].kind);
    put64(head, at + 8, steps[i].length);
    put64(head, at + 16, steps[i].kind == UndoStep::Copy ? steps[i].from : data);
    if (steps[i].kind == UndoStep::Bytes) data += steps[i].length;
  }
  return head;
}

UndoRecord decode_undo_record(std::span<const std::uint8_t> file, const std::string& label) {
  if (file.size() < kUndoHeaderSize + kUndoChecksumSize ||
      !std::equal(kMagic.begin(), kMagic.end(), file.begin()))
    bad(label, "it does not start as one");
  if (get32(file, 8) != kUndoVersion)
    bad(label, "format version " + std::to_string(get32(file, 8)) + ", this ndstool reads " +
                   std::to_string(kUndoVersion));
  const auto algorithm = file.subspan(16, kAlgorithmField);
  std::array<std::uint8_t, kAlgorithmField> expected{};
  std::copy(kDigestAlgorithm.begin(), kDigestAlgorithm.end(), expected.begin());
  if (!std::equal(expected.begin(), expected.end(), algorithm.begin()))
    bad(label, "its digests are not " + std::string(kDigestAlgorithm));
  const std::size_t body = file.size() - kUndoChecksumSize;
  Hasher hasher;
  hasher.update(file.first(body));
  if (hasher.finish() != get_digest(file, body)) bad(label, "its checksum does not match");

  UndoRecord record;
  record.header = {get64(file, 32), get_digest(file, 40), get64(file, 56), get_digest(file, 72)};
  const std::uint32_t count = get32(file, 12);
  const std::uint64_t table_end = kUndoHeaderSize + std::uint64_t{count} * kUndoStepSize;
  if (table_end > body) bad(label, "its step table runs past its end");
  record.steps = decode_steps(file, count, record.header, body - table_end, label);
  record.data =
      file.subspan(static_cast<std::size_t>(table_end), static_cast<std::size_t>(body - table_end));
  return record;
}

}  // namespace nds
