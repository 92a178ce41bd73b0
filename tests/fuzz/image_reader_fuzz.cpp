// libFuzzer target: any bytes as a ROM image given to -x. The reader must
// either describe the image or refuse it with nds::Error; any other way out
// (a crash, another exception, a sanitizer report) is a finding.
#include <cstddef>
#include <cstdint>
#include <span>

#include "nds/io/byte_source.h"
#include "nds/io/error.h"
#include "nds/unpack/image_model.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const nds::MemorySource rom(std::span<const std::uint8_t>(data, size));
  try {
    const nds::ImageModel model = nds::analyse_image(rom);
    // What was accepted lies inside the image.
    for (const nds::Item& item : model.items) {
      if (item.offset > size || item.length > size - item.offset) __builtin_trap();
    }
  } catch (const nds::Error&) {
    // A refusal: the expected answer to most inputs.
  }
  return 0;
}
