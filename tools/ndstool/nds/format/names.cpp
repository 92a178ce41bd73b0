#include "nds/format/names.h"

#include <array>
#include <cstring>

namespace nds {

namespace {

// Length of the valid UTF-8 sequence starting at s[i], or 0.
std::size_t utf8_length(std::span<const std::uint8_t> s, std::size_t i) {
  std::uint8_t c = s[i];
  std::size_t n;
  std::uint8_t lo = 0x80, hi = 0xBF;
  if (c < 0x80) return 1;
  if (c >= 0xC2 && c <= 0xDF)
    n = 2;
  else if (c >= 0xE0 && c <= 0xEF) {
    n = 3;
    if (c == 0xE0) lo = 0xA0;
    if (c == 0xED) hi = 0x9F;  // no surrogates
  } else if (c >= 0xF0 && c <= 0xF4) {
    n = 4;
    if (c == 0xF0) lo = 0x90;
    if (c == 0xF4) hi = 0x8F;
  } else
    return 0;
  if (i + n > s.size()) return 0;
  if (s[i + 1] < lo || s[i + 1] > hi) return 0;
  for (std::size_t k = 2; k < n; ++k)
    if (s[i + k] < 0x80 || s[i + k] > 0xBF) return 0;
  return n;
}

bool is_device_name(std::span<const std::uint8_t> raw) {
  std::string base;
  for (std::uint8_t c : raw) {
    if (c == '.') break;
    base.push_back(static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c));
  }
  while (!base.empty() && base.back() == ' ') base.pop_back();
  if (base == "CON" || base == "PRN" || base == "AUX" || base == "NUL") return true;
  if (base.size() == 4 && (base.starts_with("COM") || base.starts_with("LPT")) && base[3] >= '1' &&
      base[3] <= '9')
    return true;
  return false;
}

}  // namespace

std::string name_problem(std::span<const std::uint8_t> raw) {
  if (raw.empty() || raw.size() > kMaxNameBytes) return "name length out of range";
  for (std::uint8_t c : raw) {
    if (c == 0) return "name contains a NUL byte";
    // A backslash may be the second byte of a Shift-JIS character; it
    // is escaped on disk. A slash is in no name encoding of the format.
    if (c == '/') return "name contains a path separator";
  }
  if ((raw.size() == 1 && raw[0] == '.') || (raw.size() == 2 && raw[0] == '.' && raw[1] == '.'))
    return "name is \".\" or \"..\"";
  if (raw.size() >= 2 && raw[1] == ':' && ((raw[0] | 0x20) >= 'a' && (raw[0] | 0x20) <= 'z'))
    return "name starts with a drive letter";
  if (is_device_name(raw)) return "name is a Windows device name";
  return {};
}

std::string disk_name(std::span<const std::uint8_t> raw, Escape mode) {
  static constexpr char hex[] = "0123456789ABCDEF";
  std::string out;
  for (std::size_t i = 0; i < raw.size();) {
    std::uint8_t c = raw[i];
    std::size_t n = utf8_length(raw, i);
    bool last = i + 1 == raw.size();
    bool capital = c >= 'A' && c <= 'Z', small = c >= 'a' && c <= 'z';
    bool escape = n == 0 || c < 0x20 || c == 0x7F || std::strchr("<>:\"|?*%\\/", c) != nullptr ||
                  (last && (c == '.' || c == ' ')) || (mode != Escape::Plain && capital) ||
                  (mode == Escape::Letters && (small || c >= 0x80));
    if (c == 0) escape = true;
    if (escape) {  // byte by byte, a character of several bytes too
      out += '%';
      out += hex[c >> 4];
      out += hex[c & 15];
      ++i;
    } else {
      out.append(reinterpret_cast<const char*>(raw.data() + i), n);
      i += n;
    }
  }
  return out;
}

std::vector<std::uint8_t> raw_name(std::string_view disk) {
  auto is_digit = [](char c) { return c >= '0' && c <= '9'; };
  auto hexval = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
  };
  std::vector<std::uint8_t> out;
  for (std::size_t i = 0; i < disk.size(); ++i) {
    if (disk[i] == '%' && i + 2 < disk.size() && disk[i + 1] == '~' && is_digit(disk[i + 2])) {
      i += 2;
      while (i + 1 < disk.size() && is_digit(disk[i + 1])) ++i;
      continue;
    }
    if (disk[i] == '%' && i + 2 < disk.size() && hexval(disk[i + 1]) >= 0 &&
        hexval(disk[i + 2]) >= 0) {
      out.push_back(static_cast<std::uint8_t>(hexval(disk[i + 1]) * 16 + hexval(disk[i + 2])));
      i += 2;
    } else {
      out.push_back(static_cast<std::uint8_t>(disk[i]));
    }
  }
  return out;
}

}  // namespace nds
