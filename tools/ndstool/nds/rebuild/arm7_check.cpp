#include "nds/rebuild/arm7_check.h"

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "nds/binaries/elf.h"
#include "nds/binaries/runtime.h"
#include "nds/io/byte_io.h"
#include "nds/io/error.h"
#include "nds/io/file_io.h"
#include "nds/rebuild/arm7_kind.h"
#include "nds/rebuild/arm7_memory.h"
#include "nds/rebuild/arm7_pairing.h"
#include "nds/rebuild/arm7_start.h"

namespace nds {

namespace {

using result_file::Refusal;

// libnds and BlocksDS link their copy-down ARM7s for this address.
constexpr std::uint32_t kCopyDownAddress = 0x02380000;
// A DSi-only image (unit code 3) runs in DSi mode alone.
constexpr std::uint8_t kDsiOnly = 0x03;
// Shared WRAM's mirrors run from here up to ARM7 WRAM, which starts with
// the 32 KiB of it the ARM7 holds at boot.
constexpr std::uint32_t kWramMirrors = 0x03000000;
constexpr std::uint32_t kArm7Wram = 0x037F8000;

void say(const Log& log, const std::string& line) {
  if (log) log(line);
}

// Whether n bytes of a from a_at equal those of b from b_at (both inside).
bool same_bytes(const ByteSource& a, std::uint64_t a_at, const ByteSource& b, std::uint64_t b_at,
                std::uint64_t n) {
  const auto chunk = static_cast<std::size_t>(std::min<std::uint64_t>(n, 1u << 16));
  std::vector<std::uint8_t> x(chunk), y(chunk);
  for (std::uint64_t done = 0; done < n;) {
    const auto k = static_cast<std::size_t>(std::min<std::uint64_t>(n - done, chunk));
    a.read_at(a_at + done, std::span<std::uint8_t>(x.data(), k));
    b.read_at(b_at + done, std::span<std::uint8_t>(y.data(), k));
    if (!std::equal(x.begin(), x.begin() + static_cast<std::ptrdiff_t>(k), y.begin())) return false;
    done += k;
  }
  return true;
}

// A plain round trip: arm7.bin holds the very bytes of the image's ARM7.
// The image is only read; one that cannot be read counts as other bytes.
bool is_images_own_arm7(const PartPath& rom, const HeaderView& header, const ByteSource& arm7) {
  const ItemRange range = header.arm7();
  if (arm7.size() != range.size) return false;
  try {
    const InFile image(rom.path, rom.label);
    if (range.offset > image.size() || range.size > image.size() - range.offset) return false;
    return same_bytes(arm7, 0, image, range.offset, range.size);
  } catch (const Error&) {
    return false;
  }
}

// The image's own ARM9, as its part holds it or without the SDK's footer.
bool is_own_arm9(const ByteSource& arm7, const PartPath& arm9_part, const HeaderView& header) {
  const InFile arm9(arm9_part.path, arm9_part.label);
  const std::uint64_t n = arm7.size();
  if ((n != arm9.size() && n != header.arm9().size) || n > arm9.size()) return false;
  return same_bytes(arm7, 0, arm9, 0, n);
}

void refuse_what_is_no_arm7(const ByteSource& arm7, const std::string& label, const Parts& parts,
                            const HeaderView& header) {
  if (is_own_arm9(arm7, parts.arm9, header))
    refuse_arm7(Refusal::own_arm9, label + " is this image's own ARM9 binary, not an ARM7 binary");
  refuse_other_kinds(arm7, label);
}

// An ELF's DS segments become the ARM7 binary, its DSi segments the ARM7i
// where the image has one of its own. Returns where the ELF loads and
// enters the binary.
ArmLoad take_elf(const ByteSource& file, const std::string& label, Inputs& inputs,
                 Arm7Decision& decision, const Log& log) {
  ElfProgram elf;
  try {
    elf = read_elf(file, label);
  } catch (const Error& e) {
    if (e.kind() != ErrorKind::BadPart) throw;
    std::string why = e.what();
    if (why.rfind(label + ": ", 0) == 0) why.erase(0, label.size() + 2);
    refuse_arm7(Refusal::bad_elf, label + " is an ELF file that cannot be taken: " + why);
  }
  if (elf.ds.empty())
    refuse_arm7(Refusal::bad_elf, label + " is an ELF file without DS segments to load");
  say(log, label + ": an ELF file; its DS segments make an ARM7 binary of " + hex(elf.ds.size()) +
               " bytes loaded at " + hex(elf.ds_load) + ", entered at " + hex(elf.entry));
  inputs.arm7_size = elf.ds.size();
  inputs.arm7_bytes = std::make_shared<const std::vector<std::uint8_t>>(std::move(elf.ds));
  decision.check.elf = true;
  decision.elf_dsi = elf.has_dsi && !elf.dsi.empty();
  const HeaderView header(inputs.header);
  const ItemRange arm7i = header.arm7i();
  if (decision.elf_dsi && arm7i.size != 0 && !(arm7i == header.arm7())) {
    decision.arm7i_ram_address = elf.dsi_load;
    inputs.arm7i_bytes = std::make_shared<const std::vector<std::uint8_t>>(std::move(elf.dsi));
  }
  return {elf.ds_load, elf.entry};
}

void tell_runtimes(const RuntimeCode& arm7, const RuntimeCode& arm9, const Pairing& pairing,
                   const Log& log) {
  if (!log) return;
  log(std::string("the new ARM7 binary: built with ") + runtime_label(arm7));
  log(std::string("the image's ARM9 binary: built with ") + runtime_label(arm9));
  if (result_file::runtimes_differ(arm7, arm9))
    log("the two halves were built with different runtimes: such pairs often do not start");
  if (const std::string sentence = pairing_sentence(pairing); !sentence.empty()) log(sentence);
}

struct LoadChoice {
  ArmLoad load;
  std::string why;
};

// Where the header loads the new ARM7: where the binary says it must be,
// when that is certain; the header's own address otherwise.
LoadChoice choose_load(const HeaderView& header, const Arm7Identity& id,
                       const std::optional<ArmLoad>& elf) {
  const ArmLoad now = header.arm7_load();
  if (elf) return {*elf, "the ELF file gives its load address and entry"};
  if (id.placement == Arm7Placement::Fixed && id.load_address) {
    if (*id.load_address == now.ram_address)
      return {now, "it is linked to run at the header's address"};
    return {{*id.load_address, id.entry.value_or(*id.load_address)},
            "it is linked to run at " + hex(*id.load_address)};
  }
  if (id.placement == Arm7Placement::CopyDown) {
    const auto place = load_place(now.ram_address, header.unit_code() == kDsiOnly);
    if (!place || !place->area.main_ram)
      return {{kCopyDownAddress, kCopyDownAddress},
              "it copies itself into ARM7 WRAM, so it is loaded in main RAM, at the address such "
              "binaries are built for"};
    return {now, "it copies itself into ARM7 WRAM from wherever in main RAM it is loaded"};
  }
  return {now, "its start code does not say where it must be loaded"};
}

// The value the header's ARM7 autoload hook (0x74) takes, where it
// changes. The hook names the end of the ARM7's autoload routine, which
// loaders read to find their way into the binary: an SDK ARM7's own, where
// it can be decoded; 0 for runtimes whose images carry 0, and for an SDK
// ARM7 whose hook cannot be decoded, as the old one would point into the
// new binary's code. A binary of unknown make keeps it.
std::optional<std::uint32_t> hook_for(const Arm7Identity& id, const Log& log) {
  switch (id.runtime.runtime) {
    case Runtime::unknown: return std::nullopt;
    case Runtime::sdk:
      if (id.autoload_hook) return id.autoload_hook;
      say(log,
          "the end of the new ARM7's autoload routine could not be found: the header's ARM7 "
          "autoload hook (0x74) is set to 0, since the old one would point into the new binary");
      return 0;
    case Runtime::calico:
    case Runtime::libnds:
    case Runtime::blocksds:
    case Runtime::libnds_or_blocksds: break;
  }
  return 0;
}

// At the address the header ends with: inside one memory, and clear of
// the ARM9 there. Loaded below ARM7 WRAM from 0x03000000 on, the bytes go
// to mirrors of the shared WRAM (the ARM7's at boot), each overwritten by
// those that follow, so that only those from 0x037F8000 up survive: the
// binary must then be entered there.
void check_memory(std::uint64_t size, const ArmLoad& load, const HeaderView& header,
                  const result_file::Arm7Check& check, const std::string& label, const Log& log) {
  const bool dsi_only = header.unit_code() == kDsiOnly;
  std::uint32_t address = load.ram_address;
  if (address >= kWramMirrors && address < kArm7Wram && load.entry >= kArm7Wram &&
      size > kArm7Wram - address) {
    say(log, label + " is loaded at " + hex(address) + ", below ARM7 WRAM: only its last " +
                 hex(size - (kArm7Wram - address)) + " bytes, from " + hex(kArm7Wram) +
                 " up, stay in memory");
    size -= kArm7Wram - address;
    address = kArm7Wram;
  }
  const std::optional<LoadPlace> place = load_place(address, dsi_only);
  if (!place)
    refuse_arm7(Refusal::too_large,
                label + " cannot be loaded at " + hex(address) +
                    ": no memory an ARM7 binary can be loaded into lies there",
                check);
  if (size > place->room())
    refuse_arm7(Refusal::too_large,
                label + " (" + hex(size) + " bytes at " + hex(address) +
                    ") is larger than the memory at its load address holds: " + hex(place->room()) +
                    " bytes of " + place->area.name,
                check);
  const ArmLoad arm9 = header.arm9_load();
  const std::optional<LoadPlace> arm9_place = load_place(arm9.ram_address, dsi_only);
  if (!arm9_place || arm9_place->area.start != place->area.start) return;
  const std::uint64_t a = place->address, b = arm9_place->address, arm9_size = header.arm9().size;
  if (a < b + arm9_size && b < a + size)
    refuse_arm7(Refusal::overlaps_arm9,
                label + " would lie over the image's ARM9 binary in " + place->area.name +
                    ": the ARM7 at " + hex(address) + "-" + hex(address + size) + ", the ARM9 at " +
                    hex(arm9.ram_address) + "-" + hex(arm9.ram_address + arm9_size),
                check);
}

// The image's ARM9 as its part holds it: with the 12 bytes that follow it
// in the image (the SDK's footer, when it has one) and the header's ARM9
// autoload hook, both ways to the SDK's module parameters.
RuntimeCode identify_images_arm9(const PartPath& part, const HeaderView& header) {
  const InFile arm9(part.path, part.label);
  const std::uint64_t size = header.arm9().size;
  std::vector<std::uint8_t> footer;
  if (size <= arm9.size() && arm9.size() - size >= kArm9FooterSize)
    footer = arm9.read_vector(size, kArm9FooterSize);
  return identify_arm9(arm9, header.arm9_load().ram_address, header.arm9_load().entry, footer,
                       header.arm9_autoload_hook());
}

// Where the header now loads and enters the ARM7, and whether it moved.
void settle_header(const HeaderView& header, const LoadChoice& choice, Arm7Decision& decision,
                   const Log& log) {
  const ArmLoad now = header.arm7_load();
  if (choice.load.ram_address != now.ram_address || choice.load.entry != now.entry)
    decision.load = choice.load;
  if (choice.load.ram_address != now.ram_address) {
    decision.check.moved = true;
    decision.check.from = now.ram_address;
    decision.check.to = choice.load.ram_address;
  }
  say(log, std::string("ARM7 RAM address ") +
               (decision.check.moved
                    ? "moved from " + hex(now.ram_address) + " to " + hex(choice.load.ram_address)
                    : hex(now.ram_address) + " kept") +
               ": " + choice.why);
}

}  // namespace

Arm7Decision check_arm7(const PartPath& rom, const Parts& parts, Inputs& inputs, const Log& log) {
  const HeaderView header(inputs.header);
  const std::string& label = parts.arm7.label;
  const InFile file(parts.arm7.path, label);
  Arm7Decision decision;
  // Before anything is parsed: the image's own ARM7, whatever it holds.
  decision.unchanged = is_images_own_arm7(rom, header, file);
  std::optional<ArmLoad> elf_load;
  std::optional<MemorySource> converted;
  if (!decision.unchanged && looks_like_elf(file)) {
    elf_load = take_elf(file, label, inputs, decision, log);
    converted.emplace(*inputs.arm7_bytes);
  } else if (!decision.unchanged) {
    refuse_what_is_no_arm7(file, label, parts, header);
  }
  const ByteSource& binary = converted ? static_cast<const ByteSource&>(*converted) : file;
  const Arm7Identity identity = identify_arm7(binary);
  const RuntimeCode arm9_runtime = identify_images_arm9(parts.arm9, header);
  const Pairing pairing = judge_pairing(identity, arm9_runtime, header.unit_code());
  decision.check.arm7 = identity.runtime;
  decision.check.arm9 = arm9_runtime;
  decision.check.sdk = pairing.sdk;
  decision.check.dsi_block = pairing.dsi_block;
  tell_runtimes(identity.runtime, arm9_runtime, pairing, log);
  if (decision.unchanged) {
    say(log, label + " is the image's own ARM7 binary: taken as it is");
    return decision;
  }
  const LoadChoice choice = choose_load(header, identity, elf_load);
  settle_header(header, choice, decision, log);
  refuse_unless_arm7_start(binary, choice.load, label, decision.check);
  check_memory(binary.size(), choice.load, header, decision.check, label, log);
  decision.autoload_hook = hook_for(identity, log);
  return decision;
}

}  // namespace nds
