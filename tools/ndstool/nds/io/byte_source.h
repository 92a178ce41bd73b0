// What the image reader reads from: an open file, or bytes in memory (so the
// reader can be driven by tests and fuzzers without touching the disk).
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace nds {

class ByteSource {
 public:
  virtual ~ByteSource() = default;
  virtual std::uint64_t size() const = 0;
  // Reads exactly out.size() bytes at off; anything short is an error.
  virtual void read_at(std::uint64_t off, std::span<std::uint8_t> out) const = 0;
  std::vector<std::uint8_t> read_vector(std::uint64_t off, std::size_t n) const;
};

class MemorySource : public ByteSource {
 public:
  explicit MemorySource(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}
  std::uint64_t size() const override { return bytes_.size(); }
  void read_at(std::uint64_t off, std::span<std::uint8_t> out) const override;

 private:
  std::span<const std::uint8_t> bytes_;
};

}  // namespace nds
