// `ndstool --undo RECORD ROM`: gives back the image the record's -c
// replaced. The record is applied to a temporary file beside the image,
// the result checked against the original's digest, and only then renamed
// over the image, as -c replaces it.
#pragma once

#include "nds/layout/parts.h"

namespace nds {

enum class UndoDone {
  restored,   // the original image is back
  unchanged,  // the image already was the original: nothing to undo
};

// An Error of kind UndoMismatch when the image is neither the patched nor
// the original one, BadUndoRecord when the record is not one or does not
// give the original back; the image is then as it was.
UndoDone undo_image(const PartPath& record, const PartPath& rom, const RunOptions& options);

}  // namespace nds
