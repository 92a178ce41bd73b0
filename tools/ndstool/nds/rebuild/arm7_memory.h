// The memory a DS loads an ARM7 binary into, in physical terms, so that -c
// can tell whether an ARM7 fits where the header puts it (GBATEK, "DS
// Memory Maps" and "DS Main Memory Control"):
// - main RAM: 4 MiB at 0x02000000, seen again every 4 MiB up to 0x02FFFFFF
//   (the firmware itself leaves the header at 0x027FFE00, which is
//   0x023FFE00). A DSi in DSi mode has 16 MiB there, filling the window;
//   only a DSi-only image (unit code 3) can count on them.
// - ARM7 WRAM: the 32 KiB of shared WRAM that the ARM7 holds at boot, seen
//   at 0x037F8000, and its own 64 KiB right after it from 0x03800000: one
//   stretch up to 0x03810000.
// Nothing else counts. The other mirrors of WRAM repeat every 32 or 64 KiB,
// so a binary there is not in one piece with the memory after it; VRAM is
// the ARM7's only when a running program maps it; elsewhere there is no RAM.
// An address there has no memory an ARM7 can be loaded into.
#pragma once

#include <cstdint>
#include <optional>

namespace nds {

struct MemoryArea {
  const char* name;
  std::uint32_t start;
  std::uint32_t end;  // exclusive
  bool main_ram;
};

// An address as the memory sees it: its area, and the address folded into
// that area's first copy.
struct LoadPlace {
  MemoryArea area;
  std::uint32_t address = 0;
  // Bytes from the address up to the area's end.
  std::uint64_t room() const { return area.end - address; }
};

// None: no memory an ARM7 can be loaded into lies at the address.
std::optional<LoadPlace> load_place(std::uint32_t address, bool dsi_only);

}  // namespace nds
