#include "nds/rebuild/arm7_kind.h"

#include <algorithm>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "nds/format/crc16.h"
#include "nds/format/header.h"
#include "nds/io/byte_io.h"
#include "nds/io/error.h"

namespace nds {

namespace {

using result_file::Refusal;

// How much of the file's start is looked at for text.
constexpr std::size_t kTextProbe = 0x1000;
// Enough bytes without a control byte to be sure of text.
constexpr std::size_t kSureText = 0x100;
// The condition field of an ARM instruction that always runs.
constexpr std::uint32_t kAlways = 0xE;

// A whole DS image: its first 0x160 bytes are a header whose CRC holds,
// naming an ARM9 and an ARM7 that lie inside the file.
bool is_ds_image(const ByteSource& file) {
  constexpr std::size_t kHeaderBytes = field::kHeaderCrc + 2;
  if (file.size() < kHeaderBytes) return false;
  const std::vector<std::uint8_t> head = file.read_vector(0, kHeaderBytes);
  const std::span<const std::uint8_t> bytes(head);
  if (crc16(bytes.first(field::kHeaderCrc)) != get16(bytes, field::kHeaderCrc)) return false;
  const auto inside = [&](const ArmField& arm) {
    const std::uint64_t offset = get32(bytes, arm.rom_offset_at), size = get32(bytes, arm.size_at);
    return offset + size <= file.size();
  };
  return get32(bytes, field::kArm9.size_at) != 0 && inside(field::kArm9) && inside(field::kArm7);
}

// Text in any 8-bit encoding or UTF-8 has no control bytes but white space
// (and a DOS end-of-file mark); UTF-16 text opens with its byte order mark.
// ARM code has register numbers and small immediates in nearly every word,
// but a few words of it can lack them: a file that opens with an
// instruction counts as text only when it is long enough to tell.
bool is_text(std::span<const std::uint8_t> head, bool opens_with_code) {
  if (opens_with_code && head.size() < kSureText) return false;
  if (!opens_with_code && head.size() >= 2 &&
      ((head[0] == 0xFF && head[1] == 0xFE) || (head[0] == 0xFE && head[1] == 0xFF)))
    return true;
  return std::all_of(head.begin(), head.end(), [](std::uint8_t c) {
    return c >= 0x20 || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == 0x1A;
  });
}

bool starts_with(std::span<const std::uint8_t> head, std::string_view magic) {
  return head.size() >= magic.size() &&
         std::equal(magic.begin(), magic.end(), head.begin(),
                    [](char m, std::uint8_t b) { return static_cast<std::uint8_t>(m) == b; });
}

// The archive formats people download ARM7 binaries in, by their magic.
const char* archive_kind(std::span<const std::uint8_t> head) {
  using namespace std::string_view_literals;
  if (starts_with(head, "PK\x03\x04"sv) || starts_with(head, "PK\x05\x06"sv))
    return "a ZIP archive";
  if (starts_with(head, "7z\xBC\xAF\x27\x1C"sv)) return "a 7z archive";
  if (starts_with(head, "Rar!\x1A\x07"sv)) return "a RAR archive";
  if (starts_with(head, "\x1F\x8B"sv)) return "a gzip file";
  return nullptr;
}

// An SDK ARM9 opens with its secure area, marked 0xE7FFDEFF twice once
// decrypted, or "encryObj" before it is encrypted.
bool opens_secure_area(std::span<const std::uint8_t> head) {
  using namespace std::string_view_literals;
  if (starts_with(head, "encryObj"sv)) return true;
  return head.size() >= 8 && get32(head, 0) == 0xE7FFDEFF && get32(head, 4) == 0xE7FFDEFF;
}

}  // namespace

void refuse_other_kinds(const ByteSource& file, const std::string& label) {
  if (is_ds_image(file))
    refuse_arm7(Refusal::ds_image, label + " is a whole DS ROM image (" + hex(file.size()) +
                                       " bytes), not an ARM7 binary");
  const std::vector<std::uint8_t> head = file.read_vector(
      0, static_cast<std::size_t>(std::min<std::uint64_t>(file.size(), kTextProbe)));
  if (opens_secure_area(head))
    refuse_arm7(
        Refusal::arm9,
        label + " opens with an ARM9's secure area: it is an ARM9 binary, not an ARM7 binary");
  const bool opens_with_code = head.size() >= 4 && get32(head, 0) >> 28 == kAlways;
  // No archive's magic reads as an instruction that always runs.
  const char* archive = opens_with_code ? nullptr : archive_kind(head);
  if (archive)
    refuse_arm7(Refusal::archive,
                label + " is " + archive + ", not an ARM7 binary: take the ARM7 binary out of it");
  if (is_text(head, opens_with_code))
    refuse_arm7(Refusal::text, label + " is a text file, not an ARM7 binary");
}

}  // namespace nds
