#include "burn/recorder.h"

#include <gtest/gtest.h>

#include <set>

#include "drive/drive_letter.h"
#include "support/rig/drive_rig.h"

namespace tessaline::testing {
namespace {

using namespace platform;

class RecorderTest : public DriveRig {
 protected:
  std::vector<RecorderInfo> List() {
    std::vector<RecorderInfo> list(5);
    EnumerateRecorders(*test_.platform, list);
    return list;
  }
};

TEST_F(RecorderTest, DrivesAreListedWithTheMediaTheirFeaturePagesName) {
  const struct {
    IMAPI_MEDIA_PHYSICAL_TYPE type;
    std::set<int> flags;
  } kRows[] = {
      {IMAPI_MEDIA_TYPE_CDRW, {1, 2, 3}},
      {IMAPI_MEDIA_TYPE_DVDPLUSRW, {1, 2, 3, 4, 6, 7, 8, 9, 10, 11}},
      {IMAPI_MEDIA_TYPE_BDRE, {1, 2, 3, 4, 6, 7, 8, 9, 10, 11, 17, 18, 19}},
  };
  for (std::size_t i = 0; i < std::size(kRows); ++i) {
    AddDrive("drive" + std::to_string(i), kRows[i].type);
  }
  const std::vector<RecorderInfo> list = List();
  ASSERT_EQ(list.size(), std::size(kRows));
  for (std::size_t i = 0; i < list.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(list[i].index, static_cast<std::int32_t>(i));
    EXPECT_EQ(
        list[i].mountPoints,
        (drives_ / ("drive" + std::to_string(i)) / "mount").wstring() + L"/");
    EXPECT_EQ(list[i].currentMediaType, kRows[i].type);
    for (int f = 0; f < 20; ++f) {
      EXPECT_EQ(list[i].mediaSupportFlags[f] != 0,
                kRows[i].flags.count(f) == 1);
    }
  }
  std::wstring drive;
  EXPECT_EQ(GetDriveLetter(*test_.platform, 1, &drive), 1);
  EXPECT_EQ(drive + L"/", list[1].mountPoints);
}

TEST_F(RecorderTest, FaultsLeaveOutTheDriveOrEndTheList) {
  const struct {
    const char* fault;
    std::vector<std::int32_t> listed;
  } kRows[] = {
      {"", {0, 1, 2}},
      {"IDiscFormat2Data::IsRecorderSupported", {0, 2}},
      {"IDiscRecorder2::GetVolumePathNames", {0, 2}},
      {"IDiscRecorder2::GetProductId", {0, 2}},
      {"IDiscRecorder2::InitializeDiscRecorder", {0}},
  };
  for (int i = 0; i < 3; ++i) {
    AddDrive("drive" + std::to_string(i), IMAPI_MEDIA_TYPE_DVDPLUSR);
  }
  for (const auto& row : kRows) {
    SCOPED_TRACE(row.fault);
    FaultDiscServices& disc = NewDisc();
    if (*row.fault) disc.Fail(row.fault, kE_FAIL, "drive1");
    std::vector<std::int32_t> listed;
    for (const RecorderInfo& info : List()) listed.push_back(info.index);
    EXPECT_EQ(listed, row.listed);
    ExpectReleased();
  }
}

TEST_F(RecorderTest, MediaChangeNotificationIsCountedPerDrive) {
  AddDrive("drive0", IMAPI_MEDIA_TYPE_CDRW);
  AddDrive("drive1", IMAPI_MEDIA_TYPE_CDRW);
  auto mcn = [&](std::uint32_t index, bool disable) {
    return SetMediaChangeNotification(*test_.platform, index, disable);
  };
  for (int i = 0; i < 2; ++i) EXPECT_EQ(mcn(0, true), 1);
  // Drive 1 was never disabled: enabling it undoes nothing of drive 0.
  for (int i = 0; i < 3; ++i) EXPECT_EQ(mcn(1, false), 1);
  EXPECT_TRUE(Requests("drive1").empty());
  for (int i = 0; i < 3; ++i) EXPECT_EQ(mcn(0, false), 1);
  EXPECT_EQ(Requests("drive0"),
            (std::vector<std::string>{"DisableMcn", "DisableMcn", "EnableMcn",
                                      "EnableMcn"}));
}

}  // namespace
}  // namespace tessaline::testing
