// Replaces a file the user owns as one step: the new contents go to a
// temporary file in the same folder, which is flushed to the disk and then
// renamed over the target. Until commit() the target is untouched; a
// failure before or during it removes the temporary file.
#pragma once

#include <filesystem>
#include <optional>

#include "nds/io/file_io.h"
#include "nds/layout/parts.h"
#include "nds/io/write_budget.h"

namespace nds {

inline constexpr const char* kTempPrefix = ".ndstool-tmp-";

class AtomicReplace {
 public:
  AtomicReplace(const PartPath& target, WriteBudget* budget);
  ~AtomicReplace();
  AtomicReplace(const AtomicReplace&) = delete;
  AtomicReplace& operator=(const AtomicReplace&) = delete;

  OutFile& out() { return *out_; }
  void commit();

 private:
  PartPath target_;
  std::filesystem::path temp_;
  std::optional<OutFile> out_;
  bool done_ = false;
};

}  // namespace nds
