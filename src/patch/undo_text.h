// The box that ends an undo, in the user's language, from the codes of
// ndstool's undo line (result_file.h); ndstool's English reason is only
// quoted.
#pragma once

#include "patch/outcome_text.h"
#include "result_file/result_file.h"

namespace voderer {

// "game.nds is back as it was before the patch." (or was already so), or
// "... could not be given back ..." with why, that the image was left as it
// was, and (when `record_kept`) that Undo may be tried again. Undo is
// offered again only then.
OutcomeBox UndoOutcomeText(const PatchPlaces& places, const result_file::UndoReport& report,
                           bool record_kept);

}  // namespace voderer
