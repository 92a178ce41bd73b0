// How the box tells the end of a patch: its text and icon for each code of
// the report, in English and in Korean, and the result file read once and
// removed.
#include "patch/patch_outcome.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "fake_platform.h"
#include "platform/utf8_text.h"
#include "temp_folder.h"
#include "texts/catalogue.h"

namespace voderer {
namespace {

namespace fs = std::filesystem;
using result_file::Arm7Check;
using result_file::DsiBlock;
using result_file::DsiNote;
using result_file::Failure;
using result_file::Line;
using result_file::Outcome;
using result_file::Refusal;
using result_file::Report;
using result_file::Runtime;
using result_file::RuntimeCode;
using result_file::SdkPairing;
using result_file::Stage;
using result_file::State;
using testing::FakePlatform;
using testing::TempFolder;
using testing::WriteBytes;

bool Has(const std::wstring& text, const std::wstring& part) {
  return text.find(part) != std::wstring::npos;
}

// The language of one test; English again afterwards.
class Speaking {
 public:
  explicit Speaking(std::string_view code) { texts::UseLanguage(code); }
  ~Speaking() { texts::UseLanguage("en"); }
  Speaking(const Speaking&) = delete;
  Speaking& operator=(const Speaking&) = delete;
};

Report Patched(std::uint32_t before, std::uint32_t after, std::uint32_t moved, bool kept) {
  Report report;
  report.outcome = Outcome::patched;
  report.line.stage = Stage::rebuild;
  report.line.arm7_before = before;
  report.line.arm7_after = after;
  report.line.moved_by = moved;
  report.line.layout_kept = kept;
  return report;
}

Report Failed(Failure failure, Stage stage = Stage::rebuild, std::string reason = "why") {
  Report report;
  report.outcome = Outcome::failed;
  report.line.stage = stage;
  report.line.state = State::failed;
  report.line.failure = failure;
  report.line.reason = std::move(reason);
  return report;
}

// A check that found no ELF and no moved address.
Arm7Check Check(RuntimeCode arm7, RuntimeCode arm9, DsiNote dsi = DsiNote::none) {
  Arm7Check check;
  check.arm7 = arm7;
  check.arm9 = arm9;
  check.dsi = dsi;
  return check;
}

Report Of(Outcome outcome) {
  Report report;
  report.outcome = outcome;
  return report;
}

const std::wstring kSep(1, PathSeparator());
const std::wstring kProgram = L"/apps" + kSep + L"보더러";
const std::wstring kBin = kProgram + kSep + L"Bin";
const std::wstring kRomFolder = L"/roms" + kSep + L"게임 100%";
const PatchPlaces kPlaces{kRomFolder + kSep + L"game.nds", kProgram};

std::wstring TextOf(const Report& report, const PatchPlaces& places = kPlaces) {
  return PatchOutcomeText(places, report).text;
}

TEST(PatchOutcomeText, APatchNamesTheRomTheSizesAndWhetherAnythingMoved) {
  const OutcomeBox stayed = PatchOutcomeText(kPlaces, Patched(6708, 104960, 0, true));
  EXPECT_EQ(stayed.icon, BoxIcon::information);
  EXPECT_EQ(stayed.text,
            L"game.nds was patched.\n\nIts ARM7 binary was replaced (before: 6,708 bytes; now: "
            L"104,960 bytes).\nNothing after it had to move, and nothing else in the image "
            L"changed.");

  const std::wstring moved = TextOf(Patched(1, 0x12345, 0x10200, true));
  EXPECT_TRUE(Has(moved, L"(before: 1 byte; now: 74,565 bytes)")) << moved;
  EXPECT_TRUE(Has(moved, L"had to move by 66,048 bytes to make room; nothing else")) << moved;

  // Laid out anew: not "nothing else changed".
  const std::wstring compact = TextOf(Patched(10, 20, 0, false));
  EXPECT_TRUE(Has(compact, L"laid out anew")) << compact;
  EXPECT_FALSE(Has(compact, L"nothing else")) << compact;
}

TEST(PatchOutcomeText, TheArm7CheckTellsWhatBuiltEachHalfTheAddressTheElfAndTheArm7i) {
  Report report = Patched(100, 200, 0, true);
  report.line.check = Arm7Check{.elf = true,
                                .arm7 = {Runtime::blocksds, 0},
                                .arm9 = {Runtime::sdk, 0x03027531},
                                .moved = true,
                                .from = 0x02380000u,
                                .to = 0x037F8000u,
                                .dsi = DsiNote::arm7i_kept};
  EXPECT_TRUE(TextOf(report).ends_with(
      L"changed.\n\n"
      L"New ARM7 binary built with: BlocksDS\n"
      L"The image's ARM9 binary built with: Nintendo SDK 3.2.30001\n"
      L"The two halves were built with different runtimes. Such pairs often do not start, "
      L"though a simple program may still run.\n"
      L"The header's ARM7 RAM address was changed to fit arm7.bin (0x02380000 → 0x037F8000).\n"
      L"arm7.bin is an ELF file; the ARM7 binary was taken from its segments.\n"
      L"The image's own ARM7i (for DSi mode) was kept beside the new ARM7 binary, so the game "
      L"may not start in DSi mode."))
      << TextOf(report);

  // Only a certain difference earns the note: "libnds or BlocksDS" may be
  // either, other SDK versions are one SDK, and unknown is unknown.
  const auto differ = [&](Runtime arm7, Runtime arm9, std::uint32_t v7 = 0, std::uint32_t v9 = 0) {
    report.line.check = Check({arm7, v7}, {arm9, v9});
    return Has(TextOf(report), L"different runtimes");
  };
  EXPECT_TRUE(differ(Runtime::calico, Runtime::libnds));
  EXPECT_TRUE(differ(Runtime::libnds_or_blocksds, Runtime::sdk));
  EXPECT_FALSE(differ(Runtime::libnds_or_blocksds, Runtime::blocksds));
  EXPECT_FALSE(differ(Runtime::sdk, Runtime::sdk, 0x03017531, 0x05007531));
  EXPECT_FALSE(differ(Runtime::unknown, Runtime::libnds));
  EXPECT_TRUE(Has(TextOf(report), L"New ARM7 binary built with: not known\n")) << TextOf(report);

  // Nothing known is still said: the binaries were looked at.
  report.line.check = Arm7Check{};
  EXPECT_TRUE(
      TextOf(report).ends_with(L"changed.\n\nNew ARM7 binary built with: not known\n"
                               L"The image's ARM9 binary built with: not known"))
      << TextOf(report);

  std::set<std::wstring> notes;
  for (DsiNote note : {DsiNote::arm7i_follows, DsiNote::arm7i_replaced, DsiNote::arm7i_left_out,
                       DsiNote::arm7i_kept}) {
    report.line.check = Check({}, {}, note);
    notes.insert(TextOf(report));
  }
  EXPECT_EQ(notes.size(), 4u);
}

// Two SDK halves: what their versions and the ARM7's DSi block say, each in
// a sentence of its own after the names.
TEST(PatchOutcomeText, SdkHalvesSayWhetherTheirVersionsGoTogether) {
  Report report = Patched(100, 200, 0, true);
  const auto text_of = [&](std::uint32_t v7, std::uint32_t v9, SdkPairing sdk,
                           DsiBlock block = DsiBlock::not_asked) {
    Arm7Check check = Check({Runtime::sdk, v7}, {Runtime::sdk, v9});
    check.sdk = sdk;
    check.dsi_block = block;
    report.line.check = check;
    const std::wstring text = TextOf(report);
    return text.substr(text.find(L"New ARM7"));
  };
  EXPECT_EQ(text_of(0x0503757C, 0x0503757C, SdkPairing::same_version),
            L"New ARM7 binary built with: Nintendo SDK 5.3.30076\n"
            L"The image's ARM9 binary built with: Nintendo SDK 5.3.30076\n"
            L"Both halves were built with Nintendo SDK 5.3; whether they work together is not "
            L"known.");
  EXPECT_EQ(text_of(0, 0x04027531, SdkPairing::version_unknown),
            L"New ARM7 binary built with: Nintendo SDK (no version recorded)\n"
            L"The image's ARM9 binary built with: Nintendo SDK 4.2.30001\n"
            L"Both halves were built with Nintendo SDK, but whether with the same version is not "
            L"known. An ARM7 binary from a game built with the same SDK version is the likeliest "
            L"to work.");
  const std::wstring both =
      text_of(0, 0x0503757C, SdkPairing::generations_differ, DsiBlock::missing);
  EXPECT_TRUE(Has(both,
                  L"\nThe two halves certainly differ: one was built with Nintendo SDK 5, "
                  L"the other with an earlier version. Such pairs often do not start.\n"
                  L"The two halves certainly differ: the image is made for the DSi"))
      << both;
  EXPECT_TRUE(Has(text_of(0x05007531, 0x0503757C, SdkPairing::versions_differ),
                  L"different versions of Nintendo SDK"));
  EXPECT_FALSE(
      Has(text_of(0x0503757C, 0x0503757C, SdkPairing::same_version, DsiBlock::present), L"DSi"));
}

// Each failure: its own sentence, ndstool's reason as written, the image
// left unchanged, and a next step that names the folder to act on.
TEST(PatchOutcomeText, EachFailureSaysItsKindTheReasonThatNothingChangedAndTheNextStep) {
  const OutcomeBox no_arm7 = PatchOutcomeText(
      kPlaces, Failed(Failure::no_arm7, Stage::rebuild, "cannot read arm7.bin: No such file \xC7"));
  EXPECT_EQ(no_arm7.icon, BoxIcon::warning);
  EXPECT_EQ(no_arm7.text,
            L"game.nds was not patched.\n\nThere is no arm7.bin in the Bin folder.\n"
            L"ndstool: cannot read arm7.bin: No such file \uFFFD\n\n"
            L"The ROM image was left unchanged.\nPut your replacement arm7.bin "
            L"into " +
                kBin + L", then press \"P\" again.");

  struct Case {
    Report report;
    std::wstring kind;
    std::wstring next;
  };
  const Case cases[] = {
      {Failed(Failure::other), L"ndstool could not finish the patch.", L"Fix the problem ndstool"},
      {Failed(Failure::no_rom), L"No ROM image was chosen.", L"Choose a ROM image with \"...\""},
      {Failed(Failure::not_ds_image), L"not a DS ROM image.", L"Choose a DS ROM image (.nds)"},
      {Failed(Failure::in_use), L"Another program is using", L"Close the program that has"},
      {Failed(Failure::disk_full), L"The disk is full.", L"the disk that holds " + kRomFolder},
      {Failed(Failure::disk_full, Stage::unpack), L"full",
       L"the disk that holds " + kProgram + L","},
      {Failed(Failure::read_only), L"The ROM image or its folder cannot be written to.",
       L"Copy the ROM image to a folder you can write to"},
      {Failed(Failure::read_only, Stage::unpack), L"The program's folder cannot be written to.",
       L"folders under Program Files cannot be written"},
      {Failed(Failure::arm7_refused), L"This image cannot load arm7.bin",
       L"Put another arm7.bin into " + kBin + L", one built for the DS"},
  };
  for (const Case& c : cases) {
    const std::wstring text = TextOf(c.report);
    SCOPED_TRACE(text);
    EXPECT_TRUE(text.starts_with(L"game.nds was not patched.\n\n"));
    EXPECT_TRUE(Has(text, c.kind + (c.kind.ends_with(L".") ? L"\n" : L"")));
    EXPECT_TRUE(Has(text, L"\nndstool: why\n\nThe ROM image was left unchanged.\n"));
    const std::wstring last = text.substr(text.rfind(L'\n') + 1);
    EXPECT_TRUE(Has(last, c.next));
    EXPECT_TRUE(last.ends_with(L"\"P\" again.") || last.ends_with(L"then press \"P\"."));
  }

  // A refused arm7.bin says why, each reason in its own words.
  std::set<std::wstring> reasons;
  for (Refusal refusal : {Refusal::empty, Refusal::ds_image, Refusal::own_arm9, Refusal::too_large,
                          Refusal::overlaps_arm9, Refusal::bad_elf, Refusal::text, Refusal::archive,
                          Refusal::arm9, Refusal::entry_outside, Refusal::no_code_at_entry}) {
    Report report = Failed(Failure::arm7_refused);
    report.line.refusal = refusal;
    const std::wstring text = TextOf(report);
    EXPECT_TRUE(
        text.ends_with(L"one built for the DS as its ARM7 binary, then press \"P\" again."));
    reasons.insert(text.substr(0, text.find(L"\nndstool: ")));
  }
  EXPECT_EQ(reasons.size(), 11u);

  // "P" with nothing chosen.
  EXPECT_TRUE(TextOf(Failed(Failure::no_rom), {L"", kProgram})
                  .starts_with(L"The ROM image was not patched.\n\nNo ROM image was chosen."));
}

TEST(PatchOutcomeText, WithoutAWordFromTheRebuildTheBoxSaysWhatIsKnown) {
  for (Outcome outcome : {Outcome::no_report, Outcome::no_rebuild, Outcome::unreadable}) {
    const OutcomeBox box = PatchOutcomeText(kPlaces, Of(outcome));
    SCOPED_TRACE(box.text);
    EXPECT_EQ(box.icon, BoxIcon::warning);
    EXPECT_TRUE(box.text.starts_with(L"game.nds was not patched.\n\n"));
    EXPECT_TRUE(Has(box.text, L"\n\nThe ROM image was left unchanged.\n"));
    EXPECT_TRUE(Has(box.text.substr(box.text.rfind(L'\n')), L"\"P\" again"));
  }
  const std::wstring no_report = TextOf(Of(Outcome::no_report));
  EXPECT_TRUE(Has(no_report, L"Bin" + kSep + L"ndstool could not be run")) << no_report;
  EXPECT_TRUE(Has(no_report, L"Make sure that ndstool is in " + kBin + L" and can run"));
  EXPECT_TRUE(Has(TextOf(Of(Outcome::no_rebuild)), L"rebuild did not run to its end"));
  EXPECT_TRUE(Has(TextOf(Of(Outcome::unreadable)), L"(deruzuz.result) is damaged"));

  // Neither patched nor unchanged for certain: it says so rather than guess.
  const OutcomeBox unknown = PatchOutcomeText(kPlaces, Of(Outcome::unknown));
  EXPECT_EQ(unknown.icon, BoxIcon::warning);
  EXPECT_TRUE(unknown.text.starts_with(L"It is not known whether game.nds was patched.\n\n"));
  EXPECT_FALSE(Has(unknown.text, L"left unchanged"));
  EXPECT_TRUE(unknown.text.ends_with(L"\n\nPress \"P\" again to be sure."));
}

TEST(PatchOutcomeText, InKoreanEveryPartIsKoreanButNdstoolsReasonAndTheNames) {
  const Speaking korean("ko");
  Report patched = Patched(6708, 104960, 0x10200, true);
  patched.line.check = Check({Runtime::libnds, 0}, {}, DsiNote::arm7i_follows);
  EXPECT_EQ(TextOf(patched),
            L"game.nds 파일을 패치했습니다.\n\n"
            L"ARM7 바이너리를 교체했습니다(교체 전: 6,708바이트, 교체 후: 104,960바이트).\n"
            L"새 바이너리가 들어갈 자리를 만들기 위해 그 뒤의 항목들을 66,048바이트만큼 "
            L"옮겼습니다. 이미지의 다른 부분은 바뀌지 않았습니다.\n\n"
            L"새 ARM7 바이너리의 개발 환경: libnds\n"
            L"이미지 속 ARM9 바이너리의 개발 환경: 알 수 없음\n"
            L"이미지의 ARM7i(DSi 모드용)가 기존 ARM7 바이너리의 데이터를 가리키고 있었으므로, "
            L"이제 새 바이너리를 가리키도록 바꿨습니다.");

  EXPECT_EQ(TextOf(Failed(Failure::no_arm7, Stage::rebuild, "cannot read arm7.bin: No such file")),
            L"game.nds 파일을 패치하지 못했습니다.\n\nBin 폴더에 arm7.bin이 없습니다.\n"
            L"ndstool 메시지: cannot read arm7.bin: No such file\n\n"
            L"ROM 이미지는 바뀌지 않았습니다.\n교체할 arm7.bin을 " +
                kBin + L" 폴더에 넣은 다음 \"P\"를 다시 누르십시오.");
  EXPECT_TRUE(TextOf(Of(Outcome::unknown)).starts_with(L"game.nds 파일이 패치되었는지 알 수"));
}

class TakeOutcomeTest : public ::testing::Test {
 protected:
  fs::path Result() const { return folder_.path() / "deruzuz.result"; }
  PatchPlaces Places() const { return {kPlaces.rom, folder_.path().wstring()}; }

