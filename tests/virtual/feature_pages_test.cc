// The feature pages of virtual drives. Which media support flags the
// recorder list makes of them is the recorder list's own test.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <vector>

#include "virtual/virtual_drive_fixture.h"

namespace tessaline::testing {
namespace {

using namespace platform;

class FeaturePagesTest : public VirtualDrivesTest {};

TEST_F(FeaturePagesTest, PagesAreWellFormedAndCurrentOnesFollowTheMedium) {
  const auto drive = AddDrive("drive0", IMAPI_MEDIA_TYPE_DVDPLUSRW);
  AddDrive("drive1", IMAPI_MEDIA_TYPE_BDRE);
  std::vector<std::uint8_t> d;
  for (std::int32_t index : {0, 1}) {
    auto recorder = Recorder(index);
    std::shared_ptr<IDiscRecorder2Ex> ex;
    ASSERT_EQ(recorder->QueryRecorderEx(&ex), kS_OK);
    std::vector<std::uint32_t> features;
    ASSERT_EQ(recorder->GetSupportedFeaturePages(&features), kS_OK);
    EXPECT_TRUE(std::is_sorted(features.begin(), features.end()));
    for (std::uint32_t feature : features) {
      ASSERT_EQ(ex->GetFeaturePage(feature, false, &d), kS_OK);
      EXPECT_TRUE(d.size() >= 4 &&
                  ((d[0] << 8) | d[1]) == static_cast<int>(feature) &&
                  d.size() == 4u + d[3])
          << feature;
    }
  }

  std::shared_ptr<IDiscRecorder2Ex> ex;
  ASSERT_EQ(Recorder(0)->QueryRecorderEx(&ex), kS_OK);
  EXPECT_EQ(ex->GetFeaturePage(0x2A, true, &d), kS_OK);
  EXPECT_EQ(ex->GetFeaturePage(0x2B, true, &d),
            kE_IMAPI_RECORDER_FEATURE_IS_NOT_CURRENT);
  EXPECT_EQ(ex->GetFeaturePage(0x41, false, &d),
            kE_IMAPI_RECORDER_NO_SUCH_FEATURE);
  // With the tray empty no medium feature is current.
  std::filesystem::remove(drive / "medium.img");
  EXPECT_EQ(ex->GetFeaturePage(0x2A, true, &d),
            kE_IMAPI_RECORDER_FEATURE_IS_NOT_CURRENT);
  EXPECT_EQ(ex->GetFeaturePage(0x2A, false, &d), kS_OK);
}

}  // namespace
}  // namespace tessaline::testing
