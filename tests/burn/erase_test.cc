#include "burn/erase.h"

#include <gtest/gtest.h>

#include "support/disc/disc_test_platform.h"

namespace {

using tessaline::testing::DiscTestPlatform;
using tessaline::testing::MakeDiscTestPlatform;
using tessaline::testing::StatusLog;
using Reports = std::vector<tessaline::testing::StatusReport>;
using Lines = std::vector<std::string>;
namespace platform = tessaline::platform;

class EraseTest : public ::testing::Test {
 protected:
  EraseTest() { Reset(); }

  void TearDown() override {
    EXPECT_EQ(test_.disc->LiveObjects(), 0);
    EXPECT_EQ(test_.disc->OpenBindings(), 0);
    EXPECT_EQ(test_.disc->OpenAdvises(), 0);
    EXPECT_EQ(test_.disc->LiveSinks(), 0);
  }

  void Reset() {
    test_ = MakeDiscTestPlatform();
    test_.disc->AddRecorder();
    test_.disc->AddRecorder();
  }
  platform::HRESULT Erase(bool full = true) {
    return tessaline::EraseRecorderMedia(*test_.platform, 1, full,
                                         &StatusLog::Callback, &log_);
  }
  tessaline::testing::FakeMedium& medium() {
    return test_.disc->recorder(1).medium;
  }

  DiscTestPlatform test_;
  StatusLog log_;
};

TEST_F(EraseTest, FullEraseReportsProgressAndItsTime) {
  test_.disc->erase_events = {{30, 120}, {90, 120}};
  test_.disc->erase_seconds = 59;
  EXPECT_EQ(Erase(), platform::kS_OK);
  EXPECT_TRUE(medium().blank);
  EXPECT_EQ(log_.Reports(), (Reports{{7, 30, 120}, {7, 90, 120}}));
  EXPECT_EQ(test_.console->Writes(),
            (Lines{"\n", " - Time to erase: 00:00:59\n",
                   "EraseMedia succeeded for drive index 1\n"}));
  EXPECT_EQ(test_.disc->Calls("IDiscFormat2Erase::PutClientName").at(0).text,
            L"Kiro Media Creation");
  EXPECT_EQ(test_.disc->Count("IDiscFormat2Erase::PutFullErase"), 1);
  // A quick erase keeps the drive's default kind.
  EXPECT_EQ(Erase(false), platform::kS_OK);
  EXPECT_EQ(test_.disc->Count("IDiscFormat2Erase::PutFullErase"), 1);
}

TEST_F(EraseTest, TimeIsShownAsHoursMinutesSecondsWithoutDays) {
  const std::pair<std::uint32_t, const char*> cases[] = {{59, "00:00:59"},
                                                         {3600, "01:00:00"},
                                                         {3725, "01:02:05"},
                                                         {90061, "01:01:01"}};
  for (const auto& [seconds, shown] : cases) {
    Reset();
    test_.disc->erase_seconds = seconds;
    Erase();
    EXPECT_EQ(test_.console->Writes().at(1),
              std::string(" - Time to erase: ") + shown + "\n");
  }
  // Fractions of a second are cut off, not rounded.
  EXPECT_EQ(tessaline::ElapsedSeconds(0, 2 * 10'000'000 - 1), 1u);
}

TEST_F(EraseTest, RefusedEraseThrowsReasonThreeUnknownDriveThrows) {
  medium().erasable = false;
  try {
    Erase();
    ADD_FAILURE() << "no throw";
  } catch (const UserNeededException& e) {
    EXPECT_EQ(e.reason, 3);
  }
  EXPECT_EQ(test_.console->Text(), "FAILED to erase!\n");
  EXPECT_THROW(
      tessaline::EraseRecorderMedia(*test_.platform, 2, true, nullptr, nullptr),
      MediaWriterException);
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
    SCOPED_TRACE(call);
    Reset();
    test_.disc->Fail(call, platform::kE_FAIL);
    EXPECT_EQ(Erase(), platform::kE_FAIL);
    EXPECT_EQ(test_.disc->Count("IDiscFormat2Erase::EraseMedia"), 0);
    EXPECT_EQ(test_.console->Text(),
              std::string(line) + "EraseMedia FAILED for drive index 1\n");
  }
}

}  // namespace
