// What -x found unusual in an image and how it kept it, one line each; -v
// prints them.
#pragma once

#include <string>
#include <vector>

namespace nds {

using Notes = std::vector<std::string>;

}  // namespace nds
