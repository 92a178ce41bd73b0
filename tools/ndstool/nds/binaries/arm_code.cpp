#include "nds/binaries/arm_code.h"

#include <algorithm>

#include "nds/io/byte_io.h"

namespace nds::arm {

namespace {

// The CPU reads pc as the instruction's own address plus 8.
constexpr std::uint64_t kPcAhead = 8;

std::optional<std::size_t> offset_from(std::size_t at, std::int64_t delta, std::size_t size) {
  const std::int64_t target = static_cast<std::int64_t>(at) + std::int64_t{kPcAhead} + delta;
  if (target < 0 || static_cast<std::uint64_t>(target) >= size) return std::nullopt;
  return static_cast<std::size_t>(target);
}

// The 8-bit immediate of a data-processing instruction, rotated as encoded.
std::uint32_t rotated_imm(std::uint32_t insn) {
  const std::uint32_t imm = insn & 0xFF;
  const unsigned rot = ((insn >> 8) & 0xF) * 2;
  return rot == 0 ? imm : (imm >> rot) | (imm << (32 - rot));
}

}  // namespace

CodeWindow::CodeWindow(const ByteSource& binary, std::uint64_t start, std::size_t limit)
    : binary_(binary), start_(start) {
  const std::uint64_t size = binary.size();
  if (start >= size) return;
  bytes_.resize(static_cast<std::size_t>(std::min<std::uint64_t>(limit, size - start)));
  binary.read_at(start, bytes_);
}

std::optional<std::uint32_t> CodeWindow::word(std::uint64_t offset) const {
  if (offset % 4 != 0 || offset > bytes_.size() || bytes_.size() - offset < 4) return std::nullopt;
  return get32(bytes_, static_cast<std::size_t>(offset));
}

std::optional<std::uint32_t> Cursor::peek() const {
  if (!ok_) return std::nullopt;
  return code_.word(at_);
}

bool Cursor::next_is(std::uint32_t mask, std::uint32_t value) const {
  const auto insn = peek();
  return insn && (*insn & mask) == value;
}

Cursor& Cursor::like(std::uint32_t mask, std::uint32_t value) {
  if (!next_is(mask, value)) return fail();
  at_ += 4;
  return *this;
}

Cursor& Cursor::literal(unsigned reg, std::uint32_t* value) {
  // ldr reg, [pc, #imm12], either sign: cond 0101 U001 1111 reg imm12.
  const auto insn = peek();
  if (!insn || (*insn & 0xFF7FF000) != (0xE51F0000 | (reg << 12))) return fail();
  const std::int64_t imm = *insn & 0xFFF;
  const auto where = offset_from(at_, (*insn & 0x00800000) ? imm : -imm, code_.size());
  const auto loaded = where ? code_.word(*where) : std::nullopt;
  if (!loaded) return fail();
  if (value) *value = *loaded;
  at_ += 4;
  return *this;
}

Cursor& Cursor::bl(std::size_t* target) {
  const auto insn = peek();
  if (!insn || (*insn & 0xFF000000) != 0xEB000000) return fail();
  // The 24-bit word offset, sign-extended.
  const std::int64_t words = static_cast<std::int32_t>(*insn << 8) >> 8;
  const auto where = offset_from(at_, words * 4, code_.size());
  if (!where) return fail();
  if (target) *target = *where;
  at_ += 4;
  return *this;
}

Cursor& Cursor::adr(unsigned reg, std::size_t* target) {
  // add reg, pc, #imm
  const auto insn = peek();
  if (!insn || (*insn & 0xFFFFF000) != (0xE28F0000 | (reg << 12))) return fail();
  const auto where = offset_from(at_, rotated_imm(*insn), code_.size());
  if (!where) return fail();
  if (target) *target = *where;
  at_ += 4;
  return *this;
}

std::optional<PcLoad> pc_literal(const CodeWindow& code, std::size_t at) {
  const auto insn = code.word(at);
  if (!insn || (*insn & 0xFF7F0000) != 0xE51F0000) return std::nullopt;
  const std::int64_t imm = *insn & 0xFFF;
  const auto where = offset_from(at, (*insn & 0x00800000) ? imm : -imm, code.size());
  const auto loaded = where ? code.word(*where) : std::nullopt;
  if (!loaded) return std::nullopt;
  return PcLoad{(*insn >> 12) & 0xF, *loaded};
}

std::optional<std::size_t> branch_target(const CodeWindow& code, std::size_t at) {
  const auto insn = code.word(at);
  if (!insn || (*insn & 0x0E000000) != 0x0A000000 || (*insn >> 28) == 0xF) return std::nullopt;
  const std::int64_t words = static_cast<std::int32_t>(*insn << 8) >> 8;
  return offset_from(at, words * 4, code.size());
}

}  // namespace nds::arm
