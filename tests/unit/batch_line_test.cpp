// runbat's line parser: cmd's reading of the lines the patch script uses.
#include "batch_line.h"

#include <gtest/gtest.h>

namespace runbat {
namespace {

using Words = std::vector<std::string>;

TEST(BatchLine, BuiltInsAreKnownInAnyCaseAndUnderTheirOtherNames) {
  const std::pair<const char*, Verb> cases[] = {
      {"MkDir UNPACK", Verb::kMkDir}, {"md UNPACK", Verb::kMkDir},
      {"MKDIR UNPACK", Verb::kMkDir}, {"rd /Q /S UNPACK", Verb::kRd},
      {"RmDir UNPACK", Verb::kRd},    {"cd Bin", Verb::kCd},
      {"CHDIR ..", Verb::kCd},        {"del deruzuz.bat", Verb::kDel},
      {"Erase x", Verb::kDel},        {"ECHO hi", Verb::kEcho},
      {"mkdirs x", Verb::kExternal}};
  for (const auto& [line, verb] : cases) EXPECT_EQ(ParseBatchLine(line).verb, verb) << line;
}

TEST(BatchLine, SwitchesAreSeparatedFromPaths) {
  const BatchLine rd = ParseBatchLine("rd /q /S UNPACK\r");
  EXPECT_EQ(rd.switches, (Words{"Q", "S"}));
  EXPECT_EQ(rd.args, Words{"UNPACK"});
  // A backslash path is a path, and so is a quoted slash.
  const BatchLine root = ParseBatchLine("rd \\tmp\\x \"/y\"");
  EXPECT_TRUE(root.switches.empty());
  EXPECT_EQ(root.args, (Words{"/tmp/x", "/y"}));
}

TEST(BatchLine, TheUnpackLineReachesNdstoolAsSeparateWords) {
  const BatchLine line = ParseBatchLine(
      "ndstool -v -x \"C:\\My ROMs\\100%% a.nds\" -9 ..\\UNPACK/arm9.bin -d ..\\UNPACK/data\r\n");
  EXPECT_EQ(line.verb, Verb::kExternal);
  EXPECT_EQ(line.program, "ndstool");
  // Quotes group and vanish; backslashes turn into slashes only outside them.
  EXPECT_EQ(line.args, (Words{"-v", "-x", "C:\\My ROMs\\100% a.nds", "-9", "../UNPACK/arm9.bin",
                              "-d", "../UNPACK/data"}));
  EXPECT_EQ(ParseBatchLine("tool a\"b c\"d \"\"").args, (Words{"ab cd", ""}));
}

TEST(BatchLine, PercentSignsFollowTheBatchFileRules) {
  EXPECT_EQ(ParseBatchLine("tool 100%%").args, Words{"100%"});
  EXPECT_EQ(ParseBatchLine("tool a%NOT_SET%b %1c d%").args, (Words{"ab", "c", "d"}));
  EXPECT_EQ(ParseBatchLine("tool \"%%%%\"").args, Words{"%%"});
}

TEST(BatchLine, EchoAtSignsAndLinesWithoutACommand) {
  const BatchLine off = ParseBatchLine("@echo off\r");
  EXPECT_EQ(off.verb, Verb::kEcho);
  EXPECT_TRUE(off.quiet);
  EXPECT_EQ(off.echo_text, "off");
  EXPECT_FALSE(ParseBatchLine("echo  two  spaces").quiet);
  EXPECT_EQ(ParseBatchLine("echo  two  spaces").echo_text, " two  spaces");
  for (const char* nothing : {"", "\r", "   \t", "@", ":label", ":: note", "REM del *"}) {
    EXPECT_EQ(ParseBatchLine(nothing).verb, Verb::kNothing) << nothing;
  }
}

TEST(BatchLine, MalformedBytesStillParse) {
  const BatchLine open_quote = ParseBatchLine("\"unterminated \\ word");
  EXPECT_EQ(open_quote.verb, Verb::kExternal);
  EXPECT_EQ(open_quote.program, "unterminated \\ word");
  const std::string odd("del a\0b \xff\xfe%", 11);
  EXPECT_EQ(ParseBatchLine(odd).args, (Words{std::string("a\0b", 3), "\xff\xfe"}));
  EXPECT_EQ(ParseBatchLine("\"").program, "");
}

}  // namespace
}  // namespace runbat
