#include "nds/binaries/elf.h"

#include <algorithm>
#include <array>
#include <span>

#include "nds/io/byte_io.h"
#include "nds/io/error.h"

namespace nds {

namespace {

constexpr std::size_t kElfHeader = 52;  // ELF32
constexpr std::size_t kProgramHeader = 32;
// Real ARM7 ELFs have three to six; a table of thousands is a hostile one.
constexpr std::uint16_t kProgramHeadersMax = 64;
constexpr std::uint32_t kPtLoad = 1;
constexpr std::uint32_t kDsiFlag = 0x100000;  // set by the DSi link scripts for ndstool
// The largest main RAM (a debugger's) bounds what one binary can fill.
constexpr std::uint64_t kLayoutMax = 16u << 20;

struct Segment {
  std::uint32_t offset = 0;
  std::uint32_t paddr = 0;
  std::uint32_t filesz = 0;
};

struct Segments {
  std::vector<Segment> ds, dsi;
};

[[noreturn]] void bad(const std::string& label, const std::string& what) {
  fail(ErrorKind::BadPart, label + ": " + what);
}

struct ElfHeader {
  std::uint32_t entry = 0;
  std::uint32_t phoff = 0;
  std::uint16_t phnum = 0;
};

ElfHeader read_header(const ByteSource& elf, const std::string& label) {
  if (elf.size() < kElfHeader)
    bad(label, "too short for an ELF header (" + std::to_string(elf.size()) + " bytes)");
  std::array<std::uint8_t, kElfHeader> h{};
  elf.read_at(0, h);
  if (!looks_like_elf(elf)) bad(label, "not an ELF file");
  if (h[4] != 1) bad(label, "not a 32-bit ELF file");
  if (h[5] != 1) bad(label, "not a little-endian ELF file");
  if (get16(h, 16) != 2) bad(label, "not an executable ELF file (type " + hex(get16(h, 16)) + ")");
  if (get16(h, 18) != 40) bad(label, "not an ARM ELF file (machine " + hex(get16(h, 18)) + ")");
  if (get16(h, 42) != kProgramHeader)
    bad(label, "program headers of " + std::to_string(get16(h, 42)) + " bytes, not 32");
  const ElfHeader header{get32(h, 24), get32(h, 28), get16(h, 44)};
  if (header.phnum == 0) bad(label, "no program headers");
  if (header.phnum > kProgramHeadersMax)
    bad(label, std::to_string(header.phnum) + " program headers, more than " +
                   std::to_string(kProgramHeadersMax));
  const std::uint64_t table = std::uint64_t{header.phnum} * kProgramHeader;
  if (header.phoff > elf.size() || table > elf.size() - header.phoff)
    bad(label, "its program header table (" + hex(table) + " bytes at " + hex(header.phoff) +
                   ") lies beyond the end of the file");
  return header;
}

// The loadable segments that carry file bytes, checked against the file.
Segments read_segments(const ByteSource& elf, const ElfHeader& header, const std::string& label) {
  std::vector<std::uint8_t> table(std::size_t{header.phnum} * kProgramHeader);
  elf.read_at(header.phoff, table);
  Segments segments;
  for (std::size_t i = 0; i < header.phnum; ++i) {
    const std::span<const std::uint8_t> ph = std::span(table).subspan(i * kProgramHeader);
    if (get32(ph, 0) != kPtLoad) continue;
    const Segment s{get32(ph, 4), get32(ph, 12), get32(ph, 16)};
    const std::uint32_t memsz = get32(ph, 20);
    const std::string which = "segment " + std::to_string(i) + ": ";
    if (s.filesz > memsz)
      bad(label,
          which + "more file bytes (" + hex(s.filesz) + ") than memory (" + hex(memsz) + ")");
    if (s.filesz == 0) continue;  // bss only: nothing goes into the image
    if (s.offset > elf.size() || s.filesz > elf.size() - s.offset)
      bad(label, which + "its bytes (" + hex(s.filesz) + " at " + hex(s.offset) +
                     ") lie beyond the end of the file");
    if (std::uint64_t{s.paddr} + s.filesz > 0x100000000ull)
      bad(label, which + "its addresses (" + hex(s.filesz) + " bytes at " + hex(s.paddr) +
                     ") run past 4 GiB");
    (get32(ph, 24) & kDsiFlag ? segments.dsi : segments.ds).push_back(s);
  }
  return segments;
}

// The segments' bytes, each at its physical address less the lowest one.
void lay_out(const ByteSource& elf, std::vector<Segment> segments, const std::string& what,
             const std::string& label, std::uint32_t* load, std::vector<std::uint8_t>* bytes) {
  std::sort(segments.begin(), segments.end(),
            [](const Segment& a, const Segment& b) { return a.paddr < b.paddr; });
  for (std::size_t i = 1; i < segments.size(); ++i) {
    const Segment& before = segments[i - 1];
    if (segments[i].paddr < std::uint64_t{before.paddr} + before.filesz)
      bad(label, what + " segments overlap at " + hex(segments[i].paddr));
  }
  *load = segments.front().paddr;
  const std::uint64_t span = std::uint64_t{segments.back().paddr} + segments.back().filesz - *load;
  if (span > kLayoutMax)
    bad(label, what + " segments span " + hex(span) + " bytes, more than 16 MiB");
  bytes->assign(static_cast<std::size_t>(span), 0);
  for (const Segment& s : segments)
    elf.read_at(s.offset, std::span(*bytes).subspan(s.paddr - *load, s.filesz));
}

}  // namespace

bool looks_like_elf(const ByteSource& file) {
  std::array<std::uint8_t, 4> magic{};
  if (file.size() < magic.size()) return false;
  file.read_at(0, magic);
  return magic == std::array<std::uint8_t, 4>{0x7F, 'E', 'L', 'F'};
}

ElfProgram read_elf(const ByteSource& elf, const std::string& label) {
  const ElfHeader header = read_header(elf, label);
  const Segments segments = read_segments(elf, header, label);
  if (segments.ds.empty()) bad(label, "no DS segment with bytes to load");
  ElfProgram program;
  program.entry = header.entry;
  lay_out(elf, segments.ds, "its DS", label, &program.ds_load, &program.ds);
  if (!segments.dsi.empty()) {
    program.has_dsi = true;
    lay_out(elf, segments.dsi, "its DSi", label, &program.dsi_load, &program.dsi);
  }
  return program;
}

}  // namespace nds
