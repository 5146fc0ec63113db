#include "burn/erase.h"

#include <gtest/gtest.h>

#include "support/disc/disc_test_platform.h"

namespace {

using tessaline::testing::DiscTestPlatform;
using tessaline::testing::MakeDiscTestPlatform;
using tessaline::testing::StatusLog;
using tessaline::testing::StatusReport;
using Reports = std::vector<StatusReport>;
namespace platform = tessaline::platform;

constexpr std::uint64_t kSecond = 10'000'000;  // in 100-ns units

class EraseTest : public ::testing::Test {
 protected:
  EraseTest() : test_(MakeDiscTestPlatform()) {
    test_.disc->AddRecorder();
    test_.disc->AddRecorder();
  }

  void TearDown() override {
    EXPECT_EQ(test_.disc->LiveObjects(), 0);
    EXPECT_EQ(test_.disc->OpenAdvises(), 0);
    EXPECT_EQ(test_.disc->LiveSinks(), 0);
  }

  platform::HRESULT Erase(bool full = true) {
    return tessaline::EraseRecorderMedia(*test_.platform, 1, full,
                                         &StatusLog::Callback, &log_);
  }

  DiscTestPlatform test_;
  StatusLog log_;
};

TEST_F(EraseTest, FullEraseReportsProgressAndItsTime) {
  test_.disc->erase_events = {{30, 120}, {90, 120}};
  test_.disc->erase_seconds = 59;
  EXPECT_EQ(Erase(), platform::kS_OK);
  EXPECT_EQ(test_.disc->recorder(1).medium.erases, 1);
  EXPECT_TRUE(test_.disc->recorder(1).medium.blank);
  EXPECT_EQ(log_.Reports(), (Reports{{7, 30, 120}, {7, 90, 120}}));
  EXPECT_EQ(
      test_.console->Writes(),
      (std::vector<std::string>{"\n", " - Time to erase: 00:00:59\n",
                                "EraseMedia succeeded for drive index 1\n"}));
  auto names = test_.disc->Calls("IDiscFormat2Erase::PutClientName");
  ASSERT_EQ(names.size(), 1u);
  EXPECT_EQ(names[0].text, L"Kiro Media Creation");
  auto full = test_.disc->Calls("IDiscFormat2Erase::PutFullErase");
  ASSERT_EQ(full.size(), 1u);
  EXPECT_EQ(full[0].number, 1);
  EXPECT_EQ(test_.disc->OpenBindings(), 0);
}

TEST_F(EraseTest, AnHourShowsAsOneHour) {
  test_.disc->erase_seconds = 3600;
  Erase();
  EXPECT_EQ(test_.console->Writes().at(1), " - Time to erase: 01:00:00\n");
}

TEST_F(EraseTest, QuickEraseKeepsTheDefaultKind) {
  EXPECT_EQ(Erase(false), platform::kS_OK);
  EXPECT_EQ(test_.disc->Count("IDiscFormat2Erase::PutFullErase"), 0);
}

TEST_F(EraseTest, RefusedEraseThrowsReasonThreeAndCleansUp) {
  test_.disc->recorder(1).medium.erasable = false;
  try {
    Erase();
    ADD_FAILURE() << "no throw";
  } catch (const UserNeededException& e) {
    EXPECT_EQ(e.reason, 3);
  }
  EXPECT_EQ(test_.console->Text(), "FAILED to erase!\n");
  EXPECT_EQ(test_.disc->OpenBindings(), 0);
  EXPECT_EQ(test_.disc->Count("IDiscFormat2Erase::Unadvise"), 1);
}

TEST_F(EraseTest, FailureBeforeTheEraseErasesNothingAndThrowsNothing) {
  const std::pair<const char*, const char*> steps[] = {
      {"DiscServices::CreateEraser", "CoCreateInstance failed\n"},
      {"IDiscFormat2Erase::PutClientName",
       "FAILED to set client name for erase!\n"},
      {"IDiscFormat2Erase::GetCurrentPhysicalMediaType",
       "FAILED to eraser->get_CurrentPhysicalMediaType\n"},
      {"IDiscFormat2Erase::PutFullErase", "Failed put_FullErase()"},
  };
  for (const auto& [call, line] : steps) {
    DiscTestPlatform test = MakeDiscTestPlatform();
    test.disc->AddRecorder();
    test.disc->Fail(call, platform::kE_FAIL);
    EXPECT_EQ(tessaline::EraseRecorderMedia(*test.platform, 0, true, nullptr,
                                            nullptr),
              platform::kE_FAIL);
    EXPECT_EQ(test.disc->Count("IDiscFormat2Erase::EraseMedia"), 0) << call;
    EXPECT_EQ(test.console->Text(),
              std::string(line) + "EraseMedia FAILED for drive index 0\n");
    EXPECT_EQ(test.disc->OpenBindings(), 0);
    EXPECT_EQ(test.disc->LiveObjects(), 0);
  }
}

TEST_F(EraseTest, UnknownDriveThrowsMediaWriterException) {
  EXPECT_THROW(
      tessaline::EraseRecorderMedia(*test_.platform, 2, true, nullptr, nullptr),
      MediaWriterException);
}

TEST_F(EraseTest, MediaTypeAndItsStatus) {
  test_.disc->recorder(1).medium.type = IMAPI_MEDIA_TYPE_BDRE;
  std::int32_t status = 12345;
  EXPECT_EQ(tessaline::ReadMediaType(*test_.platform, 1, &status),
            IMAPI_MEDIA_TYPE_BDRE);
  EXPECT_EQ(status, platform::kS_OK);
  EXPECT_EQ(test_.console->Text(), "");

  test_.disc->recorder(1).medium.present = false;
  EXPECT_EQ(tessaline::ReadMediaType(*test_.platform, 1, &status),
            IMAPI_MEDIA_TYPE_UNKNOWN);
  EXPECT_EQ(status, platform::kE_IMAPI_RECORDER_MEDIA_NO_MEDIA);
  EXPECT_EQ(test_.console->Text(),
            "Failed dataWriter->get_CurrentMediaStatus\n");
}

TEST_F(EraseTest, MediaTypeIsReadEvenWhenTheStatusQueryFails) {
  test_.disc->recorder(1).medium.type = IMAPI_MEDIA_TYPE_CDRW;
  test_.disc->Fail("IDiscFormat2Data::GetCurrentMediaStatus",
                   platform::kE_IMAPI_RECORDER_REQUIRED);
  std::int32_t status = 0;
  EXPECT_EQ(tessaline::ReadMediaType(*test_.platform, 1, &status),
            IMAPI_MEDIA_TYPE_CDRW);
  EXPECT_EQ(status, platform::kE_IMAPI_RECORDER_REQUIRED);
}

TEST_F(EraseTest, MediaTypeStepsThatFailLeaveStatusUntouched) {
  test_.disc->Fail("IDiscFormat2Data::PutRecorder", platform::kE_FAIL);
  std::int32_t status = 77;
  EXPECT_EQ(tessaline::ReadMediaType(*test_.platform, 1, &status),
            IMAPI_MEDIA_TYPE_UNKNOWN);
  EXPECT_EQ(status, 77);
  test_.disc->Fail("DiscServices::CreateDataWriter", platform::kE_FAIL);
  EXPECT_EQ(tessaline::ReadMediaType(*test_.platform, 1, &status),
            IMAPI_MEDIA_TYPE_UNKNOWN);
  EXPECT_EQ(status, 77);
  EXPECT_EQ(test_.console->Text(),
            "Failed dataWriter->put_Recorder\n"
            "Failed CoCreateInstance on dataWriter\n");
  EXPECT_THROW(tessaline::ReadMediaType(*test_.platform, 2, &status),
               MediaWriterException);
}

TEST_F(EraseTest, BlankQuery) {
  test_.disc->recorder(1).medium.blank = true;
  EXPECT_TRUE(tessaline::ReadMediaBlank(*test_.platform, 1));
  EXPECT_FALSE(tessaline::ReadMediaBlank(*test_.platform, 0));
  test_.disc->Fail("IDiscFormat2Data::GetMediaHeuristicallyBlank",
                   platform::kE_FAIL);
  EXPECT_FALSE(tessaline::ReadMediaBlank(*test_.platform, 1));
  EXPECT_EQ(test_.console->Text(), "Failed to get_MediaHeuristicallyBlank\n");
  EXPECT_THROW(tessaline::ReadMediaBlank(*test_.platform, 2),
               MediaWriterException);
}

TEST(ElapsedTest, SplitsIntoDaysHoursMinutesSeconds) {
  const std::uint64_t t0 = 134116992000000000ULL;
  auto parts = tessaline::SplitElapsed(t0, t0 + 90061 * kSecond);
  EXPECT_EQ(parts.days, 1);
  EXPECT_EQ(parts.hours, 1);
  EXPECT_EQ(parts.minutes, 1);
  EXPECT_EQ(parts.seconds, 1);
  parts = tessaline::SplitElapsed(t0, t0 + 3725 * kSecond);
  EXPECT_EQ(parts.days, 0);
  EXPECT_EQ(parts.hours, 1);
  EXPECT_EQ(parts.minutes, 2);
  EXPECT_EQ(parts.seconds, 5);
  // Fractions of a second are cut off, not rounded.
  EXPECT_EQ(tessaline::ElapsedSeconds(t0, t0 + 2 * kSecond - 1), 1u);
  EXPECT_EQ(tessaline::ElapsedSeconds(t0, t0 + 59 * kSecond), 59u);
}

}  // namespace
