// The box that ends a patch: what it says about the result file's report, in
// the user's language, and its icon. Every sentence is built from the codes
// of the report (result_file.h); ndstool's English reason is only quoted.
#pragma once

#include <string>

#include "platform/dialogs.h"
#include "result_file/result_file.h"

namespace voderer {

struct OutcomeBox {
  std::wstring text;
  BoxIcon icon = BoxIcon::warning;
  // The box offers "Undo" beside OK (undo.h): the image may be patched and
  // its record of the original is kept.
  bool offers_undo = false;
};

// Where the patch took place: the box names the ROM, and its next step
// names the folder to act on.
struct PatchPlaces {
  std::wstring rom;             // as chosen; empty when none was
  std::wstring program_folder;  // the one that holds Bin

  std::wstring BinFolder() const;  // where ndstool and arm7.bin are
  std::wstring RomName() const;    // without its folder; empty when none was chosen
  std::wstring RomFolder() const;
};

// "game.nds was patched." with the sizes, whether anything moved and what
// -c found out about arm7.bin (information); "... was not patched." with
// the kind of failure, ndstool's reason, that the image was left unchanged
// and the next step; "It is not known whether ..." (both warnings). Undo is
// offered after a patch that kept its record, and when it is not known
// whether the image was patched.
OutcomeBox PatchOutcomeText(const PatchPlaces& places, const result_file::Report& report);

// "It is not known whether ... was patched." for a report that could not
// be read (`why`).
OutcomeBox OutcomeNotKnown(const PatchPlaces& places, const std::wstring& why);

}  // namespace voderer
