// The icon of the FLTK message box. FLTK's own boxes know only "i", "!"
// and "?" in one colour; each kind gets its symbol and colours here, on the
// look of FLTK's message icon (fl_message_icon()).
#pragma once

#include <FL/Fl_Box.H>

#include "platform/dialogs.h"

namespace voderer::frontend {

// Gives `icon` the look of FLTK's message icon, relabelled for `kind`:
// a blue "i" for information, an amber "!" for a warning, a white "×" on
// red for an error. `kind` is not BoxIcon::none.
void DressBoxIcon(Fl_Box& icon, BoxIcon kind);

}  // namespace voderer::frontend
