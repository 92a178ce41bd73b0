#include "patch/undo_text.h"

#include "patch/failure_text.h"
#include "patch/undo.h"
#include "platform/files.h"
#include "platform/utf8_text.h"
#include "texts/catalogue.h"

namespace voderer {

namespace {

using result_file::UndoOutcome;
using texts::Msg;
using texts::Text;

std::wstring Head(Msg named, Msg unnamed, const std::wstring& name) {
  return name.empty() ? Text(unnamed) : Text(named, {name});
}

// Why the undo did not give the original back.
std::wstring WhyNot(const PatchPlaces& places, const result_file::UndoReport& report) {
  switch (report.outcome) {
    case UndoOutcome::failed:
      return FailureSentence(report.line) + L"\n" +
             Text(Msg::ndstool_says, {FromUtf8(report.line.reason)});
    case UndoOutcome::unreadable: return Text(Msg::report_damaged, {kUndoResultName});
    case UndoOutcome::restored:
    case UndoOutcome::unchanged:
    case UndoOutcome::no_report: break;
  }
  return Text(Msg::undo_did_not_run, {places.BinFolder() + PathSeparator() + L"ndstool"});
}

}  // namespace

OutcomeBox UndoOutcomeText(const PatchPlaces& places, const result_file::UndoReport& report,
                           bool record_kept) {
  const std::wstring name = places.RomName();
  if (report.outcome == UndoOutcome::restored) {
    return {Head(Msg::undo_restored, Msg::undo_restored_unnamed, name), BoxIcon::information};
  }
  if (report.outcome == UndoOutcome::unchanged) {
    return {Head(Msg::undo_unchanged, Msg::undo_unchanged_unnamed, name), BoxIcon::information};
  }
  OutcomeBox box{Head(Msg::undo_failed, Msg::undo_failed_unnamed, name) + L"\n\n" +
                     WhyNot(places, report) + L"\n\n" + Text(Msg::left_unchanged),
                 BoxIcon::warning};
  if (record_kept) {
    box.text += L"\n" + Text(Msg::next_undo_again);
    box.offers_undo = true;
  }
  return box;
}

}  // namespace voderer
