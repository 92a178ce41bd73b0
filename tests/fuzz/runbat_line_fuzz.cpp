// libFuzzer target: any bytes as one line of a batch script.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "batch_line.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view line(reinterpret_cast<const char*>(data), size);
  const runbat::BatchLine parsed = runbat::ParseBatchLine(line);
  // Parsing only removes or rewrites bytes ('%%' -> '%', quotes dropped);
  // it never makes a line longer than it was.
  std::size_t total = parsed.program.size();
  for (const auto& word : parsed.args) total += word.size();
  for (const auto& word : parsed.switches) total += word.size();
  if (total > size || parsed.text.size() > size || parsed.echo_text.size() > size) std::abort();
  return 0;
}
