// -x's last stage: the layout file and the extra file beside the header
// part (layout.h), then the header part itself.
#pragma once

#include "nds/io/file_io.h"
#include "nds/unpack/image_model.h"
#include "nds/layout/parts.h"

namespace nds {

void write_layout_files(const InFile& rom, const ImageModel& model, const Parts& parts,
                        const RunOptions& options);

}  // namespace nds
