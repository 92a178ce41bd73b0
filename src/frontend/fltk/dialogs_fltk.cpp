#include "frontend/fltk/dialogs_fltk.h"

#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Native_File_Chooser.H>
#include <FL/Fl_Return_Button.H>
#include <FL/Fl_Window.H>
#include <FL/fl_ask.H>
#include <FL/fl_draw.H>

#include <algorithm>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "frontend/fltk/box_icon.h"
#include "frontend/fltk/fonts.h"
#include "frontend/fltk/toolkit_labels.h"
#include "frontend/window.h"
#include "platform/runtime.h"
#include "platform/utf8_text.h"
#include "texts/catalogue.h"

namespace voderer::frontend {

namespace {

// FLTK reads "@" in a label as the start of a symbol; "@@" is a plain "@".
std::string LabelText(const std::wstring& text) {
  std::string out;
  for (char c : ToUtf8(text)) {
    out += c;
    if (c == '@') out += '@';
  }
  return out;
}

// The box's window: Ctrl+C copies the message, as the message box of
// Windows does, so that it can be pasted into a report.
class MessageWindow : public Fl_Window {
 public:
  MessageWindow(int width, int height, const char* title, std::string text)
      : Fl_Window(width, height, title), text_(std::move(text)) {}

  int handle(int event) override {
    if (event == FL_KEYBOARD && Fl::event_state(FL_CTRL) != 0 && Fl::event_key() == 'c') {
      Fl::copy(text_.c_str(), static_cast<int>(text_.size()), 1);
      return 1;
    }
    return Fl_Window::handle(event);
  }

