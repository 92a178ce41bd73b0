// -x: checks an image completely (image_model.h), then writes its parts
// (part_writer.h) and last the layout files and the header part
// (layout_writer.h).
#pragma once

#include "nds/layout/parts.h"

namespace nds {

void unpack(const PartPath& rom, const Parts& parts, const RunOptions& options);

}  // namespace nds
