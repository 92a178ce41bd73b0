#include "parts.h"

#include <cstdio>

namespace nds {

namespace {

PartPath beside_header(const Parts& parts, const char* suffix) {
  std::filesystem::path p = parts.header.path;
  p += suffix;
  return {p, parts.header.label + suffix};
}

}  // namespace

PartPath layout_part(const Parts& parts) {
  return beside_header(parts, ".layout");
}
PartPath extra_part(const Parts& parts) {
  return beside_header(parts, ".extra");
}

std::string overlay_file_name(std::uint32_t id) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "overlay_%04u.bin", static_cast<unsigned>(id));
  return buf;
}

}  // namespace nds
