// The feature pages of virtual drives, read as the recorder list reads them.
#include <gtest/gtest.h>

#include <set>
#include <vector>

#include "virtual/virtual_drive_fixture.h"

namespace tessaline::testing {
namespace {

using namespace platform;

class FeaturePagesTest : public VirtualDrivesTest {
 protected:
  // The media support flags the recorder list sets from a drive's feature
  // pages: which bytes and bits of which descriptors mean which medium.
  std::set<int> SupportFlags(std::int32_t index) {
    auto recorder = Recorder(index);
    std::shared_ptr<IDiscRecorder2Ex> ex;
    EXPECT_EQ(recorder->QueryRecorderEx(&ex), kS_OK);
    std::vector<std::uint32_t> features;
    EXPECT_EQ(recorder->GetSupportedFeaturePages(&features), kS_OK);
    std::set<int> flags;
    for (std::uint32_t feature : features) {
      std::vector<std::uint8_t> d;
      const bool read = Succeeded(ex->GetFeaturePage(feature, false, &d));
      auto bit = [&](std::size_t byte, std::uint8_t mask) {
        return read && d.size() > byte && (d[byte] & mask) != 0;
      };
      switch (feature) {
        case 0x1E:
          flags.insert(1);
          break;
        case 0x1F:
          flags.insert(4);
          break;
        case 0x27:
        case 0x37:
          flags.insert(3);
          break;
        case 0x2D:
        case 0x2E:
          flags.insert(2);
          if (bit(4, 0x02)) flags.insert(3);
          break;
        case 0x2A:
          if (bit(4, 0x01)) flags.insert(7);
          break;
        case 0x2B:
          if (bit(4, 0x01)) flags.insert(6);
          break;
        case 0x3B:
          if (bit(4, 0x01)) flags.insert(8);
          break;
        case 0x2F:
          flags.insert(9);
          if (bit(4, 0x08)) flags.insert(11);
          if (bit(4, 0x04)) flags.insert(10);
          break;
        case 0x40:
          flags.insert(17);
          break;
        case 0x41:
          if (bit(9, 0x04)) flags.insert(19);
          if (bit(17, 0x02)) flags.insert(18);
          break;
        default:
          break;
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

TEST_F(FeaturePagesTest, DescriptorsAreWellFormedAndCurrentFollowsTheMedium) {
  const auto drive = AddDrive("drive0", IMAPI_MEDIA_TYPE_DVDPLUSRW);
  auto recorder = Recorder(0);
  std::shared_ptr<IDiscRecorder2Ex> ex;
  ASSERT_EQ(recorder->QueryRecorderEx(&ex), kS_OK);
  std::vector<std::uint32_t> features;
  ASSERT_EQ(recorder->GetSupportedFeaturePages(&features), kS_OK);
  ASSERT_TRUE(std::is_sorted(features.begin(), features.end()));
  for (std::uint32_t feature : features) {
    std::vector<std::uint8_t> d;
    ASSERT_EQ(ex->GetFeaturePage(feature, false, &d), kS_OK);
    ASSERT_GE(d.size(), 4u);
    EXPECT_EQ((d[0] << 8) | d[1], static_cast<int>(feature));
    EXPECT_EQ(d.size(), 4u + d[3]) << feature;
  }

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
