// Files read and written through fixed buffers, so memory stays flat
// whatever the image size. Errors name the file by its label, the path as
// the user typed it. The system's own calls are behind os_file.h.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "nds/io/byte_source.h"
#include "nds/io/digest.h"
#include "nds/io/error.h"
#include "nds/io/write_budget.h"

namespace nds {

namespace fs = std::filesystem;

inline constexpr std::size_t kIoBuffer = 1u << 20;

// Label of a path for messages: its UTF-8 text.
std::string path_label(const fs::path& path);

class InFile : public ByteSource {
 public:
  InFile(const fs::path& path, std::string label);
  ~InFile() override;
  InFile(const InFile&) = delete;
  InFile& operator=(const InFile&) = delete;

  std::uint64_t size() const override { return size_; }
  const std::string& label() const { return label_; }
  void read_at(std::uint64_t offset, std::span<std::uint8_t> out) const override;
  std::intptr_t native() const { return handle_; }
  // The digests of the chunks of n bytes at offset, a chunk's start (digest.h);
  // callable from any thread.
  std::vector<Digest> digest_at(std::uint64_t offset, std::size_t n) const;

 private:
  std::intptr_t handle_ = -1;
  std::uint64_t size_ = 0;
  std::string label_;
};

// Reads a whole small file; refuses anything larger than max_size.
std::vector<std::uint8_t> read_small_file(const fs::path& path, const std::string& label,
                                          std::uint64_t max_size);

// The size of a file that must be there.
std::uint64_t file_size_of(const fs::path& path, const std::string& label);

class OutFile {
 public:
  // Creates a new file; with exclusive, an existing one is an error. Writes
  // fail once they exceed the budget, when there is one.
  OutFile(const fs::path& path, std::string label, bool exclusive, WriteBudget* budget = nullptr);
  ~OutFile();
  OutFile(const OutFile&) = delete;
  OutFile& operator=(const OutFile&) = delete;

  void write(std::span<const std::uint8_t> data);
  void fill(std::uint8_t byte, std::uint64_t count);
  void copy_from(const InFile& in, std::uint64_t offset, std::uint64_t count);
  // Overwrites bytes already written (used to finish the header last).
  void write_at(std::uint64_t offset, std::span<const std::uint8_t> data);
  void read_back(std::uint64_t offset, std::span<std::uint8_t> out);
  std::uint64_t position() const { return position_; }
  // Writes everything out and asks the system to put it on the disk.
  void sync();
  void close();
  // Told, as the file grows, that bytes [0, end) are in it (the undo
  // record's digest follows the writing on a thread of its own).
  void on_written(std::function<void(std::uint64_t end)> told) { on_written_ = std::move(told); }
  // The digests of the chunks of n bytes at offset (a chunk's start) already in the
  // file, without flushing: callable from another thread than the writer's.
  std::vector<Digest> digest_written(std::uint64_t offset, std::size_t n) const;

 private:
  void flush();
  void spend(std::uint64_t n);
  void write_through(const std::uint8_t* data, std::size_t n);
  bool copy_in_kernel(const InFile& in, std::uint64_t& offset, std::uint64_t& count);
  [[noreturn]] void write_failed(const std::string& why, Cause cause) const;

  std::intptr_t handle_ = -1;
  std::string label_;
  WriteBudget* budget_;
  std::unique_ptr<std::uint8_t[]> buffer_;
  std::size_t used_ = 0;
  std::uint64_t position_ = 0;
  std::function<void(std::uint64_t)> on_written_;
};

}  // namespace nds
