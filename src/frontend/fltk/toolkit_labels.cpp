#include "frontend/fltk/toolkit_labels.h"

#include <FL/fl_ask.H>

#include <string>

#include "platform/utf8_text.h"
#include "texts/catalogue.h"

namespace voderer::frontend {

void TranslateToolkitLabels() {
  using texts::Msg;
  // FLTK keeps the pointers for the life of the program.
  static const std::string ok = ToUtf8(texts::Text(Msg::button_ok));
  static const std::string close = ToUtf8(texts::Text(Msg::button_close));
  static const std::string cancel = ToUtf8(texts::Text(Msg::button_cancel));
  fl_ok = ok.c_str();
  fl_close = close.c_str();
  fl_cancel = cancel.c_str();
}

}  // namespace voderer::frontend
