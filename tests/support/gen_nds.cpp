// gen_nds: writes a synthetic mastered image (test and benchmark utility, not shipped).
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <fstream>
#include <string>

#include "nds_image_builder.h"
#include "random_nds_image.h"

namespace {

int usage() {
  std::fputs(
      "usage: gen_nds OUT.nds --random SEED\n"
      "       gen_nds OUT.nds [--variant NAME | --large MIB] [--seed N] [--dsi] [--encrypted] "
      "[--files N]\n"
      "               [--file-max BYTES] [--depth N] [--fanout N] [--ascii-names]\n"
      "               [--describe]\n"
      "variants: sdk sdk-encrypted dsi-enhanced zero-padded\n",
      stderr);
  return 2;
}

}  // namespace

// A random valid image (random_nds_image.h), and what its seed chose.
int write_random(const char* out, const char* seed) {
  const voderer::testgen::RandomImage r =
      voderer::testgen::random_image(std::strtoull(seed, nullptr, 0));
  std::ofstream f(out, std::ios::binary | std::ios::trunc);
  f.write(reinterpret_cast<const char*>(r.bytes.data()),
          static_cast<std::streamsize>(r.bytes.size()));
  if (!f) return std::fprintf(stderr, "gen_nds: cannot write %s\n", out), 1;
  std::printf("%s\n", r.traits.c_str());
  return 0;
}

int main(int argc, char** argv) {
  using namespace voderer::testgen;
  if (argc < 2) return usage();
  if (argc == 4 && std::string(argv[2]) == "--random") return write_random(argv[1], argv[3]);
  ImageOptions o;
  bool show = false;
  unsigned files = 0;
  try {
    for (int i = 2; i < argc; ++i) {
      const std::string a = argv[i];
      auto value = [&]() -> unsigned long {
        if (i + 1 >= argc) throw std::invalid_argument(a + " needs a value");
        return std::stoul(argv[++i], nullptr, 0);
      };
      if (a == "--variant") {
        if (i + 1 >= argc) return usage();
        const std::string name = argv[++i];
        bool found = false;
        for (const Variant& v : standard_variants()) {
          if (v.name == name) {
            o = v.options;
            found = true;
          }
        }
        if (!found) return usage();
      } else if (a == "--large") {
        o = large_options(static_cast<unsigned>(value()));
      } else if (a == "--seed") {
        o.seed = value();
      } else if (a == "--dsi") {
        o.dsi = true;
      } else if (a == "--encrypted") {
        o.encrypted_secure_area = true;
      } else if (a == "--files") {
        files = static_cast<unsigned>(value());
      } else if (a == "--file-max") {
        o.file_size_max = static_cast<std::uint32_t>(value());
      } else if (a == "--depth") {
        o.dir_depth = static_cast<unsigned>(value());
      } else if (a == "--fanout") {
        o.dir_fanout = static_cast<unsigned>(value());
        o.chain_below = 0;
      } else if (a == "--ascii-names") {
        o.shift_jis_names = false;
      } else if (a == "--describe") {
        show = true;
      } else {
        return usage();
      }
    }
    if (files != 0) {
      unsigned dirs = 1, level = 1;
      for (unsigned k = 0; k < o.dir_depth; ++k) {
        level *= o.dir_fanout;
        dirs += level;
      }
      o.chain_below = 0;
      o.files_per_dir = (files + dirs - 1) / dirs;
    }
    const ImageDescription d = write_image(o, argv[1]);
    if (show) std::fputs(describe(d).c_str(), stdout);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "gen_nds: %s\n", e.what());
    return 1;
  }
  return 0;
}
