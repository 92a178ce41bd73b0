#include "frontend/fltk/fonts.h"

#include <FL/Enumerations.H>
#include <FL/Fl.H>
#include <fontconfig/fontconfig.h>

#include <string>

namespace voderer::frontend {

void UseFontWithHangul() {
  static std::string face;  // FLTK keeps the pointer
  if (!face.empty()) return;
  FcPattern* wanted = FcNameParse(reinterpret_cast<const FcChar8*>("sans:lang=ko"));
  if (wanted == nullptr) return;
  FcConfigSubstitute(nullptr, wanted, FcMatchPattern);
  FcDefaultSubstitute(wanted);
  FcResult result = FcResultNoMatch;
  FcPattern* found = FcFontMatch(nullptr, wanted, &result);
  FcPatternDestroy(wanted);
  if (found == nullptr) return;
  FcChar8* family = nullptr;
  FcCharSet* characters = nullptr;
  // Only a font that really has Hangul ("한") is worth the switch.
  if (FcPatternGetString(found, FC_FAMILY, 0, &family) == FcResultMatch &&
      FcPatternGetCharSet(found, FC_CHARSET, 0, &characters) == FcResultMatch &&
      FcCharSetHasChar(characters, 0xD55C)) {
    // A leading space marks a plain (not bold, not italic) FLTK face.
    face = std::string(" ") + reinterpret_cast<const char*>(family);
    Fl::set_font(FL_HELVETICA, face.c_str());
  }
  FcPatternDestroy(found);
}

}  // namespace voderer::frontend
