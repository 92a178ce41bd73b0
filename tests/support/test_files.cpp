#include "test_files.h"

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace voderer::testing {

Bytes read_bytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot open " + utf8(path));
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void write_bytes(const fs::path& path, std::span<const std::uint8_t> bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + utf8(path));
}

std::map<std::string, Bytes> read_tree(const fs::path& root) {
  if (!fs::is_directory(root)) return {{"", read_bytes(root)}};
  std::map<std::string, Bytes> tree;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    const std::string rel = utf8(entry.path().lexically_relative(root).generic_u8string());
    if (entry.is_directory())
      tree[rel + "/"] = {};
    else
      tree[rel] = read_bytes(entry.path());
  }
  return tree;
}

std::string utf8(const fs::path& path) {
  const std::u8string text = path.u8string();
  return {text.begin(), text.end()};
}

fs::path from_utf8(std::string_view text) {
  return fs::path(std::u8string(text.begin(), text.end()));
}

fs::path env_path(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr || *value == '\0') return {};
  std::string text = value;
#ifdef _WIN32
  if (text.front() == '/') text = "Z:" + text;
#endif
  return from_utf8(text);
}

fs::path sample_rom_dir(std::string* why_not) {
  fs::path shared = env_path("VODERER_SHARED_DIR");
  if (shared.empty()) shared = fs::path("..") / "shared";
  fs::path roms = shared / "testdata" / "roms";
  std::error_code ec;
  if (fs::is_directory(roms, ec)) return roms;
  if (why_not != nullptr)
    *why_not = "sample ROMs not found at " + utf8(roms) + " (../shared/testdata/roms)";
  return {};
}

}  // namespace voderer::testing
