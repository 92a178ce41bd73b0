#include "nds/io/digest.h"

#include <algorithm>
#include <stdexcept>
#include <vector>

#define XXH_INLINE_ALL
#include <xxhash.h>

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

ChunkDigests::ChunkDigests(std::uint64_t size)
    : size_(size), chunks_(static_cast<std::size_t>((size + kDigestChunk - 1) / kDigestChunk)) {}

std::uint64_t ChunkDigests::length(std::size_t chunk) const {
  return std::min(kDigestChunk, size_ - start(chunk));
}

Digest chunk_digest(std::span<const std::uint8_t> bytes) {
  Hasher hasher;
  hasher.update(bytes);
  return hasher.finish();
}

std::vector<Digest> chunk_digests(std::span<const std::uint8_t> bytes) {
  std::vector<Digest> digests;
  digests.reserve(static_cast<std::size_t>((bytes.size() + kDigestChunk - 1) / kDigestChunk));
  for (std::size_t at = 0; at < bytes.size(); at += kDigestChunk)
    digests.push_back(
        chunk_digest(bytes.subspan(at, std::min<std::size_t>(kDigestChunk, bytes.size() - at))));
  return digests;
}

void ChunkDigests::set_from(std::size_t first, const std::vector<Digest>& digests) {
  if (first > chunks_.size() || digests.size() > chunks_.size() - first)
    throw std::logic_error("chunk digests beyond the image");
  std::copy(digests.begin(), digests.end(), chunks_.begin() + static_cast<std::ptrdiff_t>(first));
}

Digest ChunkDigests::finish() const {
  Hasher hasher;
  for (const Digest& chunk : chunks_) hasher.update(chunk.bytes);
  return hasher.finish();
}

Digest digest_of(std::uint64_t size, const HashAt& hash) {
  ChunkDigests digests(size);
  for (std::size_t chunk = 0; chunk < digests.count(); chunk += kDigestBatch) {
    const std::uint64_t start = digests.start(chunk);
    const std::uint64_t length = std::min(size - start, kDigestChunk * kDigestBatch);
    digests.set_from(chunk, hash(start, static_cast<std::size_t>(length)));
  }
  return digests.finish();
}

}  // namespace nds
