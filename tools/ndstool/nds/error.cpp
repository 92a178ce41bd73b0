#include "nds/error.h"

#include <cstdio>

namespace nds {

Error::Error(ErrorKind kind, const std::string& message)
    : std::runtime_error(message), kind_(kind) {}

void fail(ErrorKind kind, const std::string& message) {
  throw Error(kind, message);
}

std::string hex(std::uint64_t value) {
  char buf[24];
  std::snprintf(buf, sizeof buf, "0x%llX", static_cast<unsigned long long>(value));
  return buf;
}

const char* kind_name(ErrorKind kind) {
  switch (kind) {
    case ErrorKind::NotDsImage: return "not a DS image";
    case ErrorKind::UnsafeImage: return "refused image";
    case ErrorKind::BadLayout: return "bad layout";
    case ErrorKind::LayoutMismatch: return "layout mismatch";
    case ErrorKind::BadPart: return "bad part";
    case ErrorKind::NothingUnpacked: return "nothing unpacked";
    case ErrorKind::CannotKeep: return "cannot keep";
    case ErrorKind::ReadFailed: return "read failed";
    case ErrorKind::WriteFailed: return "write failed";
    case ErrorKind::ImageTooLarge: return "image too large";
    case ErrorKind::Internal: break;
  }
  return "internal error";
}

}  // namespace nds
