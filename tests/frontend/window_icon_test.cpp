// The window icon as FLTK gets it from the .ico bytes.
#include <gtest/gtest.h>

#include <string>

#include "frontend/fltk/window_icon.h"

namespace voderer::frontend {
namespace {

void PutLe(std::string& bytes, std::size_t offset, unsigned value, std::size_t size) {
  for (std::size_t i = 0; i < size; ++i) bytes[offset + i] = static_cast<char>(value >> (8 * i));
}

// A 2 x 2 icon: top row red, green; bottom row blue, white.
std::string TwoByTwoIcon() {
  std::string image(40 + 2 * 8 + 2 * 4, '\0');
  PutLe(image, 0, 40, 4);
  PutLe(image, 4, 2, 4);
  PutLe(image, 8, 4, 4);  // colour and mask rows
  PutLe(image, 12, 1, 2);
  PutLe(image, 14, 24, 2);
  // Bottom row first, blue-green-red, rows padded to 4 bytes.
  const std::string bottom("\xFF\x00\x00\xFF\xFF\xFF\0\0", 8);
  const std::string top("\x00\x00\xFF\x00\xFF\x00\0\0", 8);
  image.replace(40, 8, bottom);
  image.replace(48, 8, top);

  std::string ico(6 + 16, '\0');
  PutLe(ico, 2, 1, 2);
  PutLe(ico, 4, 1, 2);
  ico[6] = 2;
  ico[7] = 2;
  PutLe(ico, 6 + 6, 24, 2);
  PutLe(ico, 6 + 8, static_cast<unsigned>(image.size()), 4);
  PutLe(ico, 6 + 12, static_cast<unsigned>(ico.size()), 4);
  return ico + image;
}

TEST(WindowIcon, RowsComeTopFirstAsRedGreenBlue) {
  const RgbImage icon = DecodeIcon(TwoByTwoIcon());
  ASSERT_EQ(icon.width, 2);
  ASSERT_EQ(icon.height, 2);
  const std::string rgb(icon.rgb.begin(), icon.rgb.end());
  EXPECT_EQ(rgb, std::string("\xFF\x00\x00\x00\xFF\x00\x00\x00\xFF\xFF\xFF\xFF", 12));
}

TEST(WindowIcon, TheProgramsIconIs32By32) {
  const RgbImage icon = DecodeIcon(ProgramIconFile());
  EXPECT_EQ(icon.width, 32);
  EXPECT_EQ(icon.height, 32);
  EXPECT_EQ(icon.rgb.size(), 32u * 32u * 3u);
}

}  // namespace
}  // namespace voderer::frontend
