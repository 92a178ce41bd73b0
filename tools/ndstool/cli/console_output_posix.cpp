// Terminals here take the bytes as they are.
#include <iostream>

#include "cli/console_output.h"

namespace nds::cli {

std::ostream& output_stream() {
  return std::cout;
}

std::ostream& error_stream() {
  return std::cerr;
}

}  // namespace nds::cli
