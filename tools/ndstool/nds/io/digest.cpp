#include "nds/io/digest.h"

#include <vector>

#define XXH_INLINE_ALL
#include <xxhash.h>

#include "nds/io/file_io.h"

namespace nds {

struct Hasher::State {
  XXH3_state_t xxh;
};

Hasher::Hasher() : state_(std::make_unique<State>()) {
  XXH3_128bits_reset(&state_->xxh);
}

Hasher::~Hasher() = default;

void Hasher::update(std::span<const std::uint8_t> bytes) {
  XXH3_128bits_update(&state_->xxh, bytes.data(), bytes.size());
}

Digest Hasher::finish() const {
  XXH128_canonical_t canonical;
  XXH128_canonicalFromHash(&canonical, XXH3_128bits_digest(&state_->xxh));
  Digest digest;
  for (std::size_t i = 0; i < digest.bytes.size(); ++i) digest.bytes[i] = canonical.digest[i];
  return digest;
}

std::string digest_hex(const Digest& digest) {
  constexpr char kHex[] = "0123456789abcdef";
  std::string out;
  for (std::uint8_t byte : digest.bytes) {
    out += kHex[byte >> 4];
    out += kHex[byte & 0xF];
  }
  return out;
}

std::optional<Digest> parse_digest_hex(std::string_view text) {
  Digest digest;
  if (text.size() != digest.bytes.size() * 2) return std::nullopt;
  const auto nibble = [](char c) {
    return c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
  };
  for (std::size_t i = 0; i < digest.bytes.size(); ++i) {
    const int high = nibble(text[2 * i]), low = nibble(text[2 * i + 1]);
    if (high < 0 || low < 0) return std::nullopt;
    digest.bytes[i] = static_cast<std::uint8_t>(high * 16 + low);
  }
  return digest;
}

Digest digest_of(std::uint64_t size, const ReadAt& read) {
  Hasher hasher;
  std::vector<std::uint8_t> buffer(kIoBuffer);
  for (std::uint64_t at = 0; at < size;) {
    const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(size - at, buffer.size()));
    const std::span<std::uint8_t> chunk(buffer.data(), n);
    read(at, chunk);
    hasher.update(chunk);
    at += n;
  }
  return hasher.finish();
}

}  // namespace nds
