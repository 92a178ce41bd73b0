#include "platform/runtime.h"

namespace voderer {

std::wstring StandardDescription(int number) {
  switch (number) {
    case err::kInvalidProcedureCall: return L"Invalid procedure call or argument";
    case err::kOutOfMemory: return L"Out of memory";
    case err::kInternalError: return L"Internal error";
    case err::kBadFileNameOrNumber: return L"Bad file name or number";
    case err::kFileNotFound: return L"File not found";
    case err::kBadFileMode: return L"Bad file mode";
    case err::kFileAlreadyOpen: return L"File already open";
    case err::kDeviceIO: return L"Device I/O error";
    case err::kTooManyFiles: return L"Too many files";
    case err::kPermissionDenied: return L"Permission denied";
    case err::kPathFileAccess: return L"Path/File access error";
    case err::kPathNotFound: return L"Path not found";
    default: return L"Application-defined or object-defined error";
  }
}

RuntimeError StandardError(int number) {
  return RuntimeError(number, StandardDescription(number));
}

}  // namespace voderer
