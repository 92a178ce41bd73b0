// -x's second stage: the parts as other DS tools exchange them, from an
// image analysed whole.
#pragma once

#include "nds/io/file_io.h"
#include "nds/unpack/image_model.h"
#include "nds/layout/parts.h"

namespace nds {

// Refuses, before anything is written, parts whose folder is missing and
// data or overlay folders that already hold something.
void check_part_places(const Parts& parts);

// Removes a part an earlier run left; none there is fine.
void remove_stale(const PartPath& part);

// ARM9, ARM7, overlay tables, banner, the data and overlay folders.
void write_parts(const InFile& rom, const ImageModel& model, const Parts& parts,
                 const RunOptions& options);

// Copies a range of the image into a new part. exclusive: the file must be
// new, so two names that one file system takes for the same (case,
// normalisation) are an error instead of a lost file.
void write_range(const InFile& rom, const PartPath& part, std::uint64_t offset,
                 std::uint64_t length, WriteBudget* budget, bool exclusive = false);

}  // namespace nds
