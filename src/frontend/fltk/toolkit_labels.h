// FLTK's own labels (fl_ok, fl_close, fl_cancel), which its boxes and file
// chooser show, in the user's language.
#pragma once

namespace voderer::frontend {

// Sets them from the catalogue; once the language has been chosen.
void TranslateToolkitLabels();

}  // namespace voderer::frontend
