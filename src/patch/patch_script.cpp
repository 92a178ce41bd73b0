#include "patch/patch_script.h"

#include <optional>

#include "patch/line_writer.h"
#include "patch/patch_outcome.h"

namespace voderer {

namespace {

constexpr wchar_t kQuote = L'"';

constexpr std::wstring_view kUnpackHead = L"ndstool -v -x ";
constexpr std::wstring_view kUnpackTail =
    L" -9 ..\\UNPACK/arm9.bin -7 ..\\UNPACK/arm7.bin -y9 ..\\UNPACK/y9.bin"
    L" -y7 ..\\UNPACK/y7.bin -d ..\\UNPACK/data -y ..\\UNPACK/overlay"
    L" -t ..\\UNPACK/banner.bin -h ..\\UNPACK/header.bin";
constexpr std::wstring_view kRebuildHead = L"ndstool -c ";
constexpr std::wstring_view kRebuildTail =
    L" -9 ..\\UNPACK/arm9.bin -7 arm7.bin -y9 ..\\UNPACK/y9.bin"
    L" -y7 ..\\UNPACK/y7.bin -d ..\\UNPACK/data -y ..\\UNPACK/overlay"
    L" -t ..\\UNPACK/banner.bin -h ..\\UNPACK/header.bin";

std::wstring DoublePercents(std::wstring_view text) {
  std::wstring out;
  out.reserve(text.size());
  for (wchar_t c : text) {
    out += c;
    if (c == L'%') out += c;
  }
  return out;
}

std::wstring NdstoolLine(std::wstring_view head, std::wstring_view rom, std::wstring_view tail) {
  std::wstring line(head);
  line += kQuote;
  line += rom;
  line += kQuote;
  line += tail;
  return line;
}

// The ROM path in a spelling the code page carries exactly, so that the
// script can never name another file.
std::wstring CarriableRomPath(Files& files, const std::wstring& rom_path) {
  if (files.ToCodePage(rom_path)) return rom_path;
  if (std::optional<std::wstring> other = files.CodePageSafePath(rom_path)) {
    if (files.ToCodePage(*other)) return *other;
  }
  throw RuntimeError(err::kBadFileNameOrNumber,
                     L"The path of the chosen ROM image cannot be written in the system's "
                     L"code page, so no patch script was written: " +
                         rom_path);
}

// A result file left by a patch whose window closed before its script
// ended: gone before this patch starts, so that it is never read as this
// patch's outcome.
void RemoveOldResult(Files& files) {
  const std::wstring result = ResultPath(files);
  try {
    files.Kill(result);
  } catch (const RuntimeError& error) {
    throw PatchNotStarted(error.Number(),
                          L"The file " + result + L" of an earlier patch could not be removed (" +
                              error.Description() +
                              L"), so no patch was started and the ROM image was left unchanged.");
  }
}

}  // namespace

ScriptStillRunning::ScriptStillRunning()
    : PatchNotStarted(err::kFileAlreadyOpen,
                      L"The patch started before is still running. Wait until its window has "
                      L"closed, then press \"P\" again.") {}

ToolFolderMissing::ToolFolderMissing(const std::wstring& folder)
    : PatchNotStarted(err::kPathNotFound,
                      L"The folder " + folder +
                          L" is missing, so no patch was started and the ROM image was left "
                          L"unchanged. Put ndstool and arm7.bin into it, then press \"P\" again.") {
}

std::array<std::wstring, kScriptLineCount> PatchScriptLines(std::wstring_view rom_path) {
  const std::wstring rom = DoublePercents(rom_path);
  return {
      L"@echo off",
      L"rd /Q /S UNPACK",
      L"MkDir UNPACK",
      L"cd Bin",
      NdstoolLine(kUnpackHead, rom, kUnpackTail),
      NdstoolLine(kRebuildHead, rom, kRebuildTail),
      L"cd ..",
      L"rd /Q /S UNPACK",
      L"del deruzuz.bat",
  };
}

std::wstring InProgramFolder(Files& files, std::wstring_view name) {
  std::wstring path = files.ProgramFolder();
  path += PathSeparator();
  path += name;
  return path;
}

std::wstring ScriptPath(Files& files) {
  return InProgramFolder(files, kScriptName);
}

void RunPatch(Files& files, ScriptLaunch& launch, const CommonDialogState& CommonDialog1) {
  if (launch.ScriptRunning()) throw ScriptStillRunning();
  const std::wstring tool_folder = InProgramFolder(files, L"Bin");
  if (!files.FolderExists(tool_folder)) throw ToolFolderMissing(tool_folder);

  const std::array<std::wstring, kScriptLineCount> lines =
      PatchScriptLines(CarriableRomPath(files, CommonDialog1.FileName));
  RemoveOldResult(files);

  // Every line is attempted even after a failure.
  std::wstring failed;
  int failures = 0;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const Flag overwrite = i == 0 ? kTrue : kFalse;
    if (SaveTextToFile(files, ScriptPath(files), lines[i], overwrite) == kFalse) {
      if (!failed.empty()) failed += L", ";
      failed += std::to_wstring(i + 1);
      ++failures;
    }
  }

  const std::wstring script = ScriptPath(files);
  if (!failed.empty()) {
    // A partial script would run only some of its commands: never start it.
    std::wstring description = (failures == 1 ? L"Line " : L"Lines ") + failed +
                               L" of the patch script " + script +
                               L" could not be written, so the patch was not started.";
    try {
      files.Kill(script);
    } catch (const RuntimeError&) {
      description += L" The incomplete script could not be removed either.";
    }
    throw RuntimeError(err::kPathFileAccess, description);
  }

  launch.LaunchScript(script, files.ProgramFolder(), ResultVariable(files));
}

}  // namespace voderer
