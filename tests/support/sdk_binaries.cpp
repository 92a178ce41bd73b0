#include "sdk_binaries.h"

#include <cstddef>
#include <stdexcept>
#include <utility>

namespace voderer::testgen {

namespace {

void put(Bytes& b, std::size_t at, std::uint32_t w) {
  if (at + 4 > b.size()) throw std::logic_error("word outside the binary");
  for (int i = 0; i < 4; ++i)
    b[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(w >> (8 * i));
}

// Instructions placed at byte offsets of one binary.
class Code {
 public:
  Code(Bytes& b, std::size_t at) : b_(b), at_(at) {}
  std::size_t at() const { return at_; }
  Code& op(std::uint32_t insn) {
    put(b_, at_, insn);
    at_ += 4;
    return *this;
  }
  // ldr rd, [pc, #+imm] from a pool word at pool.
  Code& ldr(unsigned rd, std::size_t pool) {
    return op(0xE59F0000 | (rd << 12) | static_cast<std::uint32_t>(pool - at_ - 8));
  }
  // b, bl or a conditional branch (prefix 0xEA, 0xEB, 0x0A, ...) to target.
  Code& branch(std::uint32_t prefix, std::size_t target) {
    const auto words = static_cast<std::uint32_t>(
        (static_cast<std::int64_t>(target) - static_cast<std::int64_t>(at_) - 8) / 4);
    return op((prefix << 24) | (words & 0xFFFFFF));
  }

 private:
  Bytes& b_;
  std::size_t at_;
};

constexpr std::uint32_t kNitroBe = 0xDEC00621, kNitroLe = 0x2106C0DE;

// do_autoload at at, as before SDK 5: the list walk (copy, then clear the
// bss), left by beq to b hook; the pool holds pool_word (the parameters'
// address in the SDK's ARM7s). Returns the hook's offset.
std::size_t do_autoload(Bytes& b, std::size_t at, std::uint32_t pool_word) {
  const std::size_t exit = at + 0x40, pool = exit + 4, hook = pool + 4;
  Code c(b, at);
  c.ldr(0, pool).op(0xE5901000).op(0xE5902004).op(0xE5903008);  // list, end, data
  const std::size_t loop = c.at();
  c.op(0xE1510002).branch(0x0A, exit);             // cmp r1, r2; beq exit
  c.op(0xE4914004).op(0xE4915004).op(0xE0846005);  // ldr r4/r5; add r6
  c.op(0xE1540006).op(0x44937004).op(0x44847004).branch(0x4A, c.at() - 12);
  c.op(0xE4915004).op(0xE0846005).branch(0xEA, loop);
  while (c.at() < exit) c.op(0xE1A00000);
  c.branch(0xEA, hook);
  put(b, pool, pool_word);
  put(b, hook, 0xE12FFF1E);  // _start_AutoloadDoneCallback: bx lr
  return hook;
}

// SDK 5's ARM7 autoload routine: 16-byte entries walked with ip, left by
// bge, ending in ldm sp!, {lr}; b hook, the hook behind another routine.
std::size_t sdk5_autoload(Bytes& b, std::size_t at, std::uint32_t params) {
  Code c(b, at);
  const std::size_t pool = at + 0x38, other = pool + 4, hook = other + 8;
  c.op(0xE92D4000).ldr(0, pool).op(0xE590C000).op(0xE5903004).op(0xE5901008);
  const std::size_t loop = c.at();
  c.op(0xE15C0003).branch(0xAA, loop + 0x1C);      // cmp ip, r3; bge done
  c.op(0xE49C0004).op(0xE49C2004).op(0xE28CC008);  // address, size, the rest
  c.op(0xE0811002).branch(0xEA, loop);             // past the data; next
  c.op(0xE8BD4000).branch(0xEA, hook);             // done
  put(b, pool, params);
  put(b, other, 0xE3A00001);
  put(b, other + 4, 0xE12FFF1E);
  put(b, hook, 0xE12FFF1E);
  return hook;
}

void put_params(Bytes& b, std::size_t at, const std::vector<std::uint32_t>& words) {
  for (std::size_t i = 0; i < words.size(); ++i) put(b, at + i * 4, words[i]);
}

}  // namespace

SdkArm9 sdk_arm9(const SdkArm9Shape& shape) {
  SdkArm9 out;
  const std::uint32_t ram = out.ram_address;
  Bytes& b = out.binary;
  b.assign(0x1800, 0xA5);
  // The secure area once decrypted: 0xE7FFDEFF where 'encryObj' was, then
  // BIOS call stubs (swi; bx lr).
  put(b, 0, 0xE7FFDEFF);
  put(b, 4, 0xE7FFDEFF);
  for (std::size_t i = 0; i < 8; ++i) {
    put(b, 0x10 + i * 8, 0xEF000000 | static_cast<std::uint32_t>(i + 1) << 16);
    put(b, 0x14 + i * 8, 0xE12FFF1E);
  }
  const std::size_t crt0 = shape.crt0_at, params = 0x1000, pool = crt0 + 0x40;
  const std::size_t autoload = crt0 + 0x60, init_cp15 = crt0 + 0xC0;
  const std::uint32_t params_address = ram + static_cast<std::uint32_t>(params);
  Code c(b, crt0);
  c.op(0xE3A0C301).op(0xE58CC208);                         // IME = 0
  c.op(0xE1DC00B6).op(0xE3500000).branch(0x1A, crt0 + 8);  // wait for the ARM7
  c.branch(0xEB, init_cp15);
  c.ldr(1, pool).op(0xE5910014).branch(0xEB, autoload);  // uncompress, autoload
  if (shape.crt0_pointer) c.ldr(0, pool).op(0xE590100C).op(0xE5902010);
  c.ldr(1, pool + 4).op(0xE12FFF11);  // NitroMain
  put(b, pool, params_address);
  put(b, pool + 4, ram + 0x1200);
  const std::uint32_t before_hook = shape.hook_after_params ? params_address : 0x04000033;
  out.autoload_hook = ram + static_cast<std::uint32_t>(do_autoload(b, autoload, before_hook));
  Code cp15(b, init_cp15);
  cp15.op(0xEE110F10).ldr(1, init_cp15 + 0x14).op(0xE1C00001).op(0xEE010F10).op(0xE12FFF1E);
  put(b, init_cp15 + 0x14, 0x000F9005);
  put_params(b, params,
             {0x02100000, 0x02100018, 0x02000F00, 0x02100018, 0x02180000, 0, shape.version,
              shape.nitro_codes ? kNitroBe : 0, shape.nitro_codes ? kNitroLe : 0});
  out.entry = ram + shape.crt0_at;
  out.params_offset = static_cast<std::uint32_t>(params);
  out.footer.assign(12, 0);
  put(out.footer, 0, kNitroBe);
  put(out.footer, 4, out.params_offset);
  put(out.footer, 8, 0x1740);  // later SDKs: an offset of their own
  return out;
}

SdkArm7 sdk_arm7(const SdkArm7Shape& shape) {
  SdkArm7 out;
  out.load = shape.load;
  const std::uint32_t entry = shape.full ? 16 : 12;
  std::uint32_t data = 0;
  for (const Autoload& a : shape.autoloads) data += a.size;
  const std::uint32_t list = shape.statics + data;
  const auto size = list + entry * static_cast<std::uint32_t>(shape.autoloads.size());
  Bytes& b = out.binary;
  b.assign(size, 0x5A);
  const std::uint32_t load = shape.load, params = 0x100, pool = 0x30, autoload = 0x40;
  Code c(b, 0);
  c.op(0xE3A0C301).op(0xE58CC208).branch(0xEB, autoload);
  c.ldr(0, pool).op(0xE590100C).op(0xE5902010);  // the bss bounds
  c.op(0xE3A00000).ldr(1, pool + 4).op(0xE12FFF11);
  put(b, pool, load + params);
  put(b, pool + 4, load + 0x1000);
  const std::size_t hook = shape.full ? sdk5_autoload(b, autoload, load + params)
                                      : do_autoload(b, autoload, load + params);
  out.autoload_hook = load + static_cast<std::uint32_t>(hook);
  put_params(b, params,
             {load + list, load + size, load + shape.statics, load + shape.statics,
              load + shape.statics + 0x100});
  if (shape.full) put_params(b, params + 20, {0, shape.version, kNitroBe, kNitroLe});
  if (shape.dsi_block)
    put_params(b, params - 24, {0x02EC70D8, 0x02EC70F8, 0x02E80004, 0, 0xDEC01463, 0x6314C0DE});
  std::size_t at = list;
  for (const Autoload& a : shape.autoloads) {
    if (shape.full)
      put_params(b, at, {a.address, a.size, 0, a.bss});
    else
      put_params(b, at, {a.address, a.size, a.bss});
    at += entry;
  }
  return out;
}

Bytes devkitpro_inline_mpu_arm9(bool first) {
  Bytes b(0x400, 0x6B);
  Code c(b, 0);
  const std::size_t pool = 0x100;
  c.op(0xE3A00301);
  if (first)
    c.op(0xE2800F82).op(0xE1C000B0).op(0xE3A01000).op(0xE5C0103F);  // IME; ARM9 IWRAM
  else
    c.op(0xE5800208).ldr(1, pool + 4).op(0xE2800FC1).op(0xE1C010B0);  // IME; POWCNT1
  c.ldr(1, pool).op(0xEE011F10);  // control: TCMs and protection unit off
  c.op(0xE3A00000).op(0xEE070F15).op(0xEE070F16).op(0xEE070F9A);  // caches, write buffer
  c.ldr(0, pool + 8).op(0xEE090F11);                              // DTCM
  put(b, pool, 0x00002078);
  put(b, pool + 4, 0x00008203);
  put(b, pool + 8, first ? 0x0080000A : 0x0B00000A);
  return b;
}

}  // namespace voderer::testgen
