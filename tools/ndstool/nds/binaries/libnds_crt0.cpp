// The ARM7 and ARM9 crt0s of libnds (devkitPro's crtls, ds_arm7_crt0.s and
// ds_arm9_crt0.s) and of BlocksDS (sys/crts, first as blocksds/crts, a
// copy of devkitPro's). The generations decoded:
//
//   ARM7, fixed (runs where linked, clears its bss, nothing copied):
//     2005      str r0 to IME; bss by start/end; main through _call_via_r3,
//               then back to the GBA slot
//     pre-DSi   mov r1, #0 to IME; bss by start/end; main with lr = exit
//               (not found in the crtls history; read from two binaries
//               whose neighbours in that history it matches)
//     VRAM/IWRAM builds of the handshake crt0s: bl __sync_start, at times a
//               relative copy that finds nothing to copy, the bss (by end or
//               by size), then the DSi mode flag
//   ARM7, copy-down (the default link script: built for main RAM):
//     the handshake code copied to __arm7_start__ and run there, then
//     adr arm7lma (a word holding __arm7_lma__ - .) to copy itself, by end
//     (devkitPro, BlocksDS) or by size (BlocksDS); BlocksDS's first crt0
//     copies itself without the handshake
//   ARM9, 2005: IME = 0 by add/strh, ARM9 IWRAM on, then the CP15 set-up
//               inline, opening with control = 0x2078 through r1
//   ARM9, 2005-2008: IME = 0 by str, the 2D engines powered (0x8203 to
//               POWCNT1), then the same inline set-up
//   ARM9, since: the __libnds_mpu_setup prologue, with or without the
//               handshake
//
// BlocksDS alone calls init_tls(__tls_start) in its ARM7 crt0 and starts
// main as a cothread in its ARM9 crt0; without either the two cannot be told
// apart, since BlocksDS began with devkitPro's crt0s word for word.
#include <array>

#include "nds/binaries/crt0.h"

