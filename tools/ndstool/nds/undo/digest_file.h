// The unpacked image's digest, which -x leaves beside the layout files when
// an undo record is wanted, so that -c never reads the whole image again:
// one line, "voderer-ndstool-digest 1 xxh3-128 SIZE HEX".
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "nds/io/digest.h"

namespace nds {

struct ImageDigest {
  std::uint64_t size = 0;
  Digest digest;
  bool operator==(const ImageDigest&) const = default;
};

std::string format_digest_file(const ImageDigest& image);
// Nothing unless the text is exactly as format_digest_file writes it.
std::optional<ImageDigest> parse_digest_file(std::string_view text);

}  // namespace nds
