#include "patch/undo.h"

#include <optional>

#include "patch/patch_script.h"
#include "patch/undo_text.h"
#include "platform/runtime.h"
#include "platform/utf8_text.h"
#include "texts/catalogue.h"

namespace voderer {

using texts::Msg;
using texts::Text;

UndoStillRunning::UndoStillRunning() : ScriptStillRunning(Text(Msg::undo_still_running)) {}

std::wstring UndoResultPath(Files& files) {
  return InProgramFolder(files, kUndoResultName);
}

std::wstring UndoPath(Files& files) {
  return InProgramFolder(files, kUndoName);
}

EnvironmentVariable UndoVariable(Files& files) {
  return {FromUtf8(result_file::kUndoVariable), UndoPath(files)};
}

void DiscardUndoRecord(Files& files) {
  try {
    files.Kill(UndoPath(files));
  } catch (const RuntimeError&) {
    // Left for the next "P", which removes it or says why it cannot.
  }
}

void RunUndo(Files& files, ScriptLaunch& launch, const std::wstring& rom) {
  if (launch.ScriptRunning()) throw ScriptStillRunning();
  const std::wstring result = UndoResultPath(files);
  RemoveEarlierFile(files, result);
  const std::wstring bin = InProgramFolder(files, L"Bin");
  try {
    launch.LaunchProgram(bin + PathSeparator() + L"ndstool", {L"--undo", UndoPath(files), rom}, bin,
                         {{FromUtf8(result_file::kVariable), result},
                          {FromUtf8(result_file::kUndoVariable), std::nullopt}});
  } catch (const RuntimeError& error) {
    // The patch stays as it is; the program goes on.
    throw PatchNotStarted(error.Number(), Text(Msg::undo_not_started, {error.Description()}) +
                                              L"\n\n" + Text(Msg::next_reinstall));
  }
}

OutcomeBox TakeUndoOutcome(Files& files, const std::wstring& shown_rom) {
  const std::wstring path = UndoResultPath(files);
  const PatchPlaces places{shown_rom, files.ProgramFolder()};
  result_file::UndoReport report{result_file::UndoOutcome::unreadable, {}};
  std::wstring unreadable;
  try {
    const std::optional<std::string> bytes = files.ReadSmallFile(path, result_file::kMaxFileSize);
    report = bytes ? result_file::read_undo_report(*bytes)
                   : result_file::UndoReport{result_file::UndoOutcome::no_report, {}};
  } catch (const RuntimeError& error) {
    unreadable = Text(Msg::report_unreadable, {path, error.Description()});
  }
  const bool original = report.outcome == result_file::UndoOutcome::restored ||
                        report.outcome == result_file::UndoOutcome::unchanged;
  if (original) DiscardUndoRecord(files);
  OutcomeBox box = UndoOutcomeText(places, report, files.FileExists(UndoPath(files)));
  if (!unreadable.empty()) box.text += L"\n\n" + unreadable;
  try {
    files.Kill(path);
  } catch (const RuntimeError& error) {
    box.text += L"\n\n" + Text(Msg::report_not_removed, {path, error.Description()});
  }
  return box;
}

}  // namespace voderer
