// The digest that tells one image from another in the undo record. It
// guards against a file that changed, not against an attacker, so a fast
// hash serves: XXH3 with 128 bits, of each MiB of the image, and of those
// digests in order. The chunks can be hashed in any order, so that -c can
// hash the new image on a thread of its own while writing it.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace nds {

// The algorithm's name, as the record and the digest file spell it.
inline constexpr std::string_view kDigestAlgorithm = "xxh3-128/1mib";
inline constexpr std::uint64_t kDigestChunk = std::uint64_t{1} << 20;
// Chunks read through one view of a file: each view's end costs the other
// threads of the process a flush of their address translations.
inline constexpr std::size_t kDigestBatch = 8;

struct Digest {
  std::array<std::uint8_t, 16> bytes{};
  bool operator==(const Digest&) const = default;
};

// 32 lower-case hex digits, and back (nothing unless exactly that).
std::string digest_hex(const Digest& digest);
std::optional<Digest> parse_digest_hex(std::string_view text);

// XXH3-128 of bytes given in pieces (also the record's own checksum).
class Hasher {
 public:
  Hasher();
  ~Hasher();
  Hasher(const Hasher&) = delete;
  Hasher& operator=(const Hasher&) = delete;

  void update(std::span<const std::uint8_t> bytes);
  Digest finish() const;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// An image's digest, chunk by chunk; distinct chunks may be set from
// different threads.
class ChunkDigests {
 public:
  explicit ChunkDigests(std::uint64_t size);
  std::size_t count() const { return chunks_.size(); }
  std::uint64_t start(std::size_t chunk) const { return chunk * kDigestChunk; }
  std::uint64_t length(std::size_t chunk) const;
  void set(std::size_t chunk, const Digest& digest) { chunks_[chunk] = digest; }
  // The digests of the chunks from `first` on, in order.
  void set_from(std::size_t first, const std::vector<Digest>& digests);
  Digest finish() const;

 private:
  std::uint64_t size_;
  std::vector<Digest> chunks_;
};

// XXH3-128 of one chunk's bytes; and of each chunk of `length` bytes of a
// file from offset, a chunk's start, in order.
Digest chunk_digest(std::span<const std::uint8_t> bytes);
std::vector<Digest> chunk_digests(std::span<const std::uint8_t> bytes);
using HashAt = std::function<std::vector<Digest>(std::uint64_t offset, std::size_t length)>;
Digest digest_of(std::uint64_t size, const HashAt& hash);

}  // namespace nds
