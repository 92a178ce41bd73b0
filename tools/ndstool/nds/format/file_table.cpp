#include "nds/format/file_table.h"

#include <algorithm>
#include <deque>
#include <map>
#include <set>

#include "nds/io/byte_io.h"
#include "nds/format/disk_names.h"
#include "nds/io/error.h"
#include "nds/io/file_io.h"
#include "nds/format/names.h"

namespace nds {

namespace fs = std::filesystem;

fs::path rel_to_path(const std::string& rel) {
  return fs::path(std::u8string(reinterpret_cast<const char8_t*>(rel.data()), rel.size()));
}

namespace {

// One entry of a sub-table: a file or a sub-directory and its name.
struct FntEntry {
  std::span<const std::uint8_t> raw;
  bool is_dir = false;
  std::uint32_t dir_id = 0;
};

[[noreturn]] void refuse(const std::string& where, const std::string& why) {
  fail(ErrorKind::UnsafeImage, where + ": " + why);
}

// Reads the entry at pos and moves past it; false at the end of the sub-table.
bool next_entry(std::span<const std::uint8_t> fnt, std::size_t& pos, const std::string& where,
                FntEntry& entry) {
  if (pos >= fnt.size()) refuse(where, "sub-table not terminated within the FNT");
  const std::uint8_t type = fnt[pos++];
  if (type == 0) return false;
  const std::size_t length = type & 0x7F;
  entry.is_dir = (type & 0x80) != 0;
  if (length == 0) refuse(where, "entry with an empty name");
  if (pos + length + (entry.is_dir ? 2 : 0) > fnt.size())
    refuse(where, "sub-table not terminated within the FNT");
  entry.raw = fnt.subspan(pos, length);
  pos += length;
  const std::string problem = name_problem(entry.raw);
  if (!problem.empty())
    refuse(where, "refused name \"" + disk_name(entry.raw, Escape::Plain) + "\": " + problem);
  if (entry.is_dir) {
    entry.dir_id = get16(fnt, pos);
    pos += 2;
  }
  return true;
}

// Walks the FNT breadth first from the root, each directory and file once.
class FntWalk {
 public:
  FntWalk(std::span<const std::uint8_t> fnt, std::uint32_t dir_count, std::uint32_t file_count)
      : fnt_(fnt), seen_dir_(dir_count, false), seen_file_(file_count, false) {}

  FileTree run() {
    std::deque<Pending> queue{{0, ""}};
    seen_dir_[0] = true;
    while (!queue.empty()) {
      Pending dir = std::move(queue.front());
      queue.pop_front();
      walk_directory(dir, queue);
    }
    return std::move(tree_);
  }

 private:
  struct Pending {
    std::uint32_t index;
    std::string path;
  };

  void walk_directory(const Pending& dir, std::deque<Pending>& queue) {
    const std::string where = "FNT directory " + hex(kRootDir + dir.index);
    std::size_t pos = get32(fnt_, std::size_t{dir.index} * 8);
    std::uint32_t next_id = get16(fnt_, std::size_t{dir.index} * 8 + 4);
    if (pos >= fnt_.size()) refuse(where, "sub-table offset beyond the FNT");
    DirNames names;
    FntEntry entry;
    while (next_entry(fnt_, pos, where, entry)) {
      const std::string name = names.add(entry.raw);
      if (name.empty())
        refuse(where, "name \"" + disk_name(entry.raw, Escape::Plain) +
                          "\": no file name of at most 255 bytes keeps it apart from the others");
      std::string path = dir.path.empty() ? name : dir.path + "/" + name;
      if (entry.is_dir)
        queue.push_back({add_dir(where, entry.dir_id, path), path});
      else
        add_file(where, next_id++, std::move(path));
    }
  }

  std::uint32_t add_dir(const std::string& where, std::uint32_t id, const std::string& path) {
    if (id <= kRootDir || id - kRootDir >= seen_dir_.size())
      refuse(where, "sub-directory ID " + hex(id) + " out of range");
    if (seen_dir_[id - kRootDir]) refuse(where, "directory " + hex(id) + " is reached twice");
    seen_dir_[id - kRootDir] = true;
    tree_.dirs.push_back(path);
    return id - kRootDir;
  }

  void add_file(const std::string& where, std::uint32_t id, std::string path) {
    if (id >= seen_file_.size()) refuse(where, "file ID " + std::to_string(id) + " beyond the FAT");
    if (seen_file_[id]) refuse(where, "file ID " + std::to_string(id) + " is named twice");
    seen_file_[id] = true;
    tree_.files.push_back({static_cast<std::uint16_t>(id), std::move(path)});
  }

  std::span<const std::uint8_t> fnt_;
  std::vector<bool> seen_dir_;
  std::vector<bool> seen_file_;
  FileTree tree_;
};

}  // namespace

FileTree parse_fnt(std::span<const std::uint8_t> fnt, std::uint32_t file_count) {
  if (fnt.size() < 8) fail(ErrorKind::UnsafeImage, "FNT is smaller than its root entry");
  const std::uint32_t dir_count = get16(fnt, 6);
  if (dir_count == 0 || dir_count > kMaxDirs || std::uint64_t{dir_count} * 8 > fnt.size())
    fail(ErrorKind::UnsafeImage,
         "FNT directory count " + std::to_string(dir_count) + " does not fit the FNT");
  return FntWalk(fnt, dir_count, file_count).run();
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
    fail(ErrorKind::ReadFailed,
         "cannot read folder " + label + (rel.empty() ? "" : "/" + rel) + ": " + ec.message());
  for (; it != end; it.increment(ec)) {
    if (ec)
      fail(ErrorKind::ReadFailed, "cannot read folder " + label + "/" + rel + ": " + ec.message());
    if (budget-- == 0)
      fail(ErrorKind::BadPart, "folder " + label + " holds more entries than an image can");
    std::string name = path_label(it->path().filename());
    std::string child = rel.empty() ? name : rel + "/" + name;
    auto st = it->symlink_status(ec);
    Node n{raw_name(name), child, fs::is_directory(st)};
    if (!n.dir && !fs::is_regular_file(st))
      fail(ErrorKind::BadPart, label + "/" + child + ": not a regular file or folder");
    std::string problem = name_problem(n.raw);
    if (!problem.empty()) fail(ErrorKind::BadPart, label + "/" + child + ": " + problem);
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
      if (dirs.size() >= kMaxDirs)
        fail(ErrorKind::BadPart, "folder " + label + " holds more than 4096 folders");
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
        if (next_id >= kMaxFiles)
          fail(ErrorKind::BadPart, "folder " + label + " holds more files than an image can");
        out.files.push_back({static_cast<std::uint16_t>(next_id++), n.rel});
      }
    }
    subs.push_back(0);
  }
  out.bytes.insert(out.bytes.end(), subs.begin(), subs.end());
  return out;
}

}  // namespace nds
