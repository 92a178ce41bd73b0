// follow_arm7 (arm7_check.h): the header after the plan, for the new ARM7.
#include <string>

#include "nds/rebuild/arm7_check.h"
#include "nds/io/error.h"

namespace nds {

namespace {

using result_file::DsiNote;

struct Arm7iState {
  bool own = false;      // an ARM7i with bytes of its own
  bool aliased = false;  // an ARM7i that names the ARM7's own bytes
};

Arm7iState arm7i_state(const HeaderView& before) {
  const ItemRange arm7i = before.arm7i();
  if (arm7i.size == 0) return {};
  const bool aliased = arm7i == before.arm7();
  return {!aliased, aliased};
}

DsiNote dsi_note(const Arm7iState& arm7i, const Arm7Decision& decision, const Plan& plan,
                 bool layout_kept) {
  if (decision.unchanged) return DsiNote::none;
  // A compact image drops the DSi sections: an ARM7i of its own is gone.
  const bool own_stays = arm7i.own && layout_kept;
  if (decision.elf_dsi) {
    if (plan.arm7i_replaced) return DsiNote::arm7i_replaced;
    return own_stays ? DsiNote::arm7i_kept : DsiNote::arm7i_left_out;
  }
  if (arm7i.aliased) return DsiNote::arm7i_follows;
  return own_stays ? DsiNote::arm7i_kept : DsiNote::none;
}

std::string dsi_sentence(DsiNote note) {
  switch (note) {
    case DsiNote::arm7i_follows: return "the ARM7i named the ARM7's bytes and names the new ones";
    case DsiNote::arm7i_replaced: return "the ELF's DSi segments replaced the image's ARM7i";
    case DsiNote::arm7i_left_out:
      return "the ELF's DSi segments were left out: the image has no ARM7i of its own to replace";
    case DsiNote::arm7i_kept:
      return "the image's own ARM7i stays beside the new ARM7: it may not start in DSi mode";
    case DsiNote::none: break;
  }
  return {};
}

}  // namespace

void follow_arm7(const Inputs& inputs, Plan& plan, bool layout_kept, Arm7Decision& decision,
                 const Log& log) {
  const HeaderView before(inputs.header);
  const Arm7iState arm7i = arm7i_state(before);
  HeaderEdit header(*plan.header);
  if (!decision.unchanged) {
    if (decision.load) header.set_load(field::kArm7, *decision.load);
    // Same offset and size as the new ARM7; its RAM address stays.
    if (arm7i.aliased) header.set_range(field::kArm7i, header.arm7().offset, header.arm7().size);
    if (plan.arm7i_replaced && decision.arm7i_ram_address)
      header.set_arm7i_ram_address(*decision.arm7i_ram_address);
    if (decision.autoload_hook && *decision.autoload_hook != before.arm7_autoload_hook()) {
      if (log)
        log("ARM7 autoload hook (0x74) changed from " + hex(before.arm7_autoload_hook()) + " to " +
            hex(*decision.autoload_hook));
      header.set_arm7_autoload_hook(*decision.autoload_hook);
    }
  }
  decision.check.dsi = dsi_note(arm7i, decision, plan, layout_kept);
  const std::string sentence = dsi_sentence(decision.check.dsi);
  if (log && !sentence.empty()) log(sentence);
}

}  // namespace nds
