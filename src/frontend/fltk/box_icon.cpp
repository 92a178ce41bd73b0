#include "frontend/fltk/box_icon.h"

#include <FL/Enumerations.H>
#include <FL/fl_ask.H>

namespace voderer::frontend {

void DressBoxIcon(Fl_Box& icon, BoxIcon kind) {
  // FLTK's message icon: its frame, face and size (fl_message, fl_alert).
  const Fl_Widget& model = *fl_message_icon();
  icon.box(model.box());
  icon.labelfont(model.labelfont());
  icon.labelsize(model.labelsize());
  icon.color(model.color());
  switch (kind) {
    case BoxIcon::none:
    case BoxIcon::information:
      icon.label("i");
      icon.labelcolor(model.labelcolor());
      return;
    case BoxIcon::warning:
      icon.label("!");
      icon.labelcolor(fl_rgb_color(0xC8, 0x82, 0x00));
      return;
    case BoxIcon::error: break;
  }
  icon.label("\xC3\x97");  // U+00D7, the multiplication sign, as a cross
  icon.color(fl_rgb_color(0xD0, 0x20, 0x20));
  icon.labelcolor(FL_WHITE);
}

}  // namespace voderer::frontend
