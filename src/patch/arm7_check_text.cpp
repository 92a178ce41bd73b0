#include "patch/arm7_check_text.h"

#include <optional>
#include <string>
#include <vector>

#include "texts/catalogue.h"

namespace voderer {

namespace {

using result_file::DsiNote;
using result_file::Runtime;
using result_file::RuntimeCode;
using result_file::SdkPairing;
using texts::Msg;
using texts::Text;

// The SDK's version word: major << 24 | minor << 16 | step.
std::wstring SdkVersion(std::uint32_t version, bool with_step) {
  std::wstring text =
      std::to_wstring(version >> 24) + L"." + std::to_wstring((version >> 16) & 0xFFu);
  if (with_step) text += L"." + std::to_wstring(version & 0xFFFFu);
  return text;
}

std::wstring Hex8(std::uint32_t value) {
  constexpr wchar_t kDigits[] = L"0123456789ABCDEF";
  std::wstring out = L"0x";
  for (int shift = 28; shift >= 0; shift -= 4) out += kDigits[(value >> shift) & 0xFu];
  return out;
}

// Names of libraries stay as their authors write them.
std::wstring RuntimeName(const RuntimeCode& code) {
  switch (code.runtime) {
    case Runtime::unknown: return Text(Msg::runtime_unknown);
    case Runtime::sdk:
      if (code.sdk_version == 0) return Text(Msg::runtime_sdk);
      return Text(Msg::runtime_sdk_version, {SdkVersion(code.sdk_version, true)});
    case Runtime::calico: return L"calico";
    case Runtime::libnds: return L"libnds";
    case Runtime::blocksds: return L"BlocksDS";
    case Runtime::libnds_or_blocksds: break;
  }
  return Text(Msg::runtime_libnds_or_blocksds);
}

std::optional<Msg> DsiSentence(DsiNote note) {
  switch (note) {
    case DsiNote::none: return std::nullopt;
    case DsiNote::arm7i_follows: return Msg::dsi_follows;
    case DsiNote::arm7i_replaced: return Msg::dsi_replaced;
    case DsiNote::arm7i_left_out: return Msg::dsi_left_out;
    case DsiNote::arm7i_kept: break;
  }
  return Msg::dsi_kept;
}

// What the SDK versions of two SDK halves, and the DSi block, say.
void AddPairing(const result_file::Arm7Check& check, std::vector<std::wstring>& lines) {
  switch (check.sdk) {
    case SdkPairing::none: break;
    case SdkPairing::generations_differ: lines.push_back(Text(Msg::sdk_generations_differ)); break;
    case SdkPairing::same_version:
      lines.push_back(Text(Msg::sdk_same_version, {SdkVersion(check.arm9.sdk_version, false)}));
      break;
    case SdkPairing::versions_differ: lines.push_back(Text(Msg::sdk_versions_differ)); break;
    case SdkPairing::version_unknown: lines.push_back(Text(Msg::sdk_version_unknown)); break;
  }
  if (check.dsi_block == result_file::DsiBlock::missing)
    lines.push_back(Text(Msg::dsi_block_missing));
}

}  // namespace

std::wstring Arm7CheckText(const result_file::Arm7Check& check) {
  std::vector<std::wstring> lines;
  // Said even when neither is known: the user learns that it was looked at.
  lines.push_back(Text(Msg::arm7_built_with, {RuntimeName(check.arm7)}));
  lines.push_back(Text(Msg::arm9_built_with, {RuntimeName(check.arm9)}));
  if (result_file::runtimes_differ(check.arm7, check.arm9))
    lines.push_back(Text(Msg::runtimes_differ));
  AddPairing(check, lines);
  if (check.moved) lines.push_back(Text(Msg::address_moved, {Hex8(check.from), Hex8(check.to)}));
  if (check.elf) lines.push_back(Text(Msg::from_elf));
  if (const std::optional<Msg> dsi = DsiSentence(check.dsi)) lines.push_back(Text(*dsi));
  std::wstring text;
  for (const std::wstring& line : lines) text += (text.empty() ? L"" : L"\n") + line;
  return text;
}

}  // namespace voderer
