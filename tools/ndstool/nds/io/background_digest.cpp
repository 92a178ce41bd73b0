#include "nds/io/background_digest.h"

namespace nds {

BackgroundDigest::BackgroundDigest(std::uint64_t size, HashAt hash)
    : digests_(size), hash_(std::move(hash)), thread_([this] { run(); }) {}

BackgroundDigest::~BackgroundDigest() {
  stop();
}

void BackgroundDigest::written(std::uint64_t end) {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    written_ = end;
    // Wakes the thread only once the chunks it waits for are all there.
    if (end < awaited_) return;
  }
  changed_.notify_one();
}

std::uint64_t BackgroundDigest::end_of(std::size_t first, std::size_t count) const {
  const std::size_t last = first + count - 1;
  return digests_.start(last) + digests_.length(last);
}

void BackgroundDigest::hash(std::size_t first, std::size_t count) {
  const std::uint64_t start = digests_.start(first);
  digests_.set_from(first, hash_(start, static_cast<std::size_t>(end_of(first, count) - start)));
}

std::size_t BackgroundDigest::batch(std::size_t first) const {
  return std::min(kDigestBatch, digests_.count() - first);
}

void BackgroundDigest::run() {
  try {
    for (std::size_t chunk = 0; chunk < digests_.count(); chunk += batch(chunk)) {
      const std::uint64_t end = end_of(chunk, batch(chunk));
      {
        std::unique_lock<std::mutex> lock(mutex_);
        awaited_ = end;
        changed_.wait(lock, [&] { return stopping_ || written_ >= end; });
        if (stopping_) return;
      }
      hash(chunk, batch(chunk));
    }
  } catch (...) {
    error_ = std::current_exception();
  }
}

void BackgroundDigest::stop() {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_one();
  if (thread_.joinable()) thread_.join();
}

Digest BackgroundDigest::finish(
    const std::vector<std::pair<std::uint64_t, std::uint64_t>>& rewritten) {
  written(~std::uint64_t{0});
  // Everything is written: the thread ends on its own once it has read it all.
  if (thread_.joinable()) thread_.join();
  if (error_) std::rethrow_exception(error_);
  for (const auto& [start, end] : rewritten) {
    if (start >= end) continue;
    const auto last = static_cast<std::size_t>((end - 1) / kDigestChunk);
    for (auto chunk = static_cast<std::size_t>(start / kDigestChunk);
         chunk <= last && chunk < digests_.count(); ++chunk)
      hash(chunk, 1);
  }
  return digests_.finish();
}

}  // namespace nds
