#include <gtest/gtest.h>

#include <stdexcept>

#include "support/disc/disc_test_platform.h"
#include "tessaline/tessaline.h"

namespace {

namespace platform = tessaline::platform;

class StaticsRecordersTest : public ::testing::Test {
 protected:
  StaticsRecordersTest() {
    test_.disc->AddRecorder().medium = {.type = IMAPI_MEDIA_TYPE_DVDDASHRW,
                                        .blank = true};
  }

  tessaline::testing::DiscTestPlatform test_ =
      tessaline::testing::MakeDiscTestPlatform();
};

TEST_F(StaticsRecordersTest, AnswerForKnownDrives) {
  std::vector<RecorderInfo> list(3);
  Tessaline::ListRecorders(list, test_.platform);
  EXPECT_EQ(list.size(), 1u);
  std::int32_t status = -1;
  EXPECT_EQ(Tessaline::MediaTypeInRecorder(0, &status, test_.platform),
            IMAPI_MEDIA_TYPE_DVDDASHRW);
  EXPECT_EQ(status, 0);
  EXPECT_TRUE(Tessaline::IsMediaBlank(0, test_.platform));
  EXPECT_EQ(Tessaline::DisableEnableMCN(0, true, test_.platform), 1);
  EXPECT_EQ(Tessaline::DisableEnableMCN(0, false, test_.platform), 1);
  EXPECT_EQ(test_.disc->Count("IDiscRecorder2::EnableMcn"), 1);
}

TEST_F(StaticsRecordersTest, UnknownDriveGivesTheFallbacks) {
  std::int32_t status = 42;
  EXPECT_EQ(Tessaline::MediaTypeInRecorder(1, &status, test_.platform),
            IMAPI_MEDIA_TYPE_UNKNOWN);
  EXPECT_EQ(status, 42);
  EXPECT_FALSE(Tessaline::IsMediaBlank(1, test_.platform));
  EXPECT_EQ(Tessaline::DisableEnableMCN(1, true, test_.platform), 0);
  EXPECT_EQ(test_.disc->Count("IDiscRecorder2::DisableMcn"), 0);
  // A failed enumeration leaves the list emptied.
  std::vector<RecorderInfo> list(3);
  test_.disc->Fail("DiscServices::CreateDiscMaster", platform::kE_FAIL);
  Tessaline::ListRecorders(list, test_.platform);
  EXPECT_TRUE(list.empty());
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
