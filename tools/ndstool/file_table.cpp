#include "file_table.h"

#include <algorithm>
#include <deque>
#include <map>
#include <set>

#include "byte_io.h"
#include "disk_names.h"
#include "error.h"
#include "names.h"

namespace nds {

namespace fs = std::filesystem;

namespace {

std::string u8(const fs::path& p) {
  auto s = p.u8string();
  return std::string(s.begin(), s.end());
}

}  // namespace

fs::path rel_to_path(const std::string& rel) {
  return fs::path(std::u8string(reinterpret_cast<const char8_t*>(rel.data()), rel.size()));
}

std::vector<FatEntry> parse_fat(std::span<const std::uint8_t> fat, std::uint64_t image_size) {
  if (fat.size() % 8 != 0)
    fail("FAT size " + hex(static_cast<std::uint32_t>(fat.size())) + " is not a multiple of 8");
  if (fat.size() / 8 > kMaxFiles)
    fail("FAT has more than " + std::to_string(kMaxFiles) + " entries");
  std::vector<FatEntry> out(fat.size() / 8);
  for (std::size_t i = 0; i < out.size(); ++i) {
    out[i] = {get32(fat, i * 8), get32(fat, i * 8 + 4)};
    if (out[i].start > out[i].end)
      fail("FAT entry " + std::to_string(i) + " ends before it starts");
    if (out[i].end > image_size)
      fail("FAT entry " + std::to_string(i) + " lies beyond the end of the image");
  }
  return out;
}

std::vector<std::uint8_t> fat_bytes(std::span<const FatEntry> fat) {
  std::vector<std::uint8_t> out(fat.size() * 8);
  for (std::size_t i = 0; i < fat.size(); ++i) {
    put32(out, i * 8, fat[i].start);
    put32(out, i * 8 + 4, fat[i].end);
  }
  return out;
}

FileTree parse_fnt(std::span<const std::uint8_t> fnt, std::uint32_t file_count) {
  if (fnt.size() < 8) fail("FNT is smaller than its root entry");
  std::uint32_t ndirs = get16(fnt, 6);
  if (ndirs == 0 || ndirs > kMaxDirs || std::uint64_t{ndirs} * 8 > fnt.size())
    fail("FNT directory count " + std::to_string(ndirs) + " does not fit the FNT");

  FileTree tree;
  std::vector<bool> seen_dir(ndirs, false);
  std::vector<bool> seen_file(file_count, false);
  struct Pending {
    std::uint32_t index;
    std::string path;
  };
  std::deque<Pending> queue{{0, ""}};
  seen_dir[0] = true;
  while (!queue.empty()) {
    Pending dir = std::move(queue.front());
    queue.pop_front();
    std::string where = "FNT directory " + hex(kRootDir + dir.index);
    std::size_t pos = get32(fnt, dir.index * 8);
    std::uint32_t next_id = get16(fnt, dir.index * 8 + 4);
    if (pos >= fnt.size()) fail(where + ": sub-table offset beyond the FNT");
    DirNames names;
    for (;;) {
      if (pos >= fnt.size()) fail(where + ": sub-table not terminated within the FNT");
      std::uint8_t type = fnt[pos++];
      if (type == 0) break;
      std::size_t len = type & 0x7F;
      bool is_dir = type & 0x80;
      if (len == 0) fail(where + ": entry with an empty name");
      if (pos + len + (is_dir ? 2 : 0) > fnt.size())
        fail(where + ": sub-table not terminated within the FNT");
      std::span<const std::uint8_t> raw = fnt.subspan(pos, len);
      pos += len;
      std::string problem = name_problem(raw);
      if (!problem.empty())
        fail(where + ": refused name \"" + disk_name(raw, Escape::Plain) + "\": " + problem);
      std::string name = names.add(raw);
      if (name.empty())
        fail(where + ": name \"" + disk_name(raw, Escape::Plain) +
             "\": no file name of at most 255 bytes keeps it apart from the others");
      std::string path = dir.path.empty() ? name : dir.path + "/" + name;
      if (is_dir) {
        std::uint32_t id = get16(fnt, pos);
        pos += 2;
        if (id <= kRootDir || id - kRootDir >= ndirs)
          fail(where + ": sub-directory ID " + hex(id) + " out of range");
        if (seen_dir[id - kRootDir]) fail(where + ": directory " + hex(id) + " is reached twice");
        seen_dir[id - kRootDir] = true;
        tree.dirs.push_back(path);
        queue.push_back({id - kRootDir, std::move(path)});
      } else {
        std::uint32_t id = next_id++;
        if (id >= file_count) fail(where + ": file ID " + std::to_string(id) + " beyond the FAT");
        if (seen_file[id]) fail(where + ": file ID " + std::to_string(id) + " is named twice");
        seen_file[id] = true;
        tree.files.push_back({static_cast<std::uint16_t>(id), std::move(path)});
      }
    }
  }
  return tree;
}

namespace {

struct Node {
  std::vector<std::uint8_t> raw;
  std::string rel;
  bool dir = false;
};

// One level of a folder, children sorted byte-wise by raw name.
std::vector<Node> list_dir(const fs::path& root, const std::string& rel, const std::string& label,
                           std::size_t& budget) {
  std::vector<Node> out;
  std::error_code ec;
  fs::path dir = rel.empty() ? root : root / rel_to_path(rel);
  fs::directory_iterator it(dir, ec), end;
  if (ec)
    fail("cannot read folder " + label + (rel.empty() ? "" : "/" + rel) + ": " + ec.message());
  for (; it != end; it.increment(ec)) {
    if (ec) fail("cannot read folder " + label + "/" + rel + ": " + ec.message());
    if (budget-- == 0) fail("folder " + label + " holds more entries than an image can");
    std::string name = u8(it->path().filename());
    std::string child = rel.empty() ? name : rel + "/" + name;
    auto st = it->symlink_status(ec);
    Node n{raw_name(name), child, fs::is_directory(st)};
    if (!n.dir && !fs::is_regular_file(st))
      fail(label + "/" + child + ": not a regular file or folder");
    std::string problem = name_problem(n.raw);
    if (!problem.empty()) fail(label + "/" + child + ": " + problem);
    out.push_back(std::move(n));
  }
  std::sort(out.begin(), out.end(), [](const Node& a, const Node& b) { return a.raw < b.raw; });
  return out;
}

}  // namespace

DiskTree scan_tree(const fs::path& root, const std::string& label) {
  DiskTree tree;
  std::size_t budget = kMaxFiles + kMaxDirs;
  std::deque<std::string> queue{""};
  while (!queue.empty()) {
    std::string rel = std::move(queue.front());
    queue.pop_front();
    for (Node& n : list_dir(root, rel, label, budget)) {
      if (n.dir) {
        tree.dirs.push_back(n.rel);
        queue.push_back(n.rel);
      } else {
        tree.files.push_back(n.rel);
      }
    }
  }
  return tree;
}

BuiltFnt build_fnt(const fs::path& root, const std::string& label, std::uint32_t first_id) {
  struct Dir {
    std::string rel;
    std::uint16_t parent;
    std::vector<Node> children;
  };
  std::vector<Dir> dirs{{"", kRootDir, {}}};
  std::size_t budget = kMaxFiles + kMaxDirs;
  for (std::size_t i = 0; i < dirs.size(); ++i) {
    dirs[i].children = list_dir(root, dirs[i].rel, label, budget);
    for (const Node& n : dirs[i].children) {
      if (!n.dir) continue;
      if (dirs.size() >= kMaxDirs) fail("folder " + label + " holds more than 4096 folders");
      dirs.push_back({n.rel, static_cast<std::uint16_t>(kRootDir + i), {}});
    }
  }
  std::map<std::string, std::uint16_t> dir_ids;
  for (std::size_t i = 0; i < dirs.size(); ++i)
    dir_ids[dirs[i].rel] = static_cast<std::uint16_t>(kRootDir + i);

  BuiltFnt out;
  std::vector<std::uint8_t> subs;
  out.bytes.resize(dirs.size() * 8);
  std::uint32_t next_id = first_id;
  for (std::size_t i = 0; i < dirs.size(); ++i) {
    put32(out.bytes, i * 8, static_cast<std::uint32_t>(dirs.size() * 8 + subs.size()));
    put16(out.bytes, i * 8 + 4, static_cast<std::uint16_t>(next_id));
    put16(out.bytes, i * 8 + 6, i == 0 ? static_cast<std::uint16_t>(dirs.size()) : dirs[i].parent);
    for (const Node& n : dirs[i].children) {
      subs.push_back(static_cast<std::uint8_t>(n.raw.size() | (n.dir ? 0x80 : 0)));
      subs.insert(subs.end(), n.raw.begin(), n.raw.end());
      if (n.dir) {
        std::uint16_t id = dir_ids[n.rel];
        subs.push_back(static_cast<std::uint8_t>(id));
        subs.push_back(static_cast<std::uint8_t>(id >> 8));
      } else {
        if (next_id >= kMaxFiles) fail("folder " + label + " holds more files than an image can");
        out.files.push_back({static_cast<std::uint16_t>(next_id++), n.rel});
      }
    }
    subs.push_back(0);
  }
  out.bytes.insert(out.bytes.end(), subs.begin(), subs.end());
  return out;
}

}  // namespace nds
