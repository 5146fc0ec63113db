// Discs after the first: the build folder written as a file-system image,
// and the folder verification of the written disc.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/text.h"
#include "writer/job_fixture.h"

namespace tessaline::testing {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;

constexpr wchar_t kItems[] = L"drivers,apps/readme.txt,kiro";

class DataDiscTest : public JobTest {
 protected:
  DataDiscTest() {
    WriteFile(SourcePath("drivers/net/e1000.inf"), "driver");
    WriteFile(SourcePath("drivers/video.sys"), "video");
    WriteFile(SourcePath("apps/readme.txt"), "read me");
    WriteFile(SourcePath("kiro/plugins.xml"), "<plugins/>");
    WriteFile(SourcePath("kiro/pluginsDVD.xml"), "<plugins disc='dvd'/>");
  }
  // The volume label is on the medium.
  bool Labelled(const std::string& label) {
    return ReadFile(drives_ / "drive0" / "medium.img").find(label) !=
           std::string::npos;
  }
};

TEST_F(DataDiscTest, WritesTheBuildFolderLabelledWithTheDiscNumber) {
  RunJob(2, 0, kItems);

  EXPECT_THAT(log_.Codes(), ElementsAre(1, 1, 1, 4, 5, 6, 8, 15, 10));
  EXPECT_TRUE(Labelled("RECOVERYDISC2"));
  // The base folder is not included. What went on the disc: the items, the
  // marker, the plug-in variant, and no boot-disc marker.
  EXPECT_EQ(OnDisc("RECOVERY2"), "");
  EXPECT_FALSE(OnDisc("DVD"));
  EXPECT_EQ(OnDisc("drivers/net/e1000.inf"), "driver");
  EXPECT_EQ(OnDisc("apps/readme.txt"), "read me");
  EXPECT_EQ(OnDisc("kiro/plugins.xml"), "<plugins disc='dvd'/>");
  EXPECT_FALSE(fs::exists(WorkPath("Burn")));
  EXPECT_TRUE(processes_->Starts().empty());
}

TEST_F(DataDiscTest, VerifiedDiscIsComparedWithTheSource) {
  // The disc's plug-in list is compared with the source's disc variant.
  RunJob(2, 1, kItems);
  EXPECT_THAT(log_.Codes(), ElementsAre(1, 1, 1, 4, 5, 6, 8, 9, 9, 9, 15, 10));
  EXPECT_EQ(test_.prompt->Count(), 0);
}

TEST_F(DataDiscTest, VerifyFlagOtherThanOneNeitherVerifiesNorFinishes) {
  RunJob(2, 2, kItems);
  EXPECT_THAT(log_.Codes(), ElementsAre(1, 1, 1, 4, 5, 6, 8, 10));
  // Only the unlock that ends every job that was not cancelled.
  EXPECT_THAT(Requests("drive0"),
              ::testing::Contains("IOCTL_CDROM_MEDIA_REMOVAL allow"));
  EXPECT_THAT(
      Requests("drive0"),
      ::testing::Not(::testing::Contains("IOCTL_CDROM_MEDIA_REMOVAL prevent")));
}

TEST_F(DataDiscTest, CancelDuringTheCopyStopsCopyingAndEndsCancelled) {
  // The plug-in list's disc variant is missing: switching it in the
  // partial copy would turn the cancel into a failure.
  fs::remove(SourcePath("kiro/pluginsDVD.xml"));
  for (std::int32_t disc : {2, 1}) {
    JobLog log;
    log.SetHook([&](const StatusReport& report) {
      if (report.code == 1 && log.Reports().size() == 3) cancel_->store(1);
    });
    cancel_->store(0);
    RunJob(disc, 0, kItems, &log);
    EXPECT_EQ(log.Codes().back(), 11) << disc;
    EXPECT_EQ(log.FinalReports(), 1);
  }
  EXPECT_EQ(Medium("drive0", "written"), "0");
}

TEST_F(DataDiscTest, MissingSourceItemFailsTheCopyAndListsIt) {
  fs::remove_all(SourcePath("drivers"));
  RunJob(2, 0, kItems);
  EXPECT_EQ(log_.FailureText(),
            L"Missing source folder or files - copy failed.");
  EXPECT_EQ(ReadFile(WorkPath("missing.txt")),
            platform::ToUtf8(Source("drivers")) + "\r\n");
}

TEST_F(DataDiscTest, ReportThatCannotBeWrittenFailsNamingItsPath) {
  fs::remove_all(SourcePath("drivers"));
  fs::create_directories(WorkPath("missing.txt"));
  RunJob(2, 0, kItems);
  EXPECT_EQ(log_.FailureText(), Work("missing.txt") + L" - Is a directory");
}

TEST_F(DataDiscTest, FailingWriterLeavesTheBuildFolderForTheNextBuild) {
  disc_->Fail("IDiscFormat2Data::GetSupportedMediaTypes", platform::kE_FAIL);
  RunJob(2, 0, kItems);
  EXPECT_EQ(log_.FailureText(), L"Writing the disc failed (0x80004005)");
  EXPECT_TRUE(fs::exists(WorkPath("Burn")));

  // The next build starts by renewing it; its label carries all digits of
  // the disc number.
  WriteFile(WorkPath("Burn/stale.txt"), "old");
  NewDisc();
  JobLog next;
  RunJob(12, 0, L"apps/readme.txt", &next);
  EXPECT_EQ(next.Codes().back(), 10);
  EXPECT_FALSE(OnDisc("stale.txt"));
  EXPECT_TRUE(Labelled("RECOVERYDISC12"));
}

}  // namespace
}  // namespace tessaline::testing
