// How Linux file systems compare names: byte for byte.
#include "nds/format/disk_names.h"

namespace nds {

std::string merge_key(std::string_view disk) {
  return std::string(disk);
}

}  // namespace nds
