#include "nds/layout/parts.h"

#include <cstdio>

#include "nds/format/file_table.h"

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
PartPath digest_part(const Parts& parts) {
  return beside_header(parts, ".digest");
}

PartPath data_file_part(const Parts& parts, const std::string& rel) {
  return {parts.data.path / rel_to_path(rel), parts.data.label + "/" + rel};
}

PartPath overlay_file_part(const Parts& parts, std::uint32_t id) {
  const std::string name = overlay_file_name(id);
  return {parts.overlay.path / name, parts.overlay.label + "/" + name};
}

std::string overlay_file_name(std::uint32_t id) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "overlay_%04u.bin", static_cast<unsigned>(id));
  return buf;
}

}  // namespace nds
