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

namespace nds {

namespace fs = std::filesystem;

inline constexpr std::size_t kIoBuffer = 1u << 20;

// Test hook: when positive, counts low-level writes down and makes the one
// that reaches zero fail as if the disk were full. Negative = off.
extern std::atomic<long> g_write_fault_countdown;

// Label of a path for messages: its UTF-8 text.
std::string path_label(const fs::path& p);

class InFile {
public:
    InFile(const fs::path& path, std::string label);
    ~InFile();
    InFile(const InFile&) = delete;
    InFile& operator=(const InFile&) = delete;

    std::uint64_t size() const { return size_; }
    const std::string& label() const { return label_; }
    // Reads exactly n bytes at off; a short read is an error.
    void read_at(std::uint64_t off, std::span<std::uint8_t> out) const;
    std::vector<std::uint8_t> read_vector(std::uint64_t off, std::size_t n) const;
    std::intptr_t native() const { return handle_; }

private:
    std::intptr_t handle_ = -1;
    std::uint64_t size_ = 0;
    std::string label_;
};

// Reads a whole small file; refuses anything larger than max_size.
std::vector<std::uint8_t> read_small_file(const fs::path& path, const std::string& label, std::uint64_t max_size);

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
