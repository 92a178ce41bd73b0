#include "patch/patch_outcome.h"

#include <optional>

#include "patch/patch_script.h"
#include "platform/runtime.h"
#include "platform/utf8_text.h"

namespace voderer {

namespace {

using result_file::Outcome;

constexpr wchar_t kUnchanged[] = L"The ROM image was left unchanged.";

// The name the user chose, without its folder.
std::wstring RomName(const std::wstring& rom_path) {
  const std::size_t cut = rom_path.find_last_of(std::wstring{PathSeparator(), L'/'});
  const std::wstring name = cut == std::wstring::npos ? rom_path : rom_path.substr(cut + 1);
  return name.empty() ? L"The ROM image" : name;
}

// 1234567 -> "1,234,567"
std::wstring Bytes(std::uint32_t count) {
  std::wstring digits = std::to_wstring(count);
  for (std::size_t at = digits.size(); at > 3; at -= 3) digits.insert(at - 3, 1, L',');
  return digits + (count == 1 ? L" byte" : L" bytes");
}

std::wstring PatchedText(const std::wstring& name, const result_file::Line& rebuild) {
  std::wstring text = name + L" was patched.\n\nIts ARM7 binary was replaced (before: " +
                      Bytes(rebuild.arm7_before) + L"; now: " + Bytes(rebuild.arm7_after) + L").\n";
  if (!rebuild.layout_kept) {
    return text +
           L"The image's own layout could not be kept, so it was laid out anew from its "
           L"parts.";
  }
  if (rebuild.moved_by == 0) {
    return text + L"Nothing after it had to move, and nothing else in the image changed.";
  }
  return text + L"The items after it had to move by " + Bytes(rebuild.moved_by) +
         L" to make room; nothing else in the image changed.";
}

std::wstring NotPatchedText(const std::wstring& name, const std::wstring& why) {
  return name + L" was not patched.\n\n" + why + L"\n\n" + kUnchanged;
}

}  // namespace

std::wstring ResultPath(Files& files) {
  return InProgramFolder(files, kResultName);
}

EnvironmentVariable ResultVariable(Files& files) {
  return {FromUtf8(result_file::kVariable), ResultPath(files)};
}

std::wstring PatchOutcomeText(const std::wstring& rom_path, const result_file::Report& report) {
  const std::wstring name = RomName(rom_path);
  const std::wstring tool = std::wstring(L"Bin") + PathSeparator() + L"ndstool";
  switch (report.outcome) {
    case Outcome::patched: return PatchedText(name, report.line);
    case Outcome::failed: return NotPatchedText(name, L"ndstool: " + FromUtf8(report.line.reason));
    case Outcome::no_report:
      return NotPatchedText(name, tool +
                                      L" could not be run (is it there?), or the script "
                                      L"itself could not run.");
    case Outcome::no_rebuild:
      return NotPatchedText(name,
                            L"ndstool unpacked the image, but the rebuild did not run "
                            L"to its end.");
    case Outcome::unreadable:
      return NotPatchedText(name, L"The script or ndstool did not run properly: their report (" +
                                      std::wstring(kResultName) + L") is damaged.");
    case Outcome::unknown: break;
  }
  return L"It is not known whether " + name +
         L" was patched.\n\nndstool stopped while it was replacing the image, so the image is "
         L"either patched or left as it was, never anything in between. Patch it again to be "
         L"sure.";
}

std::wstring TakePatchOutcome(Files& files, const std::wstring& rom_path) {
  const std::wstring path = ResultPath(files);
  std::wstring text;
  try {
    const std::optional<std::string> bytes = files.ReadSmallFile(path, result_file::kMaxFileSize);
    text = PatchOutcomeText(rom_path,
                            bytes ? result_file::read_report(*bytes) : result_file::Report());
  } catch (const RuntimeError& error) {
    text = NotPatchedText(
        RomName(rom_path),
        L"The report of ndstool (" + path + L") could not be read: " + error.Description() + L".");
  }
  try {
    files.Kill(path);
  } catch (const RuntimeError& error) {
    // The next "P" removes it before it starts, or refuses to start.
    text += L"\n\n" + path + L" could not be removed: " + error.Description() + L".";
  }
  return text;
}

}  // namespace voderer
