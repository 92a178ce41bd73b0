// The one error type of the library: its message is the line the command
// line prints ("cannot read ..\UNPACK/arm7.bin: No such file"), its kind
// says what went wrong for callers that act on it (and for the tests).
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

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
  Internal,         // the program's own consistency check failed
};

class Error : public std::runtime_error {
 public:
  Error(ErrorKind kind, const std::string& message);
  ErrorKind kind() const { return kind_; }

 private:
  ErrorKind kind_;
};

[[noreturn]] void fail(ErrorKind kind, const std::string& message);

// "0x1A2B": offsets and sizes in messages and in the layout file.
std::string hex(std::uint64_t value);

// "refused image", "read failed", ...: a kind in a word or two.
const char* kind_name(ErrorKind kind);

}  // namespace nds
