#include "patch/outcome_text.h"

#include "patch/arm7_check_text.h"
#include "patch/failure_text.h"
#include "patch/patch_outcome.h"
#include "platform/files.h"
#include "platform/utf8_text.h"
#include "texts/catalogue.h"

namespace voderer {

namespace {

using result_file::Outcome;
using texts::Msg;
using texts::Text;

// Where the ROM path's folder ends; npos when it names none.
std::size_t FolderEnd(const std::wstring& path) {
  return path.find_last_of(std::wstring{PathSeparator(), L'/'});
}

std::wstring Head(Msg named, Msg unnamed, const std::wstring& name) {
  return name.empty() ? Text(unnamed) : Text(named, {name});
}

// 1234567 -> "1,234,567 bytes"
std::wstring Bytes(std::uint32_t count) {
  std::wstring digits = std::to_wstring(count);
  for (std::size_t at = digits.size(); at > 3; at -= 3) digits.insert(at - 3, 1, L',');
  return Text(Msg::bytes, count, {digits});
}

std::wstring PatchedText(const std::wstring& name, const result_file::Line& rebuild) {
  std::wstring text =
      Head(Msg::patched, Msg::patched_unnamed, name) + L"\n\n" +
      Text(Msg::arm7_replaced, {Bytes(rebuild.arm7_before), Bytes(rebuild.arm7_after)}) + L"\n";
  if (!rebuild.layout_kept) {
    text += Text(Msg::laid_out_anew);
  } else if (rebuild.moved_by == 0) {
    text += Text(Msg::nothing_moved);
  } else {
    text += Text(Msg::items_moved, {Bytes(rebuild.moved_by)});
  }
  if (rebuild.check) {
    if (const std::wstring check = Arm7CheckText(*rebuild.check); !check.empty()) {
      text += L"\n\n" + check;
    }
  }
  if (rebuild.undo == result_file::UndoRecord::too_large) {
    text += L"\n\n" + Text(Msg::undo_too_large);
  }
  return text;
}

// Head, why, that nothing changed, and the next step on a line of its own.
OutcomeBox NotPatched(const std::wstring& name, const std::wstring& why, const std::wstring& next) {
  return {Head(Msg::not_patched, Msg::not_patched_unnamed, name) + L"\n\n" + why + L"\n\n" +
              Text(Msg::left_unchanged) + L"\n" + next,
          BoxIcon::warning};
}

OutcomeBox NotKnown(const std::wstring& name, const std::wstring& why) {
  return {Head(Msg::not_known, Msg::not_known_unnamed, name) + L"\n\n" + why + L"\n\n" +
              Text(Msg::next_press_again_to_be_sure),
          BoxIcon::warning};
}

}  // namespace

OutcomeBox PatchOutcomeText(const PatchPlaces& places, const result_file::Report& report) {
  const std::wstring name = places.RomName();
  switch (report.outcome) {
    case Outcome::patched:
      return {PatchedText(name, report.line), BoxIcon::information,
              report.line.undo == result_file::UndoRecord::kept};
    case Outcome::failed:
      return NotPatched(name,
                        FailureSentence(report.line) + L"\n" +
                            Text(Msg::ndstool_says, {FromUtf8(report.line.reason)}),
                        NextStep(report.line, places));
    case Outcome::no_report:
      return NotPatched(
          name,
          Text(Msg::ndstool_did_not_run, {std::wstring(L"Bin") + PathSeparator() + L"ndstool"}),
          Text(Msg::next_check_ndstool, {places.BinFolder()}));
    case Outcome::no_rebuild:
      return NotPatched(name, Text(Msg::rebuild_did_not_end), Text(Msg::next_let_script_end));
    case Outcome::unreadable:
      return NotPatched(name, Text(Msg::report_damaged, {kResultName}),
                        Text(Msg::next_press_again));
    case Outcome::unknown: break;
  }
  OutcomeBox box = NotKnown(name, Text(Msg::stopped_while_replacing));
  box.offers_undo = true;
  return box;
}

OutcomeBox OutcomeNotKnown(const PatchPlaces& places, const std::wstring& why) {
  return NotKnown(places.RomName(), why);
}

std::wstring PatchPlaces::BinFolder() const {
  return program_folder + PathSeparator() + L"Bin";
}

std::wstring PatchPlaces::RomName() const {
  const std::size_t cut = FolderEnd(rom);
  return cut == std::wstring::npos ? rom : rom.substr(cut + 1);
}

std::wstring PatchPlaces::RomFolder() const {
  const std::size_t cut = FolderEnd(rom);
  return cut == std::wstring::npos ? rom : rom.substr(0, cut);
}

}  // namespace voderer
