#include "platform/utf8_text.h"

#include <cstdint>
#include <type_traits>

namespace voderer {

namespace {

constexpr std::uint32_t kReplacement = 0xFFFD;
constexpr bool kUtf16 = sizeof(wchar_t) == 2;

bool IsSurrogate(std::uint32_t c) {
  return c >= 0xD800 && c <= 0xDFFF;
}

void AppendUtf8(std::string& out, std::uint32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

void AppendWide(std::wstring& out, std::uint32_t c) {
  if (kUtf16 && c >= 0x10000) {
    c -= 0x10000;
    out += static_cast<wchar_t>(0xD800 + (c >> 10));
    out += static_cast<wchar_t>(0xDC00 + (c & 0x3FF));
  } else {
    out += static_cast<wchar_t>(c);
  }
}

// The code point of the UTF-8 sequence at text[i] and its length, or 0 as
// the length when the bytes there are not one.
std::size_t DecodeSequence(std::string_view text, std::size_t i, std::uint32_t& c) {
  const auto lead = static_cast<unsigned char>(text[i]);
  std::size_t length = 0;
  std::uint32_t min = 0;
  if (lead < 0x80) {
    c = lead;
    return 1;
  }
  if ((lead & 0xE0) == 0xC0) {
    length = 2, c = lead & 0x1Fu, min = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3, c = lead & 0x0Fu, min = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4, c = lead & 0x07u, min = 0x10000;
  } else {
    return 0;
  }
  if (i + length > text.size()) return 0;
  for (std::size_t k = 1; k < length; ++k) {
    const auto next = static_cast<unsigned char>(text[i + k]);
    if ((next & 0xC0) != 0x80) return 0;
    c = (c << 6) | (next & 0x3Fu);
  }
  return c >= min && c <= 0x10FFFF && !IsSurrogate(c) ? length : 0;
}

// A code unit as a number: wchar_t is signed where it is 32 bits wide.
std::uint32_t CodeUnit(wchar_t unit) {
  return static_cast<std::uint32_t>(static_cast<std::make_unsigned_t<wchar_t>>(unit));
}

// Both directions note whether anything had to become U+FFFD, so that the
// exact forms can refuse where the others replace.
std::string EncodeUtf8(std::wstring_view text, bool& replaced) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    auto c = CodeUnit(text[i]);
    if (kUtf16 && c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size()) {
      const auto low = CodeUnit(text[i + 1]);
      if (low >= 0xDC00 && low <= 0xDFFF) {
        c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
        ++i;
      }
    }
    if (c > 0x10FFFF || IsSurrogate(c)) {
      c = kReplacement;
      replaced = true;
    }
    AppendUtf8(out, c);
  }
  return out;
}

std::wstring DecodeUtf8(std::string_view text, bool& replaced) {
  std::wstring out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    std::uint32_t c = 0;
    const std::size_t length = DecodeSequence(text, i, c);
    if (length == 0) replaced = true;
    AppendWide(out, length != 0 ? c : kReplacement);
    i += length != 0 ? length : 1;
  }
  return out;
}

}  // namespace

std::string ToUtf8(std::wstring_view text) {
  bool replaced = false;
  return EncodeUtf8(text, replaced);
}

std::wstring FromUtf8(std::string_view text) {
  bool replaced = false;
  return DecodeUtf8(text, replaced);
}

std::optional<std::string> ToUtf8Exact(std::wstring_view text) {
  bool replaced = false;
  std::string out = EncodeUtf8(text, replaced);
  if (replaced) return std::nullopt;
  return out;
}

std::optional<std::wstring> FromUtf8Exact(std::string_view text) {
  bool replaced = false;
  std::wstring out = DecodeUtf8(text, replaced);
  if (replaced) return std::nullopt;
  return out;
}

}  // namespace voderer
