// The digest that tells one image from another in the undo record: XXH3 with
// 128 bits. It guards against a file that changed, not against an attacker,
// so a fast hash serves.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace nds {

// The algorithm's name, as the record and the digest file spell it.
inline constexpr std::string_view kDigestAlgorithm = "xxh3-128";

struct Digest {
  std::array<std::uint8_t, 16> bytes{};
  bool operator==(const Digest&) const = default;
};

// 32 lower-case hex digits, and back (nothing unless exactly that).
std::string digest_hex(const Digest& digest);
std::optional<Digest> parse_digest_hex(std::string_view text);

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

// Reads `size` bytes in order through read(offset, out) and hashes them.
using ReadAt = std::function<void(std::uint64_t, std::span<std::uint8_t>)>;
Digest digest_of(std::uint64_t size, const ReadAt& read);

}  // namespace nds
