// Replaces a file the user owns as one step: the new contents go to a
// temporary file in the same folder, which is flushed to the disk and then
// renamed over the target. Until commit() the target is untouched; a
// failure before or during it removes the temporary file.
#pragma once

#include <filesystem>
#include <memory>
#include <optional>

#include "file_io.h"
#include "parts.h"

namespace nds {

inline constexpr const char* kTempPrefix = ".ndstool-tmp-";

class AtomicReplace {
 public:
  explicit AtomicReplace(const PartPath& target);
  ~AtomicReplace();
  AtomicReplace(const AtomicReplace&) = delete;
  AtomicReplace& operator=(const AtomicReplace&) = delete;

  OutFile& out() { return *out_; }
  const std::filesystem::path& temp_path() const { return temp_; }
  void commit();

 private:
  PartPath target_;
  std::filesystem::path temp_;
  std::optional<OutFile> out_;
  bool done_ = false;
};

}  // namespace nds
