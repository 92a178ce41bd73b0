// The program's icon (assets/Dazuzadi.ico, the executable's icon on
// Windows) as FLTK wants it for the window: RGB rows from the top.
#pragma once

#include <string_view>
#include <vector>

namespace voderer::frontend {

struct RgbImage {
  int width = 0;
  int height = 0;
  std::vector<unsigned char> rgb;  // width * height * 3 bytes, top row first
};

// The first image of an .ico file when it is an uncompressed 24-bit
// bitmap; an empty image for anything else or anything cut short.
RgbImage DecodeIcon(std::string_view ico);

// The bytes of assets/Dazuzadi.ico, built into the program.
std::string_view ProgramIconFile();

}  // namespace voderer::frontend
