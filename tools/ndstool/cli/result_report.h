// Telling the program how a run ended. When the program names a result
// file (main reads result_file::kVariable from the environment), each run
// appends its line there; without it nothing is written and ndstool works as
// it does by hand.
#pragma once

#include <filesystem>
#include <string>

#include "nds/io/error.h"
#include "nds/rebuild/rebuild.h"
#include "result_file/result_file.h"

namespace nds::cli {

class ResultReport {
 public:
  explicit ResultReport(std::filesystem::path file) : file_(std::move(file)) {}

  // Each appends its line; Error when the line could not be written.
  void unpacked() const;
  // Just before -c replaces the image: a failure here stops the rebuild
  // while the image is still untouched.
  void committing() const;
  void rebuilt(const RebuildResult& result) const;
  void undone(bool unchanged) const;
  void failed(result_file::Stage stage, const Error& error) const;

 private:
  void append(const result_file::Line& line) const;

  std::filesystem::path file_;
  // Once a line could not be written (and that was said), no more tries.
  mutable bool broken_ = false;
};

// The command line's two reports that must not turn its outcome around:
// after a failure, and after the image was replaced. Each returns the line
// for the error stream when its report could not be written, else "".
std::string report_failure(const ResultReport& report, result_file::Stage stage,
                           const Error& error);

// How the window sorts an error: what it was, and so what to do next.
result_file::Failure failure_of(const Error& error);
std::string report_rebuilt(const ResultReport& report, const RebuildResult& result);
std::string report_undone(const ResultReport& report, bool unchanged);

}  // namespace nds::cli
