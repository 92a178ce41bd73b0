// A file's digest (digest.h) worked out on a thread of its own while the
// file is read or written, so that it costs the run little time where a
// second core is free.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <exception>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "nds/io/digest.h"

namespace nds {

class BackgroundDigest {
 public:
  // Hashes `size` bytes through `hash`, a batch of chunks once written(end)
  // says they are there; written(size) at once for a file that is complete already.
  BackgroundDigest(std::uint64_t size, HashAt hash);
  ~BackgroundDigest();
  BackgroundDigest(const BackgroundDigest&) = delete;
  BackgroundDigest& operator=(const BackgroundDigest&) = delete;

  // Bytes [0, end) are in the file.
  void written(std::uint64_t end);
  // Waits for the thread, hashes again the chunks over `rewritten` ranges
  // (bytes written over after the thread had read them), and gives the
  // digest; the thread's read error, if it had one.
  Digest finish(const std::vector<std::pair<std::uint64_t, std::uint64_t>>& rewritten = {});

 private:
  void run();
  void hash(std::size_t first, std::size_t count);
  std::size_t batch(std::size_t first) const;
  std::uint64_t end_of(std::size_t first, std::size_t count) const;
  void stop();

  ChunkDigests digests_;
  HashAt hash_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::uint64_t written_ = 0;
  std::uint64_t awaited_ = 0;
  bool stopping_ = false;
  std::exception_ptr error_;
  std::thread thread_;
};

}  // namespace nds
