// Files read and written through fixed buffers, so memory stays flat
// whatever the image size. Errors name the file by its label, the path as
// the user typed it.
#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "byte_source.h"

namespace nds {

namespace fs = std::filesystem;

inline constexpr std::size_t kIoBuffer = 1u << 20;

// Fault injection for tests: how many more bytes OutFile may write before a
// write fails as if the disk were full; negative = no limit. The command
// line sets it from the environment variable VODERER_NDSTOOL_FAIL_AFTER.
extern std::atomic<std::int64_t> g_write_budget;

// Label of a path for messages: its UTF-8 text.
std::string path_label(const fs::path& p);

class InFile : public ByteSource {
 public:
  InFile(const fs::path& path, std::string label);
  ~InFile();
  InFile(const InFile&) = delete;
  InFile& operator=(const InFile&) = delete;

  std::uint64_t size() const override { return size_; }
  const std::string& label() const { return label_; }
  void read_at(std::uint64_t off, std::span<std::uint8_t> out) const override;
  std::intptr_t native() const { return handle_; }

 private:
  std::intptr_t handle_ = -1;
  std::uint64_t size_ = 0;
  std::string label_;
};

// Reads a whole small file; refuses anything larger than max_size.
std::vector<std::uint8_t> read_small_file(const fs::path& path, const std::string& label,
                                          std::uint64_t max_size);

class OutFile {
 public:
  // Creates a new file; with exclusive, an existing one is an error.
  OutFile(const fs::path& path, std::string label, bool exclusive);
  ~OutFile();
  OutFile(const OutFile&) = delete;
  OutFile& operator=(const OutFile&) = delete;

  void write(std::span<const std::uint8_t> data);
  void fill(std::uint8_t byte, std::uint64_t count);
  void copy_from(const InFile& in, std::uint64_t off, std::uint64_t count);
  // Overwrites bytes already written (used to finish the header last).
  void write_at(std::uint64_t off, std::span<const std::uint8_t> data);
  void read_back(std::uint64_t off, std::span<std::uint8_t> out);
  std::uint64_t position() const { return pos_; }
  // Writes everything out and asks the OS to put it on the disk.
  void sync();
  void close();

 private:
  void flush();
  void raw_write(const std::uint8_t* data, std::size_t n);
  void raw_write_at(std::uint64_t off, const std::uint8_t* data, std::size_t n);

  std::intptr_t handle_ = -1;
  std::string label_;
  std::unique_ptr<std::uint8_t[]> buf_;
  std::size_t used_ = 0;
  std::uint64_t pos_ = 0;
};

// Write-protected in the file's attributes (no write permission bit at all).
bool is_read_only(const fs::path& path);

}  // namespace nds
