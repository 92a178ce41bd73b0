// FLTK message box and Open dialog.
#include "dialogs.h"

#include <FL/Fl.H>
#include <FL/Fl_Native_File_Chooser.H>
#include <FL/fl_ask.H>

#include <filesystem>

#include "fltk_text.h"

namespace voderer::frontend {

void ShowMessageBox(const std::wstring& text, const std::wstring& title) {
  // The box's one button reads "OK" and takes Return.
  fl_close = "OK";
  fl_message_title(ToUtf8(title).c_str());
  fl_message("%s", ToUtf8(text).c_str());
}

std::string ChooserFilter(const std::wstring& filter) {
  // "desc|pattern|desc|pattern|" becomes "desc\tpattern\ndesc\tpattern".
  std::string out;
  std::wstring_view rest = filter;
  bool description = true;
  while (!rest.empty()) {
    const std::size_t bar = rest.find(L'|');
    const std::wstring_view item = rest.substr(0, bar);
    if (description) {
      if (!out.empty()) out += '\n';
      out += ToUtf8(item);
    } else {
      out += '\t';
      out += ToUtf8(item);
    }
    description = !description;
    rest = bar == std::wstring_view::npos ? std::wstring_view() : rest.substr(bar + 1);
  }
  return out;
}

void ShowOpenDialog(CommonDialogState& dialog) {
  Fl_Native_File_Chooser chooser(Fl_Native_File_Chooser::BROWSE_FILE);
  const std::string filter = ChooserFilter(dialog.Filter);
  const std::string folder = ToUtf8(dialog.InitDir);
  chooser.filter(filter.c_str());
  chooser.directory(folder.c_str());
  switch (chooser.show()) {
    case 0: {
      dialog.FileName = FromUtf8(chooser.filename());
      dialog.FileTitle = std::filesystem::path(dialog.FileName).filename().wstring();
      return;
    }
    case 1:  // cancelled: the earlier selection stays
      return;
    default:
      throw RuntimeError(32768 - 65536, FromUtf8(chooser.errmsg()));
  }
}

}  // namespace voderer::frontend
