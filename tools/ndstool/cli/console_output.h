// Where ndstool's messages go. Its text is UTF-8; a Windows console shows
// bytes in its own code page, so there the text is written as UTF-16
// (WriteConsoleW) and a Korean file name reads correctly. Output that is
// redirected to a file or a pipe, and every other system, get the UTF-8
// bytes unchanged.
#pragma once

#include <ostream>

namespace nds::cli {

std::ostream& output_stream();  // standard output
std::ostream& error_stream();   // standard error

}  // namespace nds::cli
