// FLTK draws each text with one font and no fallback, so Hangul (the filter
// text, Korean file names) needs a font that has it.
#pragma once

namespace voderer::frontend {

// Makes FLTK's default face the system's sans-serif font for Korean when
// one is installed; otherwise leaves FLTK's choice alone.
void UseFontWithHangul();

}  // namespace voderer::frontend
