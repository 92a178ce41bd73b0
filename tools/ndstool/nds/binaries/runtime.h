// What built an ARM binary, and where an ARM7 must be loaded, read from its
// start-up code (crt0) the way the CPU would run it. Only a few KiB at the
// start of a binary are read, plus the small tables the crt0 points at.
//
// An address is given only when a known crt0 says it for certain: a wrong
// load address boots nothing, a missing one leaves the caller to decide.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "nds/io/byte_source.h"
#include "result_file/result_file.h"

namespace nds {

// The runtimes are the result line's codes: -c reports them as found.
using result_file::Runtime;
using result_file::RuntimeCode;

// CopyDown: built to be loaded in main RAM anywhere; it copies itself into
// ARM7 WRAM. Fixed: it runs where it was linked and must be loaded there.
enum class Arm7Placement { Unknown, CopyDown, Fixed };

struct Arm7Identity {
  RuntimeCode runtime;
  Arm7Placement placement = Arm7Placement::Unknown;
  // Only when certain: the address of the binary's first byte, and its entry.
  std::optional<std::uint32_t> load_address;
  std::optional<std::uint32_t> entry;
  // An SDK ARM7 whose module parameters were found: its version (0 before
  // SDK 5, which records none) and whether it has a DSi block are known.
  // Without them only its start code names the SDK.
  bool sdk_params = false;
  // An SDK ARM7 whose parameters carry the DSi block (0xDEC01463).
  bool sdk_dsi_block = false;
  // SDK only, when decoded: the target of the branch that ends the ARM7's
  // autoload routine, which the header's ARM7 autoload hook (0x74) must name.
  std::optional<std::uint32_t> autoload_hook;
};

// A raw ARM7 binary, as it goes into an image.
Arm7Identity identify_arm7(const ByteSource& arm7);

// The image's ARM9 as stored: its RAM address and the header's ARM9 entry;
// footer: the 12 bytes that follow the ARM9 in the ROM when the caller has
// them (empty otherwise); autoload_hook: the header's ARM9 autoload hook
// (0x70), 0 when not known. The crt0 is read at the entry; the SDK's module
// parameters through the crt0's pointer, else the footer, else the word
// before the hook, trusted only when their two Nitro codes are in place.
// An SDK crt0 without a version found is the SDK with version 0.
RuntimeCode identify_arm9(const ByteSource& arm9, std::uint32_t ram_address, std::uint32_t entry,
                          std::span<const std::uint8_t> footer = {},
                          std::uint32_t autoload_hook = 0);

// Whether the start code reached from entry (the binary loaded at
// load_address), following its bl calls a bounded number of instructions
// deep, is an ARM9's: it programs CP15 (mcr/mrc p15), which the ARM7 lacks,
// or is a crt0 kind known to be an ARM9's. Never scans the file.
bool starts_like_arm9(const ByteSource& binary, std::uint32_t load_address, std::uint32_t entry);

// "BlocksDS", "Nintendo SDK 4.2.30001", "Nintendo SDK (no version
// recorded)", for -v messages. The text stays valid until the next call on
// the same thread.
const char* runtime_label(const RuntimeCode& id);

}  // namespace nds