 private:
  std::string text_;
};

}  // namespace

namespace {

// The box: the icon, the wrapped text and OK, with Undo beside it when
// `undo_label` is given. True only when Undo was pressed: Return presses
// OK, the default, and Escape and the close button close the box as OK.
bool ShowBox(const std::wstring& text, const std::wstring& title, BoxIcon icon,
             const std::string* undo_label) {
  // Our own box rather than fl_message or fl_choice: it copies its text with
  // Ctrl+C, wraps long lines, has no icon where none is wanted (About), and
  // its Escape and close mean OK.
  UseFontWithHangul();
  const std::string label = LabelText(text);
  const std::string caption = ToUtf8(title);
  constexpr int kMargin = 12;
  constexpr int kIconSize = 50;
  constexpr int kButtonWidth = 80;
  constexpr int kButtonHeight = 25;
  fl_font(FL_HELVETICA, FL_NORMAL_SIZE);
  // Long lines (an error naming a deep path) wrap at about half a screen.
  const int wrap_width = std::min(600, std::max(200, Fl::w() / 2));
  int text_width = 0;
  int text_height = 0;
  fl_measure(label.c_str(), text_width, text_height);
  if (text_width > wrap_width) {
    text_width = wrap_width;
    fl_measure(label.c_str(), text_width, text_height);
  }
  // A left-aligned label is drawn 3 pixels in from each side: without
  // them it would wrap once more than measured.
  text_width += 6;
  int undo_width = 0;
  if (undo_label != nullptr) {
    int label_height = 0;
    fl_measure(undo_label->c_str(), undo_width, label_height, 0);
    undo_width = std::max(kButtonWidth, undo_width + 2 * kMargin);
  }
  const int buttons_width = kButtonWidth + (undo_label != nullptr ? kMargin + undo_width : 0);
  const int text_x = icon == BoxIcon::none ? kMargin : 2 * kMargin + kIconSize;
  const int body_height = icon == BoxIcon::none ? text_height : std::max(text_height, kIconSize);
  const int width = std::max(text_x + text_width, buttons_width) + kMargin;
  const int height = body_height + kButtonHeight + 3 * kMargin;

  MessageWindow box(width, height, caption.c_str(), ToUtf8(text));
  Fl_Box symbol(kMargin, kMargin, kIconSize, kIconSize);
  if (icon == BoxIcon::none) {
    symbol.hide();
  } else {
    DressBoxIcon(symbol, icon);
  }
  Fl_Box message(text_x, kMargin, text_width, text_height, label.c_str());
  message.align(FL_ALIGN_LEFT | FL_ALIGN_TOP | FL_ALIGN_INSIDE | FL_ALIGN_WRAP);
  // OK, the default: Return (and Escape, as for any box) closes.
  const int buttons_x = (width - buttons_width) / 2;
  const int buttons_y = height - kMargin - kButtonHeight;
  Fl_Return_Button ok(buttons_x, buttons_y, kButtonWidth, kButtonHeight, fl_ok);
  ok.callback([](Fl_Widget* button, void*) { button->window()->hide(); });
  bool undo_chosen = false;
  // Its label's "&" makes Alt and the letter press it.
  Fl_Button undo(buttons_x + kButtonWidth + kMargin, buttons_y, undo_width, kButtonHeight,
                 undo_label != nullptr ? undo_label->c_str() : nullptr);
  undo.callback(
      [](Fl_Widget* button, void* chosen) {
        *static_cast<bool*>(chosen) = true;
        button->window()->hide();
      },
      &undo_chosen);
  if (undo_label == nullptr) undo.hide();
  box.end();
  box.set_modal();
  box.position((Fl::w() - width) / 2, (Fl::h() - height) / 2);
  box.show();
  ok.take_focus();
  while (box.shown()) Fl::wait();
  return undo_chosen;
}

}  // namespace

void FltkDialogs::MsgBox(const std::wstring& text, const std::wstring& title, BoxIcon icon) {
  ShowBox(text, title, icon, nullptr);
}

bool FltkDialogs::OfferUndo(const std::wstring& text, const std::wstring& title, BoxIcon icon) {
  const std::string undo = ToUtf8(texts::Text(texts::Msg::button_undo));
  return ShowBox(text, title, icon, &undo);
}

std::string ChooserFilter(const std::wstring& filter) {
  // "desc|pattern|desc|pattern|" becomes "desc\tpattern\ndesc\tpattern".
  // The chooser shows each description followed by "(pattern)"; where the
  // description already ends so, that part is left to the chooser, so that
  // the text shown is the description as written.
  std::vector<std::wstring_view> items;
  for (std::wstring_view rest = filter; !rest.empty();) {
    const std::size_t bar = rest.find(L'|');
    items.push_back(rest.substr(0, bar));
    rest = bar == std::wstring_view::npos ? std::wstring_view() : rest.substr(bar + 1);
  }
  std::string out;
  for (std::size_t i = 0; i < items.size(); i += 2) {
    std::wstring_view description = items[i];
    const std::wstring_view pattern = i + 1 < items.size() ? items[i + 1] : std::wstring_view();
    const std::wstring shown_by_chooser = L"(" + std::wstring(pattern) + L")";
    if (description.ends_with(shown_by_chooser)) {
      description.remove_suffix(shown_by_chooser.size());
    }
    if (!out.empty()) out += '\n';
    out += ToUtf8(description) + '\t' + ToUtf8(pattern);
  }
  return out;
}

std::wstring ChosenPath(const char* bytes) {
  if (std::optional<std::wstring> path = FromUtf8Exact(bytes)) return *path;
  throw RuntimeError(err::kBadFileNameOrNumber,
                     texts::Text(texts::Msg::chosen_name_not_utf8, {FromUtf8(bytes)}) + L"\n\n" +
                         texts::Text(texts::Msg::next_rename_rom));
}

void FltkDialogs::ShowOpen(CommonDialogState& dialog) {
  Fl_Native_File_Chooser chooser(Fl_Native_File_Chooser::BROWSE_FILE);
  const std::string filter = ChooserFilter(dialog.Filter);
  const std::string folder = ToUtf8(dialog.InitDir);
  // Titled as the Open dialog of Windows is, in the user's language.
  const std::string title = ToUtf8(texts::Text(texts::Msg::open_dialog_title));
  chooser.title(title.c_str());
  chooser.filter(filter.c_str());
  chooser.directory(folder.c_str());
  switch (chooser.show()) {
    case 0: {
      dialog.FileName = ChosenPath(chooser.filename());
      // Cut at the last separator by hand: std::filesystem would convert
      // through the C locale, which has no Korean.
      dialog.FileTitle = dialog.FileName.substr(dialog.FileName.rfind(L'/') + 1);
      return;
    }
    case 1:  // cancelled: the earlier selection stays
      return;
    default: throw RuntimeError(err::kDialogFailure, FromUtf8(chooser.errmsg()));
  }
}

std::unique_ptr<Dialogs> CreateDialogs() {
  TranslateToolkitLabels();
  return std::make_unique<FltkDialogs>();
}

}  // namespace voderer::frontend
