// libFuzzer target: any bytes as the layout file that -x writes beside the
// header part and -c reads back. Edited or damaged files must be refused
// with nds::Error; an accepted one must print back to text that parses the
// same way.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "nds/io/error.h"
#include "nds/layout/layout.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  try {
    const nds::Layout layout = nds::parse_layout(text);
    const std::string again = nds::layout_text(layout);
    if (nds::layout_text(nds::parse_layout(again)) != again) __builtin_trap();
  } catch (const nds::Error&) {
  }
  return 0;
}
