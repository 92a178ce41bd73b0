// A console gets UTF-16 through WriteConsoleW; anything else the bytes.
#include <windows.h>

#include <cstring>
#include <iostream>
#include <streambuf>
#include <string>

#include "cli/console_output.h"

namespace nds::cli {

namespace {

// Up to the end of the last whole UTF-8 character: a character split
// between two writes is converted once it is complete.
std::size_t whole_characters(const std::string& text) {
  for (std::size_t back = 1; back <= 4 && back <= text.size(); ++back) {
    const auto c = static_cast<unsigned char>(text[text.size() - back]);
    if ((c & 0xC0u) == 0x80u) continue;
    const std::size_t length = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
    return length > back ? text.size() - back : text.size();
  }
  return text.size();
}

class ConsoleBuffer : public std::streambuf {
 public:
  explicit ConsoleBuffer(HANDLE console) : console_(console) {}

 protected:
  int_type overflow(int_type c) override {
    if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
    pending_ += traits_type::to_char_type(c);
    if (c == '\n' && !write_out()) return traits_type::eof();
    return c;
  }
  std::streamsize xsputn(const char* text, std::streamsize n) override {
    pending_.append(text, static_cast<std::size_t>(n));
    if (std::memchr(text, '\n', static_cast<std::size_t>(n)) != nullptr && !write_out()) return 0;
    return n;
  }
  int sync() override { return write_out() ? 0 : -1; }

 private:
  bool write_out() {
    const std::size_t n = whole_characters(pending_);
    if (n == 0) return true;
    // Bytes that are not UTF-8 become U+FFFD rather than vanishing.
    const int wide_length =
        MultiByteToWideChar(CP_UTF8, 0, pending_.data(), static_cast<int>(n), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(wide_length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, pending_.data(), static_cast<int>(n), wide.data(), wide_length);
    pending_.erase(0, n);
    for (std::size_t done = 0; done < wide.size();) {
      DWORD written = 0;
      if (!WriteConsoleW(console_, wide.data() + done, static_cast<DWORD>(wide.size() - done),
                         &written, nullptr) ||
          written == 0) {
        return false;
      }
      done += written;
    }
    return true;
  }

  HANDLE console_;
  std::string pending_;
};

// The console's stream when `which` is a console, else `standard`.
std::ostream& console_or(DWORD which, std::ostream& standard) {
  HANDLE handle = GetStdHandle(which);
  DWORD mode = 0;
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE || !GetConsoleMode(handle, &mode)) {
    return standard;
  }
  // Never destroyed: ndstool may write until the very end of the process.
  return *new std::ostream(new ConsoleBuffer(handle));
}

}  // namespace

std::ostream& output_stream() {
  static std::ostream& stream = console_or(STD_OUTPUT_HANDLE, std::cout);
  return stream;
}

std::ostream& error_stream() {
  static std::ostream& stream = console_or(STD_ERROR_HANDLE, std::cerr);
  return stream;
}

}  // namespace nds::cli
