// The modal boxes: the message box (with Undo where a patch can be taken
// back) and the Open dialog. Each front end
// implements them with its own toolkit (src/frontend); the layers above
// reach them only through this interface.
#pragma once

#include <string>

namespace voderer {

// The common dialog object's state: what the program sets before ShowOpen
// and what the dialog leaves behind.
struct CommonDialogState {
  std::wstring Filter;     // description|pattern|description|pattern|...
  std::wstring InitDir;    // initial folder
  std::wstring FileName;   // full path of the chosen file; kept on cancel
  std::wstring FileTitle;  // the chosen file's name without its folder
};

// The icon of a message box, drawn as the system draws each kind.
enum class BoxIcon {
  none,         // the About box
  information,  // the patch worked
  warning,      // it did not, or it is not known whether it did
  error,        // a run-time error, after which the program ends
};

class Dialogs {
 public:
  virtual ~Dialogs() = default;

  // Modal message box with one OK button and the given icon.
  virtual void MsgBox(const std::wstring& text, const std::wstring& title, BoxIcon icon) = 0;

  // The same box with "Undo" beside OK. OK stays the default: Return,
  // Escape and closing the box all mean OK. True only when Undo was chosen.
  virtual bool OfferUndo(const std::wstring& text, const std::wstring& title, BoxIcon icon) = 0;

  // The modal Open dialog: reads Filter and InitDir; on OK sets FileName and
  // FileTitle, on cancel leaves them as they were. Throws RuntimeError.
  virtual void ShowOpen(CommonDialogState& dialog) = 0;
};

}  // namespace voderer
