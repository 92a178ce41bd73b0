// Terminals here take the bytes as they are.
#include <iostream>

#include "console_output.h"

namespace nds {

std::ostream& output_stream() {
  return std::cout;
}

std::ostream& error_stream() {
  return std::cerr;
}

}  // namespace nds
