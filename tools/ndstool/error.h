// The one error type of the library: its message is the line the command
// line prints ("cannot read ..\UNPACK/arm7.bin: No such file").
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace nds {

class Error : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Short description of the last OS error (errno, or GetLastError on Windows).
std::string last_os_error();

[[noreturn]] void fail(const std::string& message);

// "0x1A2B": offsets and sizes in messages and in the layout file.
std::string hex(std::uint64_t v);

}  // namespace nds
