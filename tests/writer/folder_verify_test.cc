// Verification of a written data disc against its source.
#include "copy_compare/folder_verify.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

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

  StatusLog reports_;
  std::wstring message_;
};

TEST_F(FolderVerifyTest, CorrectDiscPassesWithProgressAndNoPrompt) {
  EXPECT_EQ(Verify(L"drivers,apps/readme.txt,kiro"), 0);
  EXPECT_EQ(test_.prompt->Count(), 0);
  EXPECT_EQ(reports_.Reports().size(), 2u);  // not for the first entry
}

TEST_F(FolderVerifyTest, AbsentMarkerPromptsTwelveTimesThenFails) {
  fs::remove(DiscPath("RECOVERY2"));
  EXPECT_EQ(Verify(L"drivers"), 102);
  auto messages = test_.prompt->Messages();
  ASSERT_EQ(messages.size(), 12u);
  EXPECT_EQ(messages[0].text,
            L"Please insert the disc again - detection failed.");
  EXPECT_EQ(messages[0].caption, L"Zelt");

  // A marker that appears after a prompt is found.
  test_.prompt->SetOnShow([&](int count) {
    if (count == 14) WriteFile(DiscPath("RECOVERY2"), "");
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

  fs::remove(DiscPath("apps/readme.txt"));
  EXPECT_EQ(Verify(L"drivers,apps/readme.txt"), 103);

  // Found on the disc's root but not in its folder: only the comparison of
  // one item can tell.
  fs::remove_all(DiscPath("apps"));
  try {
    VerifyItem(*test_.platform, Source("apps/readme.txt"),
               platform::FromUtf8(DiscPath("apps/readme.txt").string()),
               nullptr);
    ADD_FAILURE() << "no failure";
  } catch (const MediaVerifyException& e) {
    EXPECT_EQ(e.code, 202);
    EXPECT_EQ(e.message,
              platform::FromUtf8(DiscPath("apps/readme.txt").string()) +
                  L" - verify failed. Details: Directory doesn't exist.");
  }

  WriteFile(DiscPath("kiro/plugins.xml"), "<changed/>");
  EXPECT_EQ(Verify(L"kiro/plugins.xml"), 203);
  EXPECT_EQ(message_,
            platform::FromUtf8(DiscPath("kiro/plugins.xml").string()) +
                L" - verify failed.  Details: File compare");

  EXPECT_EQ(Verify(L"kiro"), 201);
  EXPECT_EQ(message_, platform::FromUtf8(DiscPath("kiro").string()) +
                          L" - verify failed. During recursive folder verify");
}

TEST_F(FolderVerifyTest, LinkOutOfTheSourceIsNotFollowed) {
  // Even where the disc holds what the link leads to.
  WriteFile(temp_.path() / "outside" / "x.txt", "x");
  fs::create_directory_symlink(temp_.path() / "outside",
                               SourcePath("apps/away"));
  fs::copy(temp_.path() / "outside", DiscPath("apps/away"));
  EXPECT_EQ(Verify(L"apps"), 201);
  EXPECT_EQ(message_,
            Source("apps/away") +
                L" - verify failed. Item lies outside the source folder");
}

TEST_F(FolderVerifyTest, CancelStopsComparisonsButNotThePresenceTests) {
  WriteFile(DiscPath("kiro/plugins.xml"), "<changed/>");
  cancel_->store(1);
  EXPECT_EQ(Verify(L"drivers,kiro"), 0);  // nothing compared
  fs::remove_all(DiscPath("kiro"));
  EXPECT_EQ(Verify(L"drivers,kiro"), 103);
}

TEST_F(FolderVerifyTest, CancelledJobVerifyingACorrectDiscEndsCancelled) {
  fs::remove_all(drives_ / "drive0");
  AddDrive("drive0", IMAPI_MEDIA_TYPE_DVDPLUSR);
  log_.SetHook([&](const StatusReport& report) {
    if (report.code == 9) cancel_->store(1);
  });
  RunJob(2, 1, L"drivers,apps");
  EXPECT_EQ(log_.Codes().back(), 11) << log_.FailureText();
  EXPECT_EQ(log_.FinalReports(), 1);
}

}  // namespace
}  // namespace tessaline::testing
