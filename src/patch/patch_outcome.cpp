#include "patch/patch_outcome.h"

#include <optional>

#include "patch/patch_script.h"
#include "patch/undo.h"
#include "platform/runtime.h"
#include "platform/utf8_text.h"
#include "texts/catalogue.h"

namespace voderer {

std::wstring ResultPath(Files& files) {
  return InProgramFolder(files, kResultName);
}

EnvironmentVariable ResultVariable(Files& files) {
  return {FromUtf8(result_file::kVariable), ResultPath(files)};
}

OutcomeBox TakePatchOutcome(Files& files, const std::wstring& rom_path) {
  const std::wstring path = ResultPath(files);
  const PatchPlaces places{rom_path, files.ProgramFolder()};
  OutcomeBox box;
  try {
    const std::optional<std::string> bytes = files.ReadSmallFile(path, result_file::kMaxFileSize);
    box =
        PatchOutcomeText(places, bytes ? result_file::read_report(*bytes) : result_file::Report());
  } catch (const RuntimeError& error) {
    box = OutcomeNotKnown(places,
                          texts::Text(texts::Msg::report_unreadable, {path, error.Description()}));
  }
  try {
    files.Kill(path);
  } catch (const RuntimeError& error) {
    // The next "P" removes it before it starts, or refuses to start.
    box.text += L"\n\n" + texts::Text(texts::Msg::report_not_removed, {path, error.Description()});
  }
  // Undo only while there is a record to undo with; none is left behind
  // where none is offered (-c removes its own on a failure, but not when
  // it was stopped).
  box.offers_undo = box.offers_undo && files.FileExists(UndoPath(files));
  if (box.offers_undo) {
    box.text += L"\n\n" + texts::Text(texts::Msg::undo_offered);
  } else {
    DiscardUndoRecord(files);
  }
  return box;
}

}  // namespace voderer
