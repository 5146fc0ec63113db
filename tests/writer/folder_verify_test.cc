// Verification of a written data disc against its source.
#include "copy_compare/folder_verify.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>

#include "platform/text.h"
#include "writer/job_fixture.h"

namespace tessaline::testing {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;

class FolderVerifyTest : public JobTest {
 protected:
  FolderVerifyTest() {
    WriteFile(SourcePath("drivers/net/e1000.inf"), "driver");
    WriteFile(SourcePath("apps/readme.txt"), "read me");
    WriteFile(SourcePath("kiro/plugins.xml"), "<plugins/>");
    WriteFile(SourcePath("kiro/pluginsDVD.xml"), "<plugins disc='dvd'/>");
    // The disc as a data disc job writes it, with its marker.
    StatusLog written;
    RunJob(2, 0, L"drivers,apps,kiro", &written);
    EXPECT_EQ(written.Codes().back(), kStatusSucceeded)
        << platform::ToUtf8(written.FailureText());
  }

  // The verification's failure code, or 0 when it passes.
  std::int32_t Verify(const std::wstring& items) {
    try {
      VerifyDiscItems(*test_.platform,
                      StatusReporter(&StatusLog::Callback, &reports_),
                      DiscIdentity{0, media_, 2}, Source(), items, Work("Burn"),
                      cancel_.get());
      return 0;
    } catch (const MediaVerifyException& e) {
      EXPECT_EQ(e.chunk, 0);
      message_ = e.message;
      return e.code;
    }
  }

  // Changes one byte of the file data `content` on drive0's medium, as a
  // disc that does not hold what was written.
  void FlipOnMedium(const std::string& content) {
    const fs::path medium = drives_ / "drive0" / "medium.img";
    std::string bytes = ReadFile(medium);
    const std::size_t at = bytes.find(content);
    ASSERT_NE(at, std::string::npos);
    ASSERT_EQ(at, bytes.rfind(content));
    bytes[at] ^= 0x20;
    const auto written = fs::last_write_time(medium);
    WriteFile(medium, bytes);
    // Later than the write, as a real change is, even where the file
    // system's clock has not ticked since.
    fs::last_write_time(medium, written + std::chrono::seconds(1));
  }

  // A drive with a blank medium in place of the one written.
  void NewMedium() {
    fs::remove_all(drives_ / "drive0");
    AddDrive("drive0", IMAPI_MEDIA_TYPE_DVDPLUSR);
  }

  StatusLog reports_;
  std::wstring message_;
};

TEST_F(FolderVerifyTest, CorrectDiscPassesWithProgressAndNoPrompt) {
  EXPECT_EQ(Verify(L"drivers,apps/readme.txt,kiro"), 0);
  EXPECT_EQ(test_.prompt->Count(), 0);
  EXPECT_EQ(reports_.Reports().size(), 2u);  // not for the first entry
}

TEST_F(FolderVerifyTest, TakenOutDiscPromptsTwelveTimesThenFails) {
  const fs::path medium = drives_ / "drive0" / "medium.img";
  const fs::path aside = temp_.path() / "aside.img";
  fs::rename(medium, aside);
  EXPECT_EQ(Verify(L"drivers"), 102);
  auto messages = test_.prompt->Messages();
  ASSERT_EQ(messages.size(), 12u);
  EXPECT_EQ(messages[0].text,
            L"Please insert the disc again - detection failed.");
  EXPECT_EQ(messages[0].caption, L"Zelt");

  // A disc put back after a prompt is found.
  test_.prompt->SetOnShow([&](int count) {
    if (count == 14) fs::rename(aside, medium);
  });
  EXPECT_EQ(Verify(L"drivers"), 0);
  EXPECT_EQ(test_.prompt->Count(), 14);
}

TEST_F(FolderVerifyTest, EachSituationHasItsCode) {
  disc_->Fail("IDiscRecorder2::GetVolumePathNames", platform::kE_FAIL);
  EXPECT_EQ(Verify(L"drivers"), 101);  // a recorder without a drive
  NewDisc();

  EXPECT_EQ(Verify(L"drivers,missing-in-source"), 104);
  EXPECT_EQ(ReadFile(WorkPath("missing.txt")),
            platform::ToUtf8(Source("missing-in-source")) + "\r\n");

  // Present in the source, never written to the medium.
  WriteFile(SourcePath("apps/new.txt"), "new");
  EXPECT_EQ(Verify(L"drivers,apps/new.txt"), 103);

  // Found on the disc's root but not in its folder: only the comparison of
  // one item can tell.
  WriteFile(SourcePath("extra/x.txt"), "x");
  try {
    VerifyItem(*test_.platform, Source("extra/x.txt"),
               platform::FromUtf8(DiscPath("extra/x.txt").string()), nullptr);
    ADD_FAILURE() << "no failure";
  } catch (const MediaVerifyException& e) {
    EXPECT_EQ(e.code, 202);
    EXPECT_EQ(e.message,
              platform::FromUtf8(DiscPath("extra/x.txt").string()) +
                  L" - verify failed. Details: Directory doesn't exist.");
  }

  FlipOnMedium("read me");
  EXPECT_EQ(Verify(L"apps/readme.txt"), 203);
  EXPECT_EQ(message_, platform::FromUtf8(DiscPath("apps/readme.txt").string()) +
                          L" - verify failed.  Details: File compare");
  fs::remove(SourcePath("apps/new.txt"));
  EXPECT_EQ(Verify(L"apps"), 201);
  EXPECT_EQ(message_, platform::FromUtf8(DiscPath("apps").string()) +
                          L" - verify failed. During recursive folder verify");
}

TEST_F(FolderVerifyTest, MediumChangedAfterTheWriteFailsTheJob) {
  log_.SetHook([&](const StatusReport& report) {
    if (report.code == 9 && report.first == 0) FlipOnMedium("read me");
  });
  NewMedium();
  RunJob(2, 1, L"drivers,apps/readme.txt");
  EXPECT_EQ(log_.Reports().back(), (StatusReport{14, 0, 203}));
}

TEST_F(FolderVerifyTest, LinkOutOfTheSourceIsNotFollowed) {
  WriteFile(temp_.path() / "outside" / "x.txt", "x");
  fs::create_directory_symlink(temp_.path() / "outside",
                               SourcePath("apps/away"));
  EXPECT_EQ(Verify(L"apps"), 201);
  EXPECT_EQ(message_,
            Source("apps/away") +
                L" - verify failed. Item lies outside the source folder");
}

TEST_F(FolderVerifyTest, CancelStopsComparisonsButNotThePresenceTests) {
  FlipOnMedium("read me");
  cancel_->store(1);
  EXPECT_EQ(Verify(L"drivers,apps"), 0);  // nothing compared
  WriteFile(SourcePath("new/x.txt"), "x");
  EXPECT_EQ(Verify(L"drivers,new"), 103);
}

TEST_F(FolderVerifyTest, CancelledJobVerifyingACorrectDiscEndsCancelled) {
  NewMedium();
  log_.SetHook([&](const StatusReport& report) {
    if (report.code == 9) cancel_->store(1);
  });
  RunJob(2, 1, L"drivers,apps");
  EXPECT_EQ(log_.Codes().back(), 11) << log_.FailureText();
  EXPECT_EQ(log_.FinalReports(), 1);
}

}  // namespace
}  // namespace tessaline::testing
