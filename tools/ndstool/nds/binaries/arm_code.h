// Reading a crt0 as the CPU would run it: instruction words, the literal a
// pc-relative load fetches, where a bl or an adr points. A crt0 and its
// literal pools lie in the first few KiB of a binary, so only those are
// read; whatever points outside them, or outside the binary, is "no match",
// never a read beyond the input.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "nds/io/byte_source.h"

namespace nds::arm {

// Enough for any crt0 we decode: its code, and the farthest literal a
// pc-relative load of it can reach (4 KiB ahead).
inline constexpr std::size_t kCrt0Window = 0x1400;

class CodeWindow {
 public:
  // The bytes [start, start + limit) of the binary, fewer when it is shorter.
  CodeWindow(const ByteSource& binary, std::uint64_t start, std::size_t limit = kCrt0Window);

  const ByteSource& binary() const { return binary_; }
  std::uint64_t start() const { return start_; }
  std::size_t size() const { return bytes_.size(); }
  // The word at a window offset; none when unaligned or outside the window.
  std::optional<std::uint32_t> word(std::uint64_t offset) const;

 private:
  const ByteSource& binary_;
  std::uint64_t start_;
  std::vector<std::uint8_t> bytes_;
};

// Walks a crt0 one instruction at a time. Each step either matches the
// instruction at the cursor and moves on, or marks the walk failed; a failed
// walk matches nothing more, so a generation reads as one chain of steps.
class Cursor {
 public:
  Cursor(const CodeWindow& code, std::size_t at) : code_(code), at_(at) {}

  bool ok() const { return ok_; }
  std::size_t at() const { return at_; }
  std::optional<std::uint32_t> peek() const;
  bool next_is(std::uint32_t mask, std::uint32_t value) const;

  Cursor& is(std::uint32_t insn) { return like(0xFFFFFFFF, insn); }
  Cursor& like(std::uint32_t mask, std::uint32_t value);
  // ldr reg, [pc, #±imm]: the word it loads.
  Cursor& literal(unsigned reg, std::uint32_t* value = nullptr);
  // bl: the window offset it calls.
  Cursor& bl(std::size_t* target = nullptr);
  // adr reg (add reg, pc, #imm): the window offset it points at.
  Cursor& adr(unsigned reg, std::size_t* target = nullptr);
  Cursor& fail() {
    ok_ = false;
    return *this;
  }

 private:
  const CodeWindow& code_;
  std::size_t at_;
  bool ok_ = true;
};

// The word an ldr rX, [pc, #±imm] (any register, always executed) at a
// window offset loads, and into which register; none for anything else.
struct PcLoad {
  unsigned reg = 0;
  std::uint32_t value = 0;
};
std::optional<PcLoad> pc_literal(const CodeWindow& code, std::size_t at);

// The window offset a branch (b, bl, any condition) at a window offset
// jumps to; none for anything else or a target outside the window.
std::optional<std::size_t> branch_target(const CodeWindow& code, std::size_t at);

// mcr or mrc p15, 0, ... (caches, protection unit, TCMs), always executed,
// as every crt0 writes it: the ARM9's alone, as the ARM7 has no
// coprocessor 15.
constexpr bool is_cp15_access(std::uint32_t insn) {
  return (insn & 0xFFE00F10) == 0xEE000F10;
}

// Instructions every crt0 generation shares.
inline constexpr std::uint32_t kMsrCpsrR0 = 0xE129F000;  // msr cpsr_fc, r0
inline constexpr std::uint32_t kBxR3 = 0xE12FFF13;
inline constexpr unsigned kSp = 13;
inline constexpr unsigned kLr = 14;

// mov rd, #imm for the small immediates crt0s use (no rotation).
constexpr std::uint32_t mov_imm(unsigned rd, std::uint32_t imm8) {
  return 0xE3A00000 | (rd << 12) | imm8;
}

}  // namespace nds::arm