  TempFolder folder_{"patch-outcome"};
  FakePlatform platform_{folder_.path().wstring()};
};

TEST_F(TakeOutcomeTest, TheResultFileIsReadOnceAndRemoved) {
  EXPECT_EQ(fs::path(ResultPath(platform_)), Result());
  const EnvironmentVariable variable = ResultVariable(platform_);
  EXPECT_EQ(variable.name, L"VODERER_RESULT_FILE");
  EXPECT_EQ(variable.value, ResultPath(platform_));

  Line unpacked;
  Line committing;
  committing.stage = Stage::rebuild;
  committing.state = State::committing;
  Line done = committing;
  done.state = State::ok;
  done.arm7_before = 100;
  done.arm7_after = 200;
  WriteBytes(Result(), result_file::format_line(unpacked) + result_file::format_line(committing) +
                           result_file::format_line(done));
  const OutcomeBox box = TakePatchOutcome(platform_, kPlaces.rom);
  EXPECT_EQ(box.text, PatchOutcomeText(Places(), Patched(100, 200, 0, true)).text);
  EXPECT_EQ(box.icon, BoxIcon::information);
  EXPECT_FALSE(fs::exists(Result()));

  // Nothing written at all: ndstool never ran.
  EXPECT_EQ(TakePatchOutcome(platform_, kPlaces.rom).text,
            PatchOutcomeText(Places(), Of(Outcome::no_report)).text);
}

TEST_F(TakeOutcomeTest, AFileThatCannotBeReadLeavesTheOutcomeNotKnown) {
  // Larger than any report.
  WriteBytes(Result(), std::string(result_file::kMaxFileSize + 1, 'x'));
  std::wstring text = TakePatchOutcome(platform_, kPlaces.rom).text;
  EXPECT_TRUE(text.starts_with(L"It is not known whether game.nds was patched.")) << text;
  EXPECT_TRUE(Has(text, L"could not be read")) << text;
  EXPECT_FALSE(fs::exists(Result()));

  // A folder in its place: not read, not removable, and the box says both.
  fs::create_directories(Result() / "inside");
  text = TakePatchOutcome(platform_, kPlaces.rom).text;
  EXPECT_TRUE(Has(text, L"could not be read")) << text;
  EXPECT_TRUE(Has(text, L"could not be removed")) << text;
}

}  // namespace
}  // namespace voderer
