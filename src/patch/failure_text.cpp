#include "patch/failure_text.h"

#include "texts/catalogue.h"

namespace voderer {

namespace {

using result_file::Failure;
using result_file::Refusal;
using result_file::Stage;
using texts::Msg;
using texts::Text;

Msg RefusalSentence(Refusal refusal) {
  switch (refusal) {
    case Refusal::empty: return Msg::refusal_empty;
    case Refusal::ds_image: return Msg::refusal_ds_image;
    case Refusal::own_arm9: return Msg::refusal_own_arm9;
    case Refusal::too_large: return Msg::refusal_too_large;
    case Refusal::overlaps_arm9: return Msg::refusal_overlaps_arm9;
    case Refusal::bad_elf: return Msg::refusal_bad_elf;
    case Refusal::text: return Msg::refusal_text;
    case Refusal::archive: return Msg::refusal_archive;
    case Refusal::arm9: return Msg::refusal_arm9;
    case Refusal::entry_outside: return Msg::refusal_entry_outside;
    case Refusal::no_code_at_entry: break;
  }
  return Msg::refusal_no_code_at_entry;
}

// The unpack writes the parts into UNPACK in the program folder; the
// rebuild and the undo write the new image beside the ROM.
bool WritesInProgramFolder(const result_file::Line& failed) {
  return failed.stage == Stage::unpack;
}

}  // namespace

std::wstring FailureSentence(const result_file::Line& failed) {
  switch (failed.failure) {
    case Failure::other: return Text(Msg::failure_other);
    case Failure::no_rom: return Text(Msg::failure_no_rom);
    case Failure::no_arm7: return Text(Msg::failure_no_arm7);
    case Failure::not_ds_image: return Text(Msg::failure_not_ds_image);
    case Failure::in_use: return Text(Msg::failure_in_use);
    case Failure::disk_full: return Text(Msg::failure_disk_full);
    case Failure::read_only:
      return Text(WritesInProgramFolder(failed) ? Msg::failure_program_read_only
                                                : Msg::failure_rom_read_only);
    case Failure::undo_unwritable: return Text(Msg::failure_undo_unwritable);
    case Failure::undo_mismatch: return Text(Msg::failure_undo_mismatch);
    case Failure::undo_bad_record: return Text(Msg::failure_undo_bad_record);
    case Failure::arm7_refused: break;
  }
  return Text(failed.refusal ? RefusalSentence(*failed.refusal) : Msg::failure_arm7_refused);
}

std::wstring NextStep(const result_file::Line& failed, const PatchPlaces& places) {
  switch (failed.failure) {
    case Failure::other:
    case Failure::undo_unwritable:
    case Failure::undo_mismatch:
    case Failure::undo_bad_record: return Text(Msg::next_read_reason);
    case Failure::no_rom: return Text(Msg::next_choose_rom);
    case Failure::no_arm7: return Text(Msg::next_put_arm7, {places.BinFolder()});
    case Failure::not_ds_image: return Text(Msg::next_choose_ds_rom);
    case Failure::in_use: return Text(Msg::next_close_other);
    case Failure::disk_full:
      return Text(Msg::next_free_space,
                  {WritesInProgramFolder(failed) ? places.program_folder : places.RomFolder()});
    case Failure::read_only:
      return Text(WritesInProgramFolder(failed) ? Msg::next_move_program : Msg::next_copy_rom);
    case Failure::arm7_refused: break;
  }
  return Text(Msg::next_other_arm7, {places.BinFolder()});
}

}  // namespace voderer
