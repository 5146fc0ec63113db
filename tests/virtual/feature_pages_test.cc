// The feature pages of virtual drives, read as the recorder list reads them.
#include <gtest/gtest.h>

#include <set>
#include <vector>

#include "virtual/virtual_drive_fixture.h"

namespace tessaline::testing {
namespace {

using namespace platform;

// The media support flags the recorder list sets from a drive's feature
// pages: `flag` for a feature present, or for a bit of its descriptor.
struct FlagRule {
  std::uint32_t feature;
  std::size_t byte;
  std::uint8_t mask;  // 0: the feature's presence suffices
  int flag;
};
constexpr FlagRule kRules[] = {
    {0x1E, 0, 0, 1},     {0x1F, 0, 0, 4},     {0x27, 0, 0, 3},
    {0x37, 0, 0, 3},     {0x2D, 0, 0, 2},     {0x2E, 0, 0, 2},
    {0x2D, 4, 0x02, 3},  {0x2E, 4, 0x02, 3},  {0x2A, 4, 0x01, 7},
    {0x2B, 4, 0x01, 6},  {0x3B, 4, 0x01, 8},  {0x2F, 0, 0, 9},
    {0x2F, 4, 0x08, 11}, {0x2F, 4, 0x02, 10}, {0x40, 0, 0, 17},
    {0x41, 9, 0x04, 19}, {0x41, 17, 0x02, 18}};

class FeaturePagesTest : public VirtualDrivesTest {
 protected:
  // Every page a drive lists must be a well-formed descriptor of its
  // feature, in order.
  std::set<int> SupportFlags(std::int32_t index) {
    auto recorder = Recorder(index);
    std::shared_ptr<IDiscRecorder2Ex> ex;
    EXPECT_EQ(recorder->QueryRecorderEx(&ex), kS_OK);
    std::vector<std::uint32_t> features;
    EXPECT_EQ(recorder->GetSupportedFeaturePages(&features), kS_OK);
    EXPECT_TRUE(std::is_sorted(features.begin(), features.end()));
    std::set<int> flags;
    for (std::uint32_t feature : features) {
      std::vector<std::uint8_t> d;
      EXPECT_EQ(ex->GetFeaturePage(feature, false, &d), kS_OK);
      EXPECT_TRUE(d.size() >= 4 &&
                  ((d[0] << 8) | d[1]) == static_cast<int>(feature) &&
                  d.size() == 4u + d[3])
          << feature;
      for (const FlagRule& rule : kRules) {
        if (rule.feature == feature &&
            (rule.mask == 0 ||
             (d.size() > rule.byte && (d[rule.byte] & rule.mask) != 0))) {
          flags.insert(rule.flag);
        }
      }
    }
    return flags;
  }
};

TEST_F(FeaturePagesTest, SupportFlagsMatchWhatEachDriveWrites) {
  AddDrive("a", IMAPI_MEDIA_TYPE_CDR);
  AddDrive("b", IMAPI_MEDIA_TYPE_CDRW);
  AddDrive("c", IMAPI_MEDIA_TYPE_DVDPLUSRW);
  AddDrive("d", IMAPI_MEDIA_TYPE_BDRE);
  const std::set<int> dvd = {1, 2, 3, 4, 6, 7, 8, 9, 10, 11};
  std::set<int> bd = dvd;
  bd.insert({17, 18, 19});
  EXPECT_EQ(SupportFlags(0), (std::set<int>{1, 2}));
  EXPECT_EQ(SupportFlags(1), (std::set<int>{1, 2, 3}));
  EXPECT_EQ(SupportFlags(2), dvd);
  EXPECT_EQ(SupportFlags(3), bd);
}

TEST_F(FeaturePagesTest, CurrentFeaturesFollowTheMedium) {
  const auto drive = AddDrive("drive0", IMAPI_MEDIA_TYPE_DVDPLUSRW);
  std::shared_ptr<IDiscRecorder2Ex> ex;
  ASSERT_EQ(Recorder(0)->QueryRecorderEx(&ex), kS_OK);
  std::vector<std::uint8_t> d;
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
  EXPECT_EQ(d[4] & 0x01, 0x01);
}

}  // namespace
}  // namespace tessaline::testing
