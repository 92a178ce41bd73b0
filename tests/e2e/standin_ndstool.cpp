// Stands in for Bin/ndstool in the end-to-end test: records its arguments,
// its working folder, whether ../UNPACK exists and the result file the
// environment names into the file named by VODERER_STANDIN_LOG. Its first call then holds until the
// file named by VODERER_STANDIN_RELEASE appears, which the test creates only after the patch action
// has returned.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

namespace fs = std::filesystem;

namespace {

int record_call(int argc, char** argv) {
  const char* log_name = std::getenv("VODERER_STANDIN_LOG");
  const char* release_name = std::getenv("VODERER_STANDIN_RELEASE");
  if (log_name == nullptr || release_name == nullptr) return 2;
  const fs::path log_path = fs::u8path(log_name);
  const bool first = !fs::exists(log_path);

  std::ofstream log(log_path, std::ios::app | std::ios::binary);
  const std::u8string cwd = fs::current_path().u8string();
  log << "call\ncwd=" << std::string(cwd.begin(), cwd.end()) << '\n';
  log << "unpack=" << (fs::is_directory("../UNPACK") ? "yes" : "no") << '\n';
  const char* result = std::getenv("VODERER_RESULT_FILE");
  log << "result=" << (result != nullptr ? result : "(none)") << '\n';
  for (int i = 1; i < argc; ++i) log << "arg=" << argv[i] << '\n';
  log.flush();

  if (first) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    while (!fs::exists(fs::u8path(release_name))) {
      if (std::chrono::steady_clock::now() > deadline) {
        log << "timeout\n";
        return 1;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    log << "released\n";
  }
  log << "end\n";
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return record_call(argc, argv);
  } catch (const std::exception& e) {  // a file system error: the test reads the status
    std::fprintf(stderr, "standin_ndstool: %s\n", e.what());
    return 3;
  }
}
