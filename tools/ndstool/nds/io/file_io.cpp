#include "nds/io/file_io.h"

#include <algorithm>
#include <cstring>

#include "nds/io/error.h"
#include "nds/io/os_file.h"

namespace nds {

namespace {

// Below this a copy through the buffer costs less than asking the kernel.
constexpr std::uint64_t kKernelCopyMin = 64u << 10;
constexpr std::size_t kKernelCopyStep = 1u << 30;

// A file that cannot be read is not a read-only disk: only a file in use,
// or one that is not there, says what to do next.
Cause read_cause(Cause cause) {
  return cause == Cause::ReadOnly ? Cause::None : cause;
}

// Reads exactly out.size() bytes at offset; what names the operation in errors.
void read_exact(os::Handle handle, std::uint64_t offset, std::span<std::uint8_t> out,
                const std::string& what) {
  std::size_t done = 0;
  while (done < out.size()) {
    const std::size_t want = std::min<std::size_t>(out.size() - done, kIoBuffer);
    const std::int64_t got = os::read_at(handle, offset + done, out.data() + done, want);
    if (got < 0)
      fail(ErrorKind::ReadFailed, what + ": " + os::last_error(), read_cause(os::last_cause()));
    if (got == 0) fail(ErrorKind::ReadFailed, what + ": the file shrank while being read");
    done += static_cast<std::size_t>(got);
  }
}

// Hashed where they lie in the system's cache when it can show them, else
// read a chunk at a time.
std::vector<Digest> digest_range(os::Handle handle, std::uint64_t offset, std::size_t n,
                                 const std::string& what) {
  if (const std::uint8_t* view = os::map_view(handle, offset, n)) {
    std::vector<Digest> digests = chunk_digests(std::span<const std::uint8_t>(view, n));
    os::unmap_view(view, n);
    return digests;
  }
  std::vector<Digest> digests;
  std::vector<std::uint8_t> bytes(
      static_cast<std::size_t>(std::min<std::uint64_t>(n, kDigestChunk)));
  for (std::size_t done = 0; done < n; done += bytes.size()) {
    bytes.resize(std::min(bytes.size(), n - done));
    read_exact(handle, offset + done, bytes, what);
    digests.push_back(chunk_digest(bytes));
  }
  return digests;
}

}  // namespace

std::string path_label(const fs::path& path) {
  auto u8 = path.u8string();
  return std::string(u8.begin(), u8.end());
}

InFile::InFile(const fs::path& path, std::string label) : label_(std::move(label)) {
  os::Opened opened = os::open_for_reading(path);
  if (!opened.problem.empty())
    fail(ErrorKind::ReadFailed, "cannot read " + label_ + ": " + opened.problem,
         read_cause(opened.cause));
  handle_ = opened.handle;
  size_ = opened.size;
}

InFile::~InFile() {
  if (handle_ != os::kNoHandle) os::close(handle_);
}

void InFile::read_at(std::uint64_t offset, std::span<std::uint8_t> out) const {
  if (offset > size_ || out.size() > size_ - offset)
    fail(ErrorKind::ReadFailed, label_ + ": read beyond the end of the file");
  read_exact(handle_, offset, out, "cannot read " + label_);
}

std::vector<Digest> InFile::digest_at(std::uint64_t offset, std::size_t n) const {
  if (offset > size_ || n > size_ - offset)
    fail(ErrorKind::ReadFailed, label_ + ": read beyond the end of the file");
  return digest_range(handle_, offset, n, "cannot read " + label_);
}

std::vector<std::uint8_t> read_small_file(const fs::path& path, const std::string& label,
                                          std::uint64_t max_size) {
  InFile file(path, label);
  if (file.size() > max_size)
    fail(ErrorKind::BadPart, label + ": too large (" + std::to_string(file.size()) +
                                 " bytes, at most " + std::to_string(max_size) + ")");
  return file.read_vector(0, static_cast<std::size_t>(file.size()));
}

std::uint64_t file_size_of(const fs::path& path, const std::string& label) {
  return InFile(path, label).size();
}

OutFile::OutFile(const fs::path& path, std::string label, bool exclusive, WriteBudget* budget)
    : handle_(os::create_file(path, exclusive)),
      label_(std::move(label)),
      budget_(budget),
      buffer_(new std::uint8_t[kIoBuffer]) {
  if (handle_ == os::kNoHandle)
    fail(ErrorKind::WriteFailed, "cannot create " + label_ + ": " + os::last_error(),
         os::last_cause());
}

OutFile::~OutFile() {
  if (handle_ != os::kNoHandle) os::close(handle_);
}

void OutFile::write_failed(const std::string& why, Cause cause) const {
  fail(ErrorKind::WriteFailed, "cannot write " + label_ + ": " + why, cause);
}

void OutFile::spend(std::uint64_t n) {
  if (budget_ != nullptr && !budget_->take(n))
    write_failed("No space left on device (injected)", Cause::NoSpace);
}

void OutFile::write_through(const std::uint8_t* data, std::size_t n) {
  spend(n);
  while (n > 0) {
    const std::int64_t done = os::write(handle_, data, n);
    if (done < 0) write_failed(os::last_error(), os::last_cause());
    if (done == 0) write_failed("No space left on device", Cause::NoSpace);
    data += done;
    n -= static_cast<std::size_t>(done);
  }
}

void OutFile::flush() {
  if (used_ == 0) return;
  const std::size_t n = used_;
  used_ = 0;
  write_through(buffer_.get(), n);
  if (on_written_) on_written_(position_);
}

void OutFile::write(std::span<const std::uint8_t> data) {
  position_ += data.size();
  while (!data.empty()) {
    const std::size_t n = std::min(data.size(), kIoBuffer - used_);
    std::memcpy(buffer_.get() + used_, data.data(), n);
    used_ += n;
    data = data.subspan(n);
    if (used_ == kIoBuffer) flush();
  }
}

void OutFile::fill(std::uint8_t byte, std::uint64_t count) {
  position_ += count;
  while (count > 0) {
    const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(count, kIoBuffer - used_));
    std::memset(buffer_.get() + used_, byte, n);
    used_ += n;
    count -= n;
    if (used_ == kIoBuffer) flush();
  }
}

