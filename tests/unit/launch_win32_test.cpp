// What the Win32 launcher hands CreateProcessW: the command line and the
// environment block it builds from the program's own.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "platform/runtime.h"
#include "platform/win32/launch.h"

namespace voderer::win32 {
namespace {

std::vector<std::wstring> Entries(const std::vector<wchar_t>& block) {
  std::vector<std::wstring> entries;
  for (const wchar_t* entry = block.data(); *entry != L'\0'; entry += wcslen(entry) + 1) {
    entries.emplace_back(entry);
  }
  return entries;
}

bool Has(const std::vector<std::wstring>& entries, const std::wstring& prefix) {
  for (const std::wstring& entry : entries) {
    if (entry.starts_with(prefix)) return true;
  }
  return false;
}

TEST(Win32Launch, CommandLineQuotesEveryArgumentAsTheRuntimeSplitsIt) {
  EXPECT_EQ(CommandLine({L"C:\\a b\\ndstool.exe", L"--undo", L"Z:\\롬\\게임 100%.nds"}),
            L"\"C:\\a b\\ndstool.exe\" \"--undo\" \"Z:\\롬\\게임 100%.nds\"");
  // Backslashes are doubled only before a quote, the argument's own or the
  // closing one.
  EXPECT_EQ(CommandLine({L"a\\\"b", L"C:\\dir\\"}), L"\"a\\\\\\\"b\" \"C:\\dir\\\\\"");
}

TEST(Win32Launch, TheScriptIsNamedWithoutItsFolderWhichCmdWouldExpand) {
  EXPECT_EQ(ScriptCommandLine(L"C:\\a%PATH%b\\100% 롬\\deruzuz.bat"),
            L"cmd.exe /d /v:off /c .\\deruzuz.bat");
  EXPECT_EQ(ScriptCommandLine(L"Z:/p/deruzuz.bat"), L"cmd.exe /d /v:off /c .\\deruzuz.bat");
  // A name cmd would expand or split is never handed to it.
  for (const wchar_t* name :
       {L"C:\\p\\%PATH%.bat", L"C:\\p\\a b.bat", L"C:\\p\\a&b.bat", L"C:\\p\\"}) {
    EXPECT_THROW(ScriptCommandLine(name), RuntimeError) << name;
  }
}

TEST(Win32Launch, TheBlockChangesTheProgramsEnvironmentAndLeavesItAlone) {
  ASSERT_TRUE(SetEnvironmentVariableW(L"VODERER_UNDO_FILE", L"left over"));
  ASSERT_TRUE(SetEnvironmentVariableW(L"Voderer_Result_File", L"old"));
  const std::vector<wchar_t> block = EnvironmentBlock(
      {{L"VODERER_RESULT_FILE", L"Z:\\p\\deruzuz.undo.result"}, {L"VODERER_UNDO_FILE", {}}});
  ASSERT_GE(block.size(), 2u);
  EXPECT_EQ(block[block.size() - 1], L'\0');
  EXPECT_EQ(block[block.size() - 2], L'\0');
  const std::vector<std::wstring> entries = Entries(block);
  // Names match without regard to case: the old value is replaced, once.
  EXPECT_TRUE(Has(entries, L"Voderer_Result_File=Z:\\p\\deruzuz.undo.result") ||
              Has(entries, L"VODERER_RESULT_FILE=Z:\\p\\deruzuz.undo.result"));
  EXPECT_FALSE(Has(entries, L"Voderer_Result_File=old"));
  EXPECT_FALSE(Has(entries, L"VODERER_UNDO_FILE="));
  EXPECT_TRUE(Has(entries, L"PATH=") || Has(entries, L"Path="));
  // The program's own environment is as it was.
  wchar_t value[32] = {};
  EXPECT_GT(GetEnvironmentVariableW(L"VODERER_UNDO_FILE", value, 32), 0u);
  EXPECT_EQ(std::wstring(value), L"left over");
}

}  // namespace
}  // namespace voderer::win32
