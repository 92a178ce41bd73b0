#include "nds/io/byte_source.h"

#include <algorithm>

#include "nds/io/error.h"

namespace nds {

std::vector<std::uint8_t> ByteSource::read_vector(std::uint64_t off, std::size_t n) const {
  // Checked before allocating: a hostile size must not become a huge buffer.
  if (off > size() || n > size() - off)
    fail(ErrorKind::UnsafeImage, "read beyond the end of the image");
  std::vector<std::uint8_t> v(n);
  read_at(off, v);
  return v;
}

void MemorySource::read_at(std::uint64_t off, std::span<std::uint8_t> out) const {
  if (off > bytes_.size() || out.size() > bytes_.size() - off)
    fail(ErrorKind::UnsafeImage, "read beyond the end of the image");
  std::copy_n(bytes_.begin() + static_cast<std::ptrdiff_t>(off), out.size(), out.begin());
}

}  // namespace nds