// Large ranges go file to file inside the kernel where it can; false when
// some are left for the plain copy (unsupported here, or a short source:
// the plain copy says which).
bool OutFile::copy_in_kernel(const InFile& in, std::uint64_t& offset, std::uint64_t& count) {
  if (count < kKernelCopyMin || !os::can_copy_in_kernel()) return false;
  flush();
  while (count > 0) {
    // Smaller steps when someone follows the writing.
    const std::uint64_t most = on_written_ ? kIoBuffer * 8 : kKernelCopyStep;
    const auto step = static_cast<std::size_t>(std::min<std::uint64_t>(count, most));
    spend(step);
    const std::int64_t copied = os::copy_in_kernel(in.native(), offset, handle_, step);
    if (copied <= 0) return false;
    count -= static_cast<std::uint64_t>(copied);
    position_ += static_cast<std::uint64_t>(copied);
    offset += static_cast<std::uint64_t>(copied);
    if (on_written_) on_written_(position_);
  }
  return true;
}

void OutFile::copy_from(const InFile& in, std::uint64_t offset, std::uint64_t count) {
  if (offset > in.size() || count > in.size() - offset)
    fail(ErrorKind::ReadFailed, in.label() + ": read beyond the end of the file");
  if (copy_in_kernel(in, offset, count)) return;
  // Plain copy through the free part of the output buffer.
  while (count > 0) {
    if (used_ == kIoBuffer) flush();
    const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(count, kIoBuffer - used_));
    in.read_at(offset, std::span<std::uint8_t>(buffer_.get() + used_, n));
    used_ += n;
    position_ += n;
    offset += n;
    count -= n;
  }
}

void OutFile::write_at(std::uint64_t offset, std::span<const std::uint8_t> data) {
  flush();
  spend(data.size());
  const std::uint8_t* bytes = data.data();
  for (std::size_t left = data.size(); left > 0;) {
    const std::int64_t done = os::write_at(handle_, offset, bytes, left);
    if (done <= 0) write_failed(os::last_error(), os::last_cause());
    bytes += done;
    left -= static_cast<std::size_t>(done);
    offset += static_cast<std::uint64_t>(done);
  }
}

void OutFile::read_back(std::uint64_t offset, std::span<std::uint8_t> out) {
  flush();
  read_exact(handle_, offset, out, "cannot read back " + label_);
}

std::vector<Digest> OutFile::digest_written(std::uint64_t offset, std::size_t n) const {
  return digest_range(handle_, offset, n, "cannot read back " + label_);
}

void OutFile::sync() {
  flush();
  if (!os::sync(handle_)) write_failed(os::last_error(), os::last_cause());
}

void OutFile::close() {
  flush();
  if (handle_ == os::kNoHandle) return;
  const bool closed = os::close(handle_);
  handle_ = os::kNoHandle;
  if (!closed) write_failed(os::last_error(), os::last_cause());
}

}  // namespace nds
