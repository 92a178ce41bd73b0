// calico's crt0 (source/nds/arm7/bootstub_arm7.s and the ARM9's, with
// source/nds/crt0.h and share/ds7.ld): b over a module header, "MOD7" or
// "MOD9", then the load lists. Until late 2024 the DS load list (lma, start,
// end) follows the magic at once; since then a u16 of flags and a u16 header
// size come first, and the branch skips exactly that header.
//
// The DS load list is the last thing of the ARM7 binary (.loadlist, after
// every section loaded from lma7), so its end is the binary's end; its
// entries (start, end, bss end) describe the bytes from lma onwards, back to
// back up to the list itself.
#include "nds/binaries/crt0.h"

namespace nds::crt0 {

namespace {

constexpr std::uint32_t kMod7 = 0x37444F4D;  // "MOD7"
constexpr std::uint32_t kMod9 = 0x39444F4D;  // "MOD9"
constexpr std::size_t kLoadListEntry = 12;
constexpr std::size_t kLoadListMax = 16;  // calico's lists hold two or three

// The offset of the branch's target, when the first word is b.
std::optional<std::size_t> branch_target(const arm::CodeWindow& code) {
  const auto insn = code.word(0);
  if (!insn || (*insn & 0xFF000000) != 0xEA000000 || (*insn & 0x00800000)) return std::nullopt;
  return 8 + std::size_t{*insn & 0x00FFFFFF} * 4;
}

// Where the DS load list's three words lie in the module header.
std::optional<std::size_t> load_list_at(const arm::CodeWindow& code, std::uint32_t magic) {
  const auto target = branch_target(code);
  const auto word1 = code.word(4);
  const auto flags = code.word(8);
  if (!target || word1 != magic || !flags) return std::nullopt;
  constexpr std::size_t kOldHeaderEnd = 0x20;  // b, magic, two load lists
  if (*target == kOldHeaderEnd) return 8;
  const std::size_t header_size = *flags >> 16;
  if (*target >= kOldHeaderEnd + 4 && *target == 4 + header_size) return 12;
  return std::nullopt;
}

// The entries' loaded bytes must fill [lma, list start) exactly.
bool entries_fill(const ByteSource& binary, std::uint64_t list_offset, std::size_t count,
                  std::uint64_t loaded) {
  const auto words = read_words(binary, list_offset, count * 3);
  if (!words) return false;
  std::uint64_t total = 0;
  for (std::size_t i = 0; i < count; ++i) {
    const std::uint32_t start = (*words)[i * 3];
    const std::uint32_t end = (*words)[i * 3 + 1];
    if (end < start) return false;
    total += end - start;
  }
  return total == loaded;
}

}  // namespace

std::optional<Arm7Identity> calico_arm7(const arm::CodeWindow& code) {
  // A header whose load list does not describe this binary names nothing.
  const auto at = load_list_at(code, kMod7);
  if (!at) return std::nullopt;
  const auto lma = code.word(*at);
  const auto start = code.word(*at + 4);
  const auto end = code.word(*at + 8);
  const std::uint64_t size = code.binary().size();
  if (!lma || !start || !end || *end < size || *start > *end) return std::nullopt;
  const std::uint64_t load = *end - size;
  const std::uint64_t listed = *end - *start;
  const bool sound =
      load % 4 == 0 && listed % kLoadListEntry == 0 && listed / kLoadListEntry <= kLoadListMax &&
      load <= *lma && *lma <= *start && in_arm7_memory(load, size) &&
      entries_fill(code.binary(), *start - load, listed / kLoadListEntry, *start - *lma);
  if (!sound) return std::nullopt;
  return fixed_at(RuntimeCode{Runtime::calico, 0}, static_cast<std::uint32_t>(load));
}

bool calico_arm9(const arm::CodeWindow& code) {
  return load_list_at(code, kMod9).has_value();
}

}  // namespace nds::crt0
