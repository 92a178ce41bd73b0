#include "property_check.h"

#include <map>
#include <sstream>

#include "cli/command_line.h"
#include "nds_image_builder.h"
#include "swap_check.h"
#include "test_env.h"

namespace voderer::testgen {

namespace {

using Bytes = std::vector<std::uint8_t>;
using Tree = std::map<std::string, Bytes>;

// ndstool in-process; "" when it succeeded, else its message.
std::string ndstool(const char* mode, const fs::path& rom, const fs::path& parts,
                    const fs::path& arm7) {
  std::vector<std::string> args = {mode, utf8(rom)};
  const std::pair<const char*, const char*> kParts[] = {
      {"-9", "arm9.bin"}, {"-7", "arm7.bin"}, {"-y9", "y9.bin"},    {"-y7", "y7.bin"},
      {"-d", "data"},     {"-y", "overlay"},  {"-t", "banner.bin"}, {"-h", "header.bin"}};
  for (const auto& [option, name] : kParts) {
    args.push_back(option);
    args.push_back(utf8(std::string(option) == "-7" && !arm7.empty() ? arm7 : parts / name));
  }
  std::vector<nds::cli::CliArg> cli;
  cli.reserve(args.size());
  for (const std::string& a : args) cli.push_back({a, fs::path(std::u8string(a.begin(), a.end()))});
  std::ostringstream out, err;
  const int status = nds::cli::report(nds::cli::run_command_line(cli, out), err);
  if (status != 0) return mode + (": " + err.str());
  return err.str().empty() ? "" : mode + (": said " + err.str());
}

std::string unpack(const fs::path& rom, const fs::path& parts, Tree& tree) {
  fs::remove_all(parts);
  fs::create_directories(parts);
  std::string why = ndstool("-x", rom, parts, {});
  if (why.empty()) tree = read_tree(parts);
  return why;
}

// What stays the same whatever the ARM7: all but the ARM7 and the header part
// with the layout files beside it.
Tree arm7_independent(Tree t) {
  for (const char* name : {"arm7.bin", "header.bin", "header.bin.layout", "header.bin.extra"})
    t.erase(name);
  return t;
}

std::string differences(const Tree& a, const Tree& b) {
  std::string s;
  for (const auto& [rel, bytes] : a) {
    auto it = b.find(rel);
    if (it == b.end())
      s += " only-first:" + rel;
    else if (it->second != bytes)
      s += " differs:" + rel;
  }
  for (const auto& [rel, bytes] : b)
    if (!a.contains(rel)) s += " only-second:" + rel;
  return s;
}

void check_swap_with(const Bytes& image, const Bytes& arm7, bool must_move, const Tree& parts,
                     const fs::path& work, std::vector<std::string>& faults) {
  std::string what = "ARM7 of " + std::to_string(arm7.size()) + " bytes: ";
  fs::path rom = work / "swap.nds", bin = work / "new-arm7.bin";
  write_bytes(rom, image);
  write_bytes(bin, arm7);
  Tree first, again;
  std::string why = unpack(rom, work / "s1", first);
  if (why.empty()) why = ndstool("-c", rom, work / "s1", bin);
  if (!why.empty()) return faults.push_back(what + why);
  Bytes out = read_bytes(rom);
  SwapVerdict v = check_swap(image, out, arm7);
  for (const std::string& f : v.faults) faults.push_back(what + f);
  if (v.moved != must_move)
    faults.push_back(what + (must_move ? "nothing moved" : "items moved") + " (room up to " +
                     std::to_string(v.next_item) + ")");
  why = unpack(rom, work / "s2", again);
  if (!why.empty()) return faults.push_back(what + "the result: " + why);
  if (again["arm7.bin"] != arm7) faults.push_back(what + "re-extracted arm7.bin differs");
  std::string d = differences(arm7_independent(parts), arm7_independent(again));
  if (!d.empty()) faults.push_back(what + "parts changed:" + d);
}

}  // namespace

std::vector<std::string> check_image_property(const Bytes& image, const fs::path& work) {
  std::vector<std::string> faults;
  fs::create_directories(work);
  fs::path rom = work / "rom.nds";
  write_bytes(rom, image);
  Tree first, second;
  std::string why = unpack(rom, work / "p1", first);
  if (!why.empty()) return {"refused: " + why};
  why = ndstool("-c", rom, work / "p1", {});
  if (!why.empty()) return {"rebuild failed: " + why};
  if (read_bytes(rom) != image) faults.push_back("the rebuilt image differs");
  why = unpack(rom, work / "p2", second);
  if (!why.empty()) return {"the rebuilt image is refused: " + why};
  std::string d = differences(first, second);
  if (!d.empty()) faults.push_back("unpacked again, the parts differ:" + d);

  const std::uint32_t arm7_at =
      static_cast<std::uint32_t>(image[0x30] | image[0x31] << 8 | image[0x32] << 16) |
      static_cast<std::uint32_t>(image[0x33]) << 24;
  const std::uint32_t room = next_item_after_arm7(image) - arm7_at;
  const std::size_t old_size = first["arm7.bin"].size();
  check_swap_with(image, arm7_block(room, (room + 0x234) & ~3U), true, first, work, faults);
  check_swap_with(image, arm7_block(old_size, std::max<std::size_t>(4, old_size / 2 & ~3U)), false,
                  first, work, faults);
  return faults;
}

}  // namespace voderer::testgen
