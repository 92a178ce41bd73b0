// A failed patch in the user's language: what kind of failure it was, and
// what the user can do next, from the codes of ndstool's result line.
#pragma once

#include <string>

#include "patch/outcome_text.h"
#include "result_file/result_file.h"

namespace voderer {

// One sentence for the kind of failure (and for a refused arm7.bin, why).
std::wstring FailureSentence(const result_file::Line& failed);

// The next step, naming the folder to act on where there is one.
std::wstring NextStep(const result_file::Line& failed, const PatchPlaces& places);

}  // namespace voderer