namespace nds::crt0 {

namespace {

using arm::CodeWindow;
using arm::Cursor;
using arm::mov_imm;

constexpr std::uint32_t kMovR0Io = 0xE3A00301;   // mov r0, #0x04000000
constexpr std::uint32_t kStrR0Ime = 0xE5800208;  // str r0, [r0, #0x208]
constexpr std::uint32_t kStrR1Ime = 0xE5801208;  // str r1, [r0, #0x208]
constexpr std::uint32_t kLdrR1AtR0 = 0xE5901000;
constexpr std::uint32_t kAddR1R1R0 = 0xE0811000;
constexpr std::uint32_t kSubR1R1R0 = 0xE0411000;
constexpr std::uint32_t kMovR8R2 = 0xE1A08002;
constexpr std::uint32_t kMovR3R8 = 0xE1A03008;
constexpr std::uint32_t kCmpR10One = 0xE35A0001;
constexpr std::uint32_t kStrbR10AtR1 = 0xE5C1A000;
constexpr std::uint32_t kBlxR3 = 0xE12FFF33;
constexpr std::array<std::uint32_t, 3> kStackModes = {0x12, 0x13, 0x1F};  // IRQ, SVC, system

// A crt0's straight-line code before the bx r3 that enters main.
constexpr std::size_t kCrt0Insns = 256;

bool next_literal(const Cursor& c, unsigned reg) {
  return c.next_is(0xFF7FF000, 0xE51F0000 | (reg << 12));
}

void stacks(Cursor& c) {
  for (const std::uint32_t mode : kStackModes)
    c.is(mov_imm(0, mode)).is(arm::kMsrCpsrR0).literal(arm::kSp);
}

// IME = 0 through r0 itself (2005, BlocksDS until 2024) or through r1.
bool arm7_prologue(Cursor& c, bool* ime_by_r1) {
  c.is(kMovR0Io);
  *ime_by_r1 = !c.next_is(0xFFFFFFFF, kStrR0Ime);
  if (*ime_by_r1)
    c.is(mov_imm(1, 0)).is(kStrR1Ime);
  else
    c.is(kStrR0Ime);
  stacks(c);
  return c.ok();
}

// adr r0, arm7lma; ldr r1, [r0]; add r1, r1, r0: the binary's own address
// reached relative to the code; then the destination, the end or the size,
// and the copy.
void relative_copy(Cursor& c) {
  c.adr(0).is(kLdrR1AtR0).is(kAddR1R1R0).literal(2);
  c.literal(next_literal(c, 3) ? 3 : 4).bl();
}

// The handshake code copied to __arm7_start__ and called there.
void handshake_copy(Cursor& c) {
  c.adr(1).literal(2).like(0xFFFFF000, mov_imm(3, 0)).is(kMovR8R2).bl().is(kMovR3R8).bl();
}

struct Bss {
  std::uint32_t start = 0;
  std::uint32_t end = 0;
};

// ldr r0, =__bss_start__, then its end (and a sub) or its size; ClearMem.
void bss_clear(Cursor& c, Bss* bss) {
  std::uint32_t second = 0;
  c.literal(0, &bss->start).literal(1, &second);
  if (c.next_is(0xFFFFFFFF, kSubR1R1R0)) {
    c.is(kSubR1R1R0);
    bss->end = second;
  } else if (second <= 0xFFFFFFFF - bss->start) {
    bss->end = bss->start + second;
  } else {
    c.fail();
  }
  c.bl();
}

// 2005: constructors and main through _call_via_r3, then back to the GBA slot.
void tail_2005(Cursor& c) {
  c.literal(3).bl().is(mov_imm(0, 0)).is(mov_imm(1, 0)).literal(3).bl();
  c.is(0xE3A00302).is(0xE12FFF10);  // mov r0, #0x08000000; bx r0
}

// Before the handshake: constructors, then main with exit as its return.
void tail_before_handshake(Cursor& c) {
  c.literal(3).bl().is(mov_imm(0, 0)).is(mov_imm(1, 0)).literal(3).literal(arm::kLr);
  c.is(arm::kBxR3).is(arm::kBxR3);
}

// With the handshake: r10 holds the DSi mode flag the ARM9 sent.
void tail_dsi_flag(Cursor& c) {
  c.is(kCmpR10One).like(0xFF000000, 0x1A000000).literal(1).is(kStrbR10AtR1);
}

// ldr r0|r3, =__tls_start; bl init_tls; ldr r3, =__libc_init_array;
// bl _blx_r3_stub, before the bx r3 that ends the straight-line code.
bool calls_init_tls(const CodeWindow& code, std::size_t from) {
  for (std::size_t n = 0, at = from; n < kCrt0Insns; ++n, at += 4) {
    const auto insn = code.word(at);
    if (!insn || *insn == arm::kBxR3) return false;
    for (const unsigned reg : {0u, 3u}) {
      Cursor c(code, at);
      std::size_t init = 0;
      std::size_t stub = 0;
      c.literal(reg).bl(&init).literal(3).bl(&stub);
      if (c.ok() && init != stub && code.word(stub) == arm::kBxR3) return true;
    }
  }
  return false;
}

// Whether the bytes from offset to the end of the binary are all zero.
bool zero_tail(const ByteSource& binary, std::uint64_t offset) {
  std::array<std::uint8_t, 4096> chunk{};
  for (std::uint64_t at = offset, size = binary.size(); at < size;) {
    const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(chunk.size(), size - at));
    binary.read_at(at, std::span(chunk).first(n));
    for (std::size_t i = 0; i < n; ++i)
      if (chunk[i] != 0) return false;
    at += n;
  }
  return true;
}

// Below this a zero tail may be the last of the data rather than the bss.
constexpr std::uint64_t kWrittenBssMin = 0x100;

// A fixed binary ends where its bss starts (objcopy -O binary, an ELF's file
// bytes) or, when the tool that made it wrote the bss out as zeros (as in
// pongds and raycast), where its bss ends. A zero tail as long as the bss
// tells the second apart; a short one cannot, and gives no address.
std::optional<std::uint32_t> load_from_bss(const ByteSource& binary, Bss bss) {
  const std::uint64_t size = binary.size();
  if (bss.end < bss.start || size == 0 || size % 4 != 0) return std::nullopt;
  const std::uint64_t bss_size = bss.end - bss.start;
  std::uint64_t end = bss.start;
  if (bss_size != 0 && bss_size <= size && zero_tail(binary, size - bss_size)) {
    if (bss_size < kWrittenBssMin) return std::nullopt;
    end = bss.end;
  }
  if (end < size || (end - size) % 4 != 0 || !in_arm7_memory(end - size, size)) return std::nullopt;
  return static_cast<std::uint32_t>(end - size);
}

RuntimeCode family(Runtime runtime) {
  return RuntimeCode{runtime, 0};
}

// An identity without an address.
Arm7Identity placed(RuntimeCode runtime, Arm7Placement placement) {
  Arm7Identity id;
  id.runtime = runtime;
  id.placement = placement;
  return id;
}

// After the prologue of a crt0 that runs where it was linked.
std::optional<Arm7Identity> fixed_arm7(const CodeWindow& code, Cursor& c, bool ime_by_r1) {
  const bool handshake = c.next_is(0xFF000000, 0xEB000000);
  Bss bss;
  if (handshake) {
    c.bl();
    if (c.next_is(0xFFFFF000, 0xE28F0000)) relative_copy(c);
    bss_clear(c, &bss);
    tail_dsi_flag(c);
  } else {
    bss_clear(c, &bss);
    if (ime_by_r1)
      tail_before_handshake(c);
    else
      tail_2005(c);
  }
  if (!c.ok()) return std::nullopt;
  Runtime runtime = Runtime::libnds;
  if (handshake)
    runtime = calls_init_tls(code, c.at()) ? Runtime::blocksds : Runtime::libnds_or_blocksds;
  const auto load = load_from_bss(code.binary(), bss);
  if (load) return fixed_at(family(runtime), *load);
  return placed(family(runtime), Arm7Placement::Fixed);
}

// Whether the ARM9 crt0 ends by starting main as a cothread:
// sub r2, sp, #0x400; bic r2, r2, #7; ldr r3, =cothread_start; ldr lr, =...; bx r3
bool starts_main_as_thread(const CodeWindow& code, std::size_t from) {
  for (std::size_t n = 0, at = from; n < kCrt0Insns; ++n, at += 4) {
    const auto insn = code.word(at);
    if (!insn) return false;
    if (*insn != arm::kBxR3) continue;
    if (at < 16) return false;
    Cursor c(code, at - 16);
    c.is(0xE24D2B01).is(0xE3C22007).literal(3).literal(arm::kLr);
    return c.ok();
  }
  return false;
}

// devkitPro until __libnds_mpu_setup: the CP15 control register gets
// 0x2078 through r1 (TCMs and protection unit off) right after IME = 0 and
// one more write: the first crt0 sets IME with add/strh and gives the ARM9
// its IWRAM (strb r1, [r0, #0x3F] to 0x04000247); its successors set IME
// with str and power the 2D engines (0x8203 to 0x04000304).
bool inline_mpu_arm9(const CodeWindow& code) {
  Cursor first(code, 0);
  first.is(kMovR0Io).is(0xE2800F82).is(0xE1C000B0).is(mov_imm(1, 0)).is(0xE5C0103F);
  Cursor later(code, 0);
  std::uint32_t power = 0;
  later.is(kMovR0Io).is(kStrR0Ime).literal(1, &power).is(0xE2800FC1).is(0xE1C010B0);
  const bool opens = first.ok() || (later.ok() && power == 0x8203);
  Cursor c(code, first.ok() ? first.at() : later.at());
  std::uint32_t control = 0;
  c.literal(1, &control).is(0xEE011F10);  // mcr p15, 0, r1, c1, c0, 0
  return opens && c.ok() && control == 0x2078;
}

}  // namespace

