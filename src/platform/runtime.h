// The runtime's own types, shared by every layer: its truth value and the
// run-time error that a handler raises, with the error numbers and their
// standard wording.
#pragma once

#include <cstdint>
#include <exception>
#include <string>
#include <utility>

namespace voderer {

// Two-valued truth value of the runtime: true is all bits set.
using Flag = std::int16_t;
inline constexpr Flag kTrue = -1;
inline constexpr Flag kFalse = 0;

// A run-time error that leaves a handler. The event loop reports it in the
// standard box ("Run-time error 'N':", blank line, description) and ends the
// program.
class RuntimeError : public std::exception {
 public:
  RuntimeError(int number, std::wstring description)
      : number_(number), description_(std::move(description)) {}
  int Number() const noexcept { return number_; }
  const std::wstring& Description() const noexcept { return description_; }
  const char* what() const noexcept override { return "voderer::RuntimeError"; }

 private:
  int number_;
  std::wstring description_;
};

// Error numbers, as the runtime numbers them.
namespace err {
inline constexpr int kInvalidProcedureCall = 5;
inline constexpr int kOutOfMemory = 7;
inline constexpr int kInternalError = 51;
inline constexpr int kBadFileNameOrNumber = 52;
inline constexpr int kFileNotFound = 53;
inline constexpr int kBadFileMode = 54;
inline constexpr int kFileAlreadyOpen = 55;
inline constexpr int kDeviceIO = 57;
inline constexpr int kTooManyFiles = 67;
inline constexpr int kPermissionDenied = 70;
inline constexpr int kPathFileAccess = 75;
inline constexpr int kPathNotFound = 76;
// The common dialog control's own: the dialog could not be shown.
inline constexpr int kDialogFailure = -32768;
}  // namespace err

// The runtime's own wording for an error number, in the user's language.
std::wstring StandardDescription(int number);

// A RuntimeError with the standard wording of its number.
RuntimeError StandardError(int number);

}  // namespace voderer
