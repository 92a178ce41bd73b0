#include "nds/undo/digest_file.h"

namespace nds {

namespace {

constexpr std::string_view kHead = "voderer-ndstool-digest 1 ";

}  // namespace

std::string format_digest_file(const ImageDigest& image) {
  return std::string(kHead) + std::string(kDigestAlgorithm) + " " + std::to_string(image.size) +
         " " + digest_hex(image.digest) + "\n";
}

std::optional<ImageDigest> parse_digest_file(std::string_view text) {
  const std::string_view prefix = kHead;
  const std::size_t algorithm_end = prefix.size() + kDigestAlgorithm.size() + 1;
  if (text.size() < algorithm_end || text.substr(0, prefix.size()) != prefix ||
      text.substr(prefix.size(), kDigestAlgorithm.size()) != kDigestAlgorithm)
    return std::nullopt;
  std::string_view rest = text.substr(algorithm_end);
  const std::size_t space = rest.find(' ');
  if (space == std::string_view::npos || space == 0 || space > 20) return std::nullopt;
  ImageDigest image;
  for (char c : rest.substr(0, space)) {
    if (c < '0' || c > '9' || image.size > (UINT64_MAX - 9) / 10) return std::nullopt;
    image.size = image.size * 10 + static_cast<std::uint64_t>(c - '0');
  }
  rest.remove_prefix(space + 1);
  if (rest.empty() || rest.back() != '\n') return std::nullopt;
  const std::optional<Digest> digest = parse_digest_hex(rest.substr(0, rest.size() - 1));
  if (!digest) return std::nullopt;
  image.digest = *digest;
  // One way of writing it: no leading zeros.
  if (format_digest_file(image) != text) return std::nullopt;
  return image;
}

}  // namespace nds