std::optional<Arm7Identity> libnds_arm7(const CodeWindow& code) {
  Cursor c(code, 0);
  bool ime_by_r1 = false;
  if (!arm7_prologue(c, &ime_by_r1)) return std::nullopt;
  const bool handshake_copied = c.next_is(0xFFFFF000, 0xE28F1000);
  if (!handshake_copied && !c.next_is(0xFFFFF000, 0xE28F0000))
    return fixed_arm7(code, c, ime_by_r1);
  // BlocksDS's first crt0 copies itself without a handshake, r0 to IME.
  if (handshake_copied)
    handshake_copy(c);
  else if (ime_by_r1)
    return std::nullopt;
  relative_copy(c);
  if (!c.ok()) return std::nullopt;
  const Runtime runtime =
      calls_init_tls(code, c.at()) ? Runtime::blocksds : Runtime::libnds_or_blocksds;
  return placed(family(runtime), Arm7Placement::CopyDown);
}

std::optional<RuntimeCode> libnds_arm9(const CodeWindow& code) {
  if (inline_mpu_arm9(code)) return family(Runtime::libnds);
  // IME = 0; stacks the BIOS can use; __libnds_mpu_setup; the real stacks.
  Cursor c(code, 0);
  c.is(kMovR0Io).is(kStrR0Ime).is(mov_imm(0, 0x13)).is(arm::kMsrCpsrR0);
  c.is(0xE3A01403).is(0xE2411A01).is(0xE1A0D001);  // sp = 0x03000000 - 0x1000
  c.is(mov_imm(0, 0x1F)).is(arm::kMsrCpsrR0).is(0xE2411C01).is(0xE1A0D001);
  c.literal(3).is(kBlxR3);
  stacks(c);
  if (!c.ok()) return std::nullopt;
  // The handshake reads SCFG_A9ROM: mov r12, #0x4000000; ldrb r11, [r12, r12, lsr #12].
  if (c.next_is(0xFFFFFFFF, 0xE3A0C301)) {
    c.is(0xE3A0C301).is(0xE7DCB62C);
    if (!c.ok()) return std::nullopt;
    return family(starts_main_as_thread(code, c.at()) ? Runtime::blocksds
                                                      : Runtime::libnds_or_blocksds);
  }
  // Before the handshake (devkitPro only): the ITCM copy follows at once.
  c.literal(1).literal(2).literal(4).bl();
  if (!c.ok()) return std::nullopt;
  return family(Runtime::libnds);
}

}  // namespace nds::crt0
