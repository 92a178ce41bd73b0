// Form1, the program's only window: the ROM box, "...", "P", "?" and the
// common dialog object that holds the ROM selection between clicks.
#pragma once

#include <optional>
#include <string>

#include "frontend/window.h"
#include "platform/dialogs.h"
#include "platform/services.h"

namespace voderer {
struct OutcomeBox;  // patch/outcome_text.h
}

namespace voderer::ui {

// The Open dialog's filter, its two halves as they stand in the program.
inline constexpr wchar_t kFilterNds[] = L"NDS \uBC14\uC774\uB108\uB9AC \uD30C\uC77C (*.nds)|*.nds|";
inline constexpr wchar_t kFilterAll[] = L"\uBAA8\uB4E0 \uD30C\uC77C (*.*)|*.*|";

inline constexpr wchar_t kAboutText[] =
    L"Voderer 1.0 - replaces the ARM7 binary of a DS ROM image with Bin\\arm7.bin";

class Form1 : public frontend::WindowEvents {
 public:
  // `services` are the program's, handed down from its start.
  Form1(const Services& services, frontend::TextBox& text1) : Text1(text1), services_(services) {}

  // Display only: shows the chosen file's name and is never read.
  frontend::TextBox& Text1;
  // Holds the ROM selection (FileName) for the life of the window.
  CommonDialogState CommonDialog1;

  void Command1_Click() override;  // "P": patch
  void Command2_Click() override;  // "...": ROM selection
  void Command3_Click() override;  // "?": About
  void ScriptEnded() override;     // the patch's script (or its undo) has ended: how it went

 private:
  // What runs, until its end is told: a patch's script or its undo, for
  // the ROM as chosen (the box names it) and as the script's line named it
  // (the undo is given that).
  struct Running {
    bool undo = false;
    std::wstring chosen_rom;
    std::wstring script_rom;
  };

  // Shows the box; where it offers Undo and the user takes it, starts the
  // undo, and otherwise lets the record go.
  void ShowOutcome(const OutcomeBox& box, const Running& ended);

  Services services_;
  std::optional<Running> running_;
};

}  // namespace voderer::ui
