// Disc 1: the build folder, the mastering tool, writing and the read-back.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "platform/text.h"
#include "writer/job_fixture.h"

namespace tessaline::testing {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;

constexpr wchar_t kItems[] = L"boot,sources,kiro";

class BootDiscTest : public JobTest {
 protected:
  BootDiscTest() { MakeBootSource(); }
};

TEST_F(BootDiscTest, ReportsEveryStageInOrderAndLeavesNothingBehind) {
  RunJob(1, 0, kItems);

  // start, kiro, sources, the build's steps, writing
  EXPECT_THAT(log_.Codes(),
              ElementsAre(1, 1, 1, 2, 3, 3, 3, 3, 3, 4, 5, 6, 8, 15, 10));
  EXPECT_FALSE(fs::exists(WorkPath("Burn")));
  EXPECT_FALSE(fs::exists(WorkPath("boot.iso")));
  EXPECT_EQ(test_.clock->Sleeps().back(), 6000u);

  auto starts = processes_->Starts();
  ASSERT_EQ(starts.size(), 1u);
  const std::wstring tool = temp_.Wide("module/oscdimg");
  EXPECT_EQ(starts[0].program, tool);
  EXPECT_EQ(starts[0].command_line,
            L"\"" + tool + L"\" -lRECOVERYDISC1 /n /m /B\"" +
                Source("boot/etfsboot.com") + L"\" \"" + Work("Burn") +
                L"\" \"" + Work("boot.iso") + L"\"");
  // The whole image went to the medium.
  EXPECT_EQ(ReadFile(drives_ / "drive0" / "medium.img"),
            std::string(tool_->image.begin(), tool_->image.end()));
}

TEST_F(BootDiscTest, BuildFolderHoldsMarkersPluginVariantAndSourceBootFolder) {
  // The build folder as the tool sees it; the boot folder comes from
  // sources/boot, replacing the copied one.
  std::map<std::string, std::string> seen;
  tool_->on_start = [&] {
    for (const char* name : {"DVD", "RECOVERY1", "kiro/plugins.xml", "boot/bcd",
                             "boot/etfsboot.com"}) {
      const fs::path path = WorkPath("Burn") / name;
      seen[name] = fs::exists(path) ? ReadFile(path) : "absent";
    }
  };
  RunJob(1, 0, kItems);
  EXPECT_EQ(seen, (std::map<std::string, std::string>{
                      {"DVD", ""},
                      {"RECOVERY1", ""},
                      {"kiro/plugins.xml", "<plugins disc='dvd'/>"},
                      {"boot/bcd", "boot configuration"},
                      {"boot/etfsboot.com", "absent"}}));
}

TEST_F(BootDiscTest, VerifiedDiscIsReadBackAndUnlockedTwice) {
  RunJob(1, 1, kItems);

  auto codes = log_.Codes();
  // No 15 from the build; 9 at the start of verification and for each full
  // chunk (5 MiB: two full chunks of 1000 sectors, then a short one).
  EXPECT_THAT(codes, ElementsAre(1, 1, 1, 2, 3, 3, 3, 3, 3, 4, 5, 6, 8, 9, 9, 9,
                                 15, 10));
  EXPECT_THAT(
      Requests("drive0"),
      ::testing::IsSupersetOf({"FSCTL_LOCK_VOLUME", "FSCTL_DISMOUNT_VOLUME",
                               "FSCTL_UNLOCK_VOLUME"}));
  std::vector<std::string> locks;
  for (const auto& r : Requests("drive0")) {
    if (r.rfind("IOCTL_CDROM_MEDIA_REMOVAL", 0) == 0) locks.push_back(r);
  }
  EXPECT_THAT(locks, ElementsAre("IOCTL_CDROM_MEDIA_REMOVAL prevent",
                                 "IOCTL_CDROM_MEDIA_REMOVAL allow",
                                 "IOCTL_CDROM_MEDIA_REMOVAL allow"));
  EXPECT_FALSE(fs::exists(WorkPath("boot.iso")));
  // Dismount's wait, the read-back's start, the final wait.
  EXPECT_THAT(test_.clock->Sleeps(),
              ::testing::IsSupersetOf({10000u, 5u, 6000u}));
}

TEST_F(BootDiscTest, ReadBackMismatchKeepsTheImage) {
  // The disc differs from the image in chunk 3 once verification starts.
  bool flipped = false;
  log_.SetHook([&](const StatusReport& report) {
    if (report.code != 9 || flipped) return;
    flipped = true;
    const fs::path medium = drives_ / "drive0" / "medium.img";
    std::string bytes = ReadFile(medium);
    bytes[2 * 2048000 + 17] ^= 0xFF;
    WriteFile(medium, bytes);
  });
  RunJob(1, 1, kItems);

  auto reports = log_.Reports();
  ASSERT_FALSE(reports.empty());
  EXPECT_EQ(reports.back().code, 14);
  EXPECT_EQ(reports.back().first, 3);
  EXPECT_NE(reports.back().second, 0);
  EXPECT_TRUE(fs::exists(WorkPath("boot.iso")));
  EXPECT_EQ(log_.FinalReports(), 1);
}

TEST_F(BootDiscTest, ToolAndBootSectorFileComeFromTheSourceOrLibraryFolder) {
  fs::remove(SourcePath("boot/etfsboot.com"));
  RunJob(1, 0, kItems);
  ASSERT_EQ(processes_->Starts().size(), 1u);
  EXPECT_NE(processes_->Starts()[0].command_line.find(
                L"/B\"" + temp_.Wide("module/etfsboot.com") + L"\""),
            std::wstring::npos);

  // Missing files are named by their paths in the library's folder.
  JobLog no_boot, no_tool;
  fs::remove(temp_.path() / "module" / "etfsboot.com");
  RunJob(1, 0, kItems, &no_boot);
  EXPECT_EQ(no_boot.FailureText(),
            temp_.Wide("module/etfsboot.com") + L" missing");
  EXPECT_FALSE(fs::exists(WorkPath("Burn")));
  fs::remove(temp_.path() / "module" / "oscdimg");
  RunJob(1, 0, kItems, &no_tool);
  EXPECT_EQ(no_tool.Codes().back(), 12);
  EXPECT_EQ(no_tool.FailureText(), temp_.Wide("module/oscdimg") + L" missing");
  EXPECT_FALSE(fs::exists(WorkPath("Burn")));
  EXPECT_EQ(processes_->Starts().size(), 1u);
}

TEST_F(BootDiscTest, ToolFailuresEndTheJobWithTheirTexts) {
  struct Case {
    std::uint32_t exit_code;
    bool leave_image;
    std::wstring text;
  };
  for (const Case& c :
       {Case{2, true, L"oscdimg.exe returned an error"},
        Case{0, false, L"boot.iso missing, oscdimg.exe failed"}}) {
    JobLog log;
    processes_->Script(ToolRun(1500, c.exit_code));
    tool_->leave_image = c.leave_image;
    RunJob(1, 0, kItems, &log);
    EXPECT_EQ(log.Codes().back(), 12);
    EXPECT_EQ(log.FailureText(), c.text);
    EXPECT_FALSE(fs::exists(WorkPath("Burn")));
    EXPECT_EQ(Medium("drive0", "written"), "0");
  }
}

TEST_F(BootDiscTest, PluginListWithoutItsDiscVariantFails) {
  fs::remove(SourcePath("kiro/pluginsDVD.xml"));
  RunJob(1, 0, kItems);
  EXPECT_EQ(log_.FailureText(),
            L"Could not set up plugins.xml file (copy failed)");
  // The failure comes before the tool: the build folder stays for the next
  // build to remove.
  EXPECT_TRUE(fs::exists(WorkPath("Burn")));
}

TEST_F(BootDiscTest, CancelBeforeTheJobStartsEndsRightAfterTheBuild) {
  cancel_->store(1);
  RunJob(1, 0, kItems);

  EXPECT_TRUE(processes_->Starts().empty());
  EXPECT_EQ(Medium("drive0", "written"), "0");
  // 15 is still sent when no verification follows, then 11 at once.
  EXPECT_THAT(log_.Codes(), ElementsAre(1, 1, 1, 2, 3, 15, 11));
  EXPECT_TRUE(Requests("drive0").empty());
  EXPECT_THAT(test_.clock->Sleeps(),
              ::testing::Not(::testing::Contains(6000u)));
  EXPECT_FALSE(fs::exists(WorkPath("Burn")));
}

TEST_F(BootDiscTest, CancelDuringTheToolRunIsAToolFailure) {
  processes_->Script(ToolRun(kNever, 0));
  log_.SetHook([&](const StatusReport& report) {
    if (report.code == 3 && report.first == 2) cancel_->store(1);
  });
  RunJob(1, 0, kItems);

  ASSERT_EQ(processes_->Terminations().size(), 1u);
  EXPECT_EQ(processes_->Terminations()[0].exit_code, 255u);
  EXPECT_EQ(log_.FailureText(), L"oscdimg.exe returned an error");
  EXPECT_EQ(log_.FinalReports(), 1);
}

TEST_F(BootDiscTest, EmptyWorkFolderIsRefusedBeforeAnythingIsTouched) {
  auto settings = Settings(1, 0, kItems);
  settings.workFolder = L"";
  { MediaWriter job(settings); }
  EXPECT_THAT(log_.Codes(), ElementsAre(12));
  EXPECT_EQ(log_.FailureText(), L"Missing work folder - build failed.");
}

}  // namespace
}  // namespace tessaline::testing
