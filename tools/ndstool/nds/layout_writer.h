// -x's last stage: the layout file and the extra file beside the header
// part (layout.h), then the header part itself.
#pragma once

#include "nds/file_io.h"
#include "nds/image_model.h"
#include "nds/parts.h"

namespace nds {

void write_layout_files(const InFile& rom, const ImageModel& model, const Parts& parts,
                        const RunOptions& options);

}  // namespace nds
