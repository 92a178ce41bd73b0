// The one error type of the library: its message is the line the command
// line prints ("cannot read ..\UNPACK/arm7.bin: No such file"), its kind
// says what went wrong for callers that act on it (and for the tests).
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>

#include "result_file/result_file.h"

namespace nds {

enum class ErrorKind {
  NotDsImage,       // -x: the file is no DS ROM image in standard form
  UnsafeImage,      // -x: reading the image would be unsafe or could not keep it exactly
  BadLayout,        // the layout file, or the extra file beside it, is damaged or not theirs
  LayoutMismatch,   // the parts no longer fit the layout they were unpacked with
  BadPart,          // a part cannot go into an image (empty, too large, a bad name or table)
  NothingUnpacked,  // -c: the header part is missing, so the unpack failed or never ran
  CannotKeep,       // -c: the layout fits, but the new parts would lose bytes the image keeps
  ReadFailed,       // a file or folder could not be read
  WriteFailed,      // a file or folder could not be created, written or replaced
  ImageTooLarge,    // the image would grow beyond 4 GiB
  NoRom,            // no ROM image was named (an empty path)
  MissingArm7,      // -c: the replacement ARM7 binary is not there
  Arm7Refused,      // -c: the replacement ARM7 binary cannot be this image's: see refusal()
  UndoUnwritable,   // -c: the undo record asked for could not be written
  UndoMismatch,     // --undo: the image is neither the patched nor the original one
  BadUndoRecord,    // --undo: the record is damaged, foreign, or of another version
  Internal,         // the program's own consistency check failed
};

// What the system said when a file call failed, where it tells the user
// what to do next: close the other program, free room, write elsewhere.
enum class Cause { None, NotFound, NoSpace, ReadOnly, InUse };

class Error : public std::runtime_error {
 public:
  Error(ErrorKind kind, const std::string& message, Cause cause = Cause::None);
  // Arm7Refused, with why, and what -c had found out about the binary by then.
  Error(result_file::Refusal refusal, const std::string& message,
        std::optional<result_file::Arm7Check> check = std::nullopt);
  ErrorKind kind() const { return kind_; }
  Cause cause() const { return cause_; }
  std::optional<result_file::Refusal> refusal() const { return refusal_; }
  const std::optional<result_file::Arm7Check>& check() const { return check_; }

 private:
  ErrorKind kind_;
  Cause cause_ = Cause::None;
  std::optional<result_file::Refusal> refusal_;
  std::optional<result_file::Arm7Check> check_;
};

[[noreturn]] void fail(ErrorKind kind, const std::string& message, Cause cause = Cause::None);
[[noreturn]] void refuse_arm7(result_file::Refusal refusal, const std::string& message,
                              std::optional<result_file::Arm7Check> check = std::nullopt);

// "0x1A2B": offsets and sizes in messages and in the layout file.
std::string hex(std::uint64_t value);

// "refused image", "read failed", ...: a kind in a word or two.
const char* kind_name(ErrorKind kind);

}  // namespace nds
