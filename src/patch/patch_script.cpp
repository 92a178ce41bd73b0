#include "patch/patch_script.h"

#include <optional>
#include <vector>

#include "patch/line_writer.h"
#include "patch/patch_outcome.h"
#include "patch/undo.h"
#include "texts/catalogue.h"

namespace voderer {

namespace {

using texts::Msg;
using texts::Text;

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
  throw RuntimeError(err::kBadFileNameOrNumber, Text(Msg::path_not_in_code_page, {rom_path}) +
                                                    L"\n\n" + Text(Msg::next_rename_rom));
}

// The script could not be written whole: what is there is removed, and
// the user learns that the program folder must be one that can be written.
RuntimeError ScriptNotWritten(Files& files, const std::wstring& script,
                              const std::vector<std::size_t>& failed) {
  std::wstring description;
  if (failed.size() == kScriptLineCount) {
    description = Text(Msg::script_not_written, {script});
  } else {
    std::wstring numbers;
    for (std::size_t line : failed) {
      numbers += (numbers.empty() ? L"" : L", ") + std::to_wstring(line);
    }
    description = Text(Msg::script_lines_not_written, static_cast<unsigned long>(failed.size()),
                       {numbers, script});
  }
  try {
    files.Kill(script);
  } catch (const RuntimeError&) {
    description += L" " + Text(Msg::script_not_removed);
  }
  return RuntimeError(err::kPathFileAccess, description + L"\n\n" + Text(Msg::next_move_program));
}

}  // namespace

ScriptStillRunning::ScriptStillRunning() : ScriptStillRunning(Text(Msg::still_running)) {}

ScriptStillRunning::ScriptStillRunning(const std::wstring& description)
    : PatchNotStarted(err::kFileAlreadyOpen, description) {}

ToolFolderMissing::ToolFolderMissing(const std::wstring& folder)
    : PatchNotStarted(err::kPathNotFound,
                      Text(Msg::bin_missing, {folder}) + L"\n\n" + Text(Msg::next_restore_bin)) {}

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

void RemoveEarlierFile(Files& files, const std::wstring& path) {
  try {
    files.Kill(path);
  } catch (const RuntimeError& error) {
    throw PatchNotStarted(error.Number(), Text(Msg::old_report_stuck, {path, error.Description()}) +
                                              L"\n\n" + Text(Msg::next_delete_old_report));
  }
}

std::wstring RunPatch(Files& files, ScriptLaunch& launch, const CommonDialogState& CommonDialog1) {
  if (launch.ScriptRunning()) throw ScriptStillRunning();
  const std::wstring tool_folder = InProgramFolder(files, L"Bin");
  if (!files.FolderExists(tool_folder)) throw ToolFolderMissing(tool_folder);

  std::wstring rom = CarriableRomPath(files, CommonDialog1.FileName);
  const std::array<std::wstring, kScriptLineCount> lines = PatchScriptLines(rom);
  // Left by a patch or an undo whose window closed before it ended: gone
  // before this patch starts, so that none is taken for this one's.
  for (const std::wstring& earlier : {ResultPath(files), UndoPath(files), UndoResultPath(files)}) {
    RemoveEarlierFile(files, earlier);
  }

  // Every line is attempted even after a failure.
  std::vector<std::size_t> failed;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const Flag overwrite = i == 0 ? kTrue : kFalse;
    if (SaveTextToFile(files, ScriptPath(files), lines[i], overwrite) == kFalse) {
      failed.push_back(i + 1);
    }
  }

  const std::wstring script = ScriptPath(files);
  // A partial script would run only some of its commands: never start it.
  if (!failed.empty()) throw ScriptNotWritten(files, script, failed);

  try {
    launch.LaunchScript(script, files.ProgramFolder(),
                        {ResultVariable(files), UndoVariable(files)});
  } catch (const RuntimeError& error) {
    throw RuntimeError(error.Number(), Text(Msg::script_not_started, {error.Description()}) +
                                           L"\n\n" + Text(Msg::next_reinstall));
  }
  return rom;
}

}  // namespace voderer
