#include "frontend/fltk/window_icon.h"

#include <cstdint>

namespace voderer::frontend {

namespace {

std::uint32_t Le(std::string_view bytes, std::size_t offset, std::size_t size) {
  std::uint32_t value = 0;
  for (std::size_t i = 0; i < size; ++i) {
    value |= static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[offset + i])) << (8 * i);
  }
  return value;
}

}  // namespace

RgbImage DecodeIcon(std::string_view ico) {
  // ICONDIR (6 bytes), then 16-byte entries: size and offset of each image.
  if (ico.size() < 6 + 16 || Le(ico, 2, 2) != 1 || Le(ico, 4, 2) == 0) return {};
  const std::uint32_t image_size = Le(ico, 6 + 8, 4);
  const std::uint32_t offset = Le(ico, 6 + 12, 4);
  if (offset > ico.size() || image_size > ico.size() - offset) return {};
  const std::string_view image = ico.substr(offset, image_size);

  // BITMAPINFOHEADER; the height counts the colour rows and the mask rows.
  constexpr std::size_t kHeader = 40;
  if (image.size() < kHeader || Le(image, 0, 4) != kHeader) return {};
  const std::uint32_t width = Le(image, 4, 4);
  const std::uint32_t height = Le(image, 8, 4) / 2;
  if (Le(image, 14, 2) != 24 || Le(image, 16, 4) != 0) return {};
  if (width == 0 || height == 0 || width > 256 || height > 256) return {};
  const std::size_t stride = (std::size_t{width} * 3 + 3) / 4 * 4;
  if (image.size() - kHeader < stride * height) return {};

  RgbImage out;
  out.width = static_cast<int>(width);
  out.height = static_cast<int>(height);
  out.rgb.reserve(std::size_t{width} * height * 3);
  // Bitmap rows run from the bottom up, each pixel blue, green, red.
  for (std::size_t row = height; row-- > 0;) {
    const std::string_view line = image.substr(kHeader + row * stride, std::size_t{width} * 3);
    for (std::size_t x = 0; x < width; ++x) {
      out.rgb.push_back(static_cast<unsigned char>(line[x * 3 + 2]));
      out.rgb.push_back(static_cast<unsigned char>(line[x * 3 + 1]));
      out.rgb.push_back(static_cast<unsigned char>(line[x * 3]));
    }
  }
  return out;
}

}  // namespace voderer::frontend
