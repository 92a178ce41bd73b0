#include "nds/io/error.h"

#include <cstdio>

namespace nds {

Error::Error(ErrorKind kind, const std::string& message, Cause cause)
    : std::runtime_error(message), kind_(kind), cause_(cause) {}

Error::Error(result_file::Refusal refusal, const std::string& message,
             std::optional<result_file::Arm7Check> check)
    : std::runtime_error(message),
      kind_(ErrorKind::Arm7Refused),
      refusal_(refusal),
      check_(check) {}

void fail(ErrorKind kind, const std::string& message, Cause cause) {
  throw Error(kind, message, cause);
}

void refuse_arm7(result_file::Refusal refusal, const std::string& message,
                 std::optional<result_file::Arm7Check> check) {
  throw Error(refusal, message, check);
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
    case ErrorKind::NoRom: return "no ROM image";
    case ErrorKind::MissingArm7: return "no ARM7 binary";
    case ErrorKind::Arm7Refused: return "ARM7 binary refused";
    case ErrorKind::UndoUnwritable: return "undo record not written";
    case ErrorKind::UndoMismatch: return "not the patched image";
    case ErrorKind::BadUndoRecord: return "bad undo record";
    case ErrorKind::Internal: break;
  }
  return "internal error";
}

}  // namespace nds
