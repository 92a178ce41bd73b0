#include "platform/runtime.h"

#include "texts/catalogue.h"

namespace voderer {

std::wstring StandardDescription(int number) {
  using texts::Msg;
  using texts::Text;
  switch (number) {
    case err::kInvalidProcedureCall: return Text(Msg::error_invalid_call);
    case err::kOutOfMemory: return Text(Msg::error_out_of_memory);
    case err::kInternalError: return Text(Msg::error_internal);
    case err::kBadFileNameOrNumber: return Text(Msg::error_bad_file_name);
    case err::kFileNotFound: return Text(Msg::error_file_not_found);
    case err::kBadFileMode: return Text(Msg::error_bad_file_mode);
    case err::kFileAlreadyOpen: return Text(Msg::error_file_already_open);
    case err::kDeviceIO: return Text(Msg::error_device_io);
    case err::kTooManyFiles: return Text(Msg::error_too_many_files);
    case err::kPermissionDenied: return Text(Msg::error_permission_denied);
    case err::kPathFileAccess: return Text(Msg::error_path_file_access);
    case err::kPathNotFound: return Text(Msg::error_path_not_found);
    default: return Text(Msg::error_other);
  }
}

RuntimeError StandardError(int number) {
  return RuntimeError(number, StandardDescription(number));
}

}  // namespace voderer
