#include <gtest/gtest.h>

#include "burn/recorder.h"
#include "support/disc/disc_test_platform.h"
#include "tessaline/tessaline.h"

namespace {

using tessaline::testing::DiscTestPlatform;
using tessaline::testing::MakeDiscTestPlatform;
namespace platform = tessaline::platform;

class StaticsRecordersTest : public ::testing::Test {
 protected:
  StaticsRecordersTest() : test_(MakeDiscTestPlatform(L'\\')) {
    auto& drive = test_.disc->AddRecorder();
    drive.volume_paths = {L"E:\\"};
    drive.medium.type = IMAPI_MEDIA_TYPE_DVDDASHRW;
    drive.medium.blank = true;
    test_.disc->AddRecorder().volume_paths = {L"F:\\"};
  }

  DiscTestPlatform test_;
};

TEST_F(StaticsRecordersTest, ListRecordersFillsTheHostsList) {
  std::vector<RecorderInfo> list(3);
  Tessaline::ListRecorders(list, test_.platform);
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[0].mountPoints, L"E:\\");
  EXPECT_EQ(list[1].index, 1);
}

TEST_F(StaticsRecordersTest, ListRecordersKeepsWhatAFailedEnumerationLeft) {
  std::vector<RecorderInfo> list(3);
  test_.disc->Fail("DiscServices::CreateDiscMaster", platform::kE_FAIL);
  Tessaline::ListRecorders(list, test_.platform);
  // The list is emptied before the master is asked for.
  EXPECT_TRUE(list.empty());
}

TEST_F(StaticsRecordersTest, MediaQueriesAnswerForKnownDrives) {
  std::int32_t status = -1;
  EXPECT_EQ(Tessaline::MediaTypeInRecorder(0, &status, test_.platform),
            IMAPI_MEDIA_TYPE_DVDDASHRW);
  EXPECT_EQ(status, 0);
  EXPECT_TRUE(Tessaline::IsMediaBlank(0, test_.platform));
  EXPECT_FALSE(Tessaline::IsMediaBlank(1, test_.platform));
}

TEST_F(StaticsRecordersTest, UnknownDriveGivesTheFallbacks) {
  std::int32_t status = 42;
  EXPECT_EQ(Tessaline::MediaTypeInRecorder(2, &status, test_.platform),
            IMAPI_MEDIA_TYPE_UNKNOWN);
  EXPECT_EQ(status, 42);
  EXPECT_FALSE(Tessaline::IsMediaBlank(2, test_.platform));
  EXPECT_EQ(Tessaline::DisableEnableMCN(2, true, test_.platform), 0);
  EXPECT_EQ(test_.disc->Count("IDiscRecorder2::DisableMcn"), 0);
}

TEST_F(StaticsRecordersTest, NotificationIsReenabledOnlyAsOftenAsDisabled) {
  EXPECT_EQ(Tessaline::DisableEnableMCN(0, true, test_.platform), 1);
  EXPECT_EQ(Tessaline::DisableEnableMCN(0, true, test_.platform), 1);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(Tessaline::DisableEnableMCN(1, false, test_.platform), 1);
  }
  EXPECT_EQ(test_.disc->Count("IDiscRecorder2::DisableMcn"), 2);
  auto enables = test_.disc->Calls("IDiscRecorder2::EnableMcn");
  ASSERT_EQ(enables.size(), 2u);
  EXPECT_EQ(enables[1].recorder, 1);
  EXPECT_EQ(tessaline::McnDisableCount(), 0);
}

TEST_F(StaticsRecordersTest, OtherExceptionsReachTheHost) {
  // A failure of the platform itself is not the library's to swallow.
  test_.disc->SetCallHook([](const tessaline::testing::FakeCall& call) {
    if (call.name == "IDiscFormat2Data::GetMediaHeuristicallyBlank") {
      throw std::runtime_error("platform broke");
    }
  });
  EXPECT_THROW(Tessaline::IsMediaBlank(0, test_.platform), std::runtime_error);
  EXPECT_EQ(test_.disc->LiveObjects(), 0);
}

}  // namespace
