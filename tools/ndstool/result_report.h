// Telling the program how a run ended. When the environment names a result
// file (result_file::kVariable), each run appends its line there; without it
// nothing is written and ndstool works as it does by hand.
#pragma once

#include <filesystem>
#include <ostream>
#include <string>

#include "rebuild.h"
#include "result_file/result_file.h"

namespace nds {

class ResultReport {
 public:
  // The file named in the environment, or none.
  static ResultReport from_environment();
  explicit ResultReport(std::filesystem::path file) : file_(std::move(file)) {}

  bool enabled() const { return !file_.empty(); }

  // Each appends its line; Error when the line could not be written.
  void unpacked() const;
  // Just before -c replaces the image: a failure here stops the rebuild
  // while the image is still untouched.
  void committing() const;
  void rebuilt(const RebuildResult& result) const;
  void failed(result_file::Stage stage, const std::string& reason) const;

 private:
  void append(const result_file::Line& line) const;

  std::filesystem::path file_;
  // Once a line could not be written (and that was said), no more tries.
  mutable bool broken_ = false;
};

// The command line's two reports that must not turn its outcome around:
// after a failure, and after the image was replaced. A line that cannot be
// written is said on `err`.
void report_failure(const ResultReport& report, result_file::Stage stage, const std::string& reason,
                    std::ostream& err);
void report_rebuilt(const ResultReport& report, const RebuildResult& result, std::ostream& err);

}  // namespace nds
