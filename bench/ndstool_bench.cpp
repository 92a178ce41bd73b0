// ndstool_bench: times the patch script's two ndstool steps (unpack, then
// rebuild with another arm7.bin) on a large synthetic mastered image, next to a
// plain copy of the same image, and reports medians, the ratio to the copy and
// the peak memory of each ndstool run. The rebuild replaces that copy, as the
// script replaces the ROM. With "undo", both steps run as the program starts
// them, with VODERER_UNDO_FILE set, and the undo record's size is reported.
// Linux only; run through bench/run.sh.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "nds_image_builder.h"

namespace fs = std::filesystem;
using namespace voderer::testgen;

namespace {

struct Sample {
  double seconds = 0;
  long peak_kib = 0;  // maximum resident set of the child
};

// Runs a program in cwd and measures it alone: wait4 gives this child's own peak RSS.
Sample run(const std::vector<std::string>& args, const fs::path& cwd) {
  std::vector<char*> argv;
  std::vector<std::string> copy = args;
  argv.reserve(copy.size() + 1);
  for (std::string& a : copy) argv.push_back(a.data());
  argv.push_back(nullptr);
  const auto start = std::chrono::steady_clock::now();
  const pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    // The summary -v prints would go to the console; its cost is not the point here.
    const int null = open("/dev/null", O_WRONLY);
    if (null >= 0) dup2(null, 1);
    if (chdir(cwd.c_str()) != 0) _exit(127);
    execv(argv[0], argv.data());
    _exit(127);
  }
  int status = 0;
  rusage usage{};
  if (wait4(pid, &status, 0, &usage) != pid) throw std::runtime_error("wait4 failed");
  const auto stop = std::chrono::steady_clock::now();
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    std::string line;
    for (const std::string& a : args) line += " " + a;
    throw std::runtime_error("failed:" + line);
  }
  return {std::chrono::duration<double>(stop - start).count(), usage.ru_maxrss};
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  const std::size_t n = v.size();
  return n % 2 == 1 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

std::vector<std::string> part_args(const char* first, const fs::path& rom, const char* arm7) {
  return {first, rom.string(),        "-9",  "../UNPACK/arm9.bin",   "-7", arm7,
          "-y9", "../UNPACK/y9.bin",  "-y7", "../UNPACK/y7.bin",     "-d", "../UNPACK/data",
          "-y",  "../UNPACK/overlay", "-t",  "../UNPACK/banner.bin", "-h", "../UNPACK/header.bin"};
}

int usage() {
  std::fputs("usage: ndstool_bench NDSTOOL WORK_DIR [RUNS] [MIB] [undo]\n", stderr);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return usage();
  const fs::path ndstool = fs::absolute(argv[1]);
  const fs::path work = fs::absolute(argv[2]);
  const int runs = argc > 3 ? std::atoi(argv[3]) : 5;
  const unsigned mib = argc > 4 ? static_cast<unsigned>(std::atoi(argv[4])) : 320;
  const bool undo = argc > 5 && std::string(argv[5]) == "undo";
  if (runs < 1 || mib < 1 || (argc > 5 && !undo)) return usage();
  const fs::path record = work / "deruzuz.undo";
  // The children inherit it.
  if (undo) setenv("VODERER_UNDO_FILE", record.c_str(), 1);
  try {
    fs::create_directories(work / "Bin");
    const fs::path rom = work / "big.nds";

    ImageOptions o = large_options(mib);
    // Names do not change the timing (the tests cover Shift-JIS).
    o.shift_jis_names = false;
    const ImageDescription d = write_image(o, rom);
    const auto image_size = fs::file_size(rom);
    std::printf("image: %s, %.1f MiB, %zu FAT entries, %zu folders\n", rom.c_str(),
                static_cast<double>(image_size) / 1048576.0, d.files.size(), d.dirs.size());

    // Another ARM7, larger than the room it has: every later item moves.
    const std::vector<std::uint8_t> arm7 = random_block(0xA7, d.arm7_size + 0x1234);
    std::ofstream(work / "Bin" / "arm7.bin", std::ios::binary)
        .write(reinterpret_cast<const char*>(arm7.data()),
               static_cast<std::streamsize>(arm7.size()));

    std::vector<double> unpack_s, rebuild_s, copy_s, total_s, tree_s;
    long peak_unpack = 0, peak_rebuild = 0;
    const fs::path rebuilt = work / "rebuilt.nds";
    std::uintmax_t record_size = 0;
    for (int i = 0; i < runs; ++i) {
      fs::remove_all(work / "UNPACK");
      fs::create_directories(work / "UNPACK");
      fs::remove(rebuilt);
      fs::remove(record);
      // The copy the rebuild replaces, timed as what any program pays.
      const Sample c = run({"/bin/cp", rom.string(), rebuilt.string()}, work);
      const Sample u = run(
          [&] {
            auto a = part_args("-x", rebuilt, "../UNPACK/arm7.bin");
            a.insert(a.begin(), {ndstool.string(), "-v"});
            return a;
          }(),
          work / "Bin");
      const Sample r = run(
          [&] {
            auto a = part_args("-c", rebuilt, "arm7.bin");
            a.insert(a.begin(), ndstool.string());
            return a;
          }(),
          work / "Bin");
      if (undo) record_size = fs::file_size(record);
      // What creating the unpacked files costs any program here: a plain copy of the tree.
      fs::remove_all(work / "TREE");
      const Sample t =
          run({"/bin/cp", "-r", (work / "UNPACK").string(), (work / "TREE").string()}, work);
      tree_s.push_back(t.seconds);
      unpack_s.push_back(u.seconds);
      rebuild_s.push_back(r.seconds);
      copy_s.push_back(c.seconds);
      total_s.push_back(u.seconds + r.seconds);
      peak_unpack = std::max(peak_unpack, u.peak_kib);
      peak_rebuild = std::max(peak_rebuild, r.peak_kib);
      std::printf("run %d: unpack %.3f s, rebuild %.3f s, copy %.3f s, tree copy %.3f s\n", i + 1,
                  u.seconds, r.seconds, c.seconds, t.seconds);
    }
    const double copy = median(copy_s);
    std::printf("median unpack   %.3f s\n", median(unpack_s));
    std::printf("median rebuild  %.3f s\n", median(rebuild_s));
    std::printf("median both     %.3f s  (%.2f x copy; target <= 2.00)\n", median(total_s),
                median(total_s) / copy);
    std::printf("median copy     %.3f s  (/bin/cp of the image)\n", copy);
    std::printf(
        "median tree     %.3f s  (/bin/cp -r of the unpacked parts: the file-creation floor)\n",
        median(tree_s));
    std::printf("peak RSS unpack %ld KiB, rebuild %ld KiB (target < 16384 KiB)\n", peak_unpack,
                peak_rebuild);
    if (undo) std::printf("undo record     %ju bytes\n", record_size);
    fs::remove_all(work / "UNPACK");
    fs::remove_all(work / "TREE");
    fs::remove(rebuilt);
    fs::remove(record);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "ndstool_bench: %s\n", e.what());
    return 1;
  }
  return 0;
}
