#include "drive/drive_control.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/platform_wrapper.h"
#include "support/rig/drive_rig.h"

namespace tessaline::testing {
namespace {

using namespace platform;
using Lines = std::vector<std::string>;

class DriveControlTest : public DriveRig {
 protected:
  DriveControlTest() {
    AddDrive("drive0", IMAPI_MEDIA_TYPE_CDR, "settle=10,6");
    Record("drive0", 2);
  }
  const Platform& platform() { return *test_.platform; }
};

TEST_F(DriveControlTest, WithoutADriveOrDeviceNothingIsSentAndTheResultIs1) {
  for (bool refuse_device : {false, true}) {
    SCOPED_TRACE(refuse_device);
    FaultDiscServices& disc = NewDisc();
    if (refuse_device) {
      test_.platform->devices =
          std::make_shared<RefusingDevices>(test_.platform->devices);
    } else {
      disc.Fail("IDiscRecorder2::GetVolumePathNames", kE_FAIL);
    }
    EjectClose(platform(), 0, false);
    EXPECT_EQ(DriveLock(platform(), 0, true), 1);
    EXPECT_EQ(DismountDiscVolume(platform(), 0), 1);
    EXPECT_EQ(Requests("drive0"), Lines{});
    EXPECT_EQ(Medium("drive0", "written"), "1");
    EXPECT_TRUE(test_.clock->Sleeps().empty());
  }
}

TEST_F(DriveControlTest, DismountRetriesTheLockThenDismountsAnyway) {
  EXPECT_EQ(DismountDiscVolume(platform(), 0), 0);
  EXPECT_EQ(Medium("drive0", "mounted"), "0");
  EXPECT_EQ(Requests("drive0"),
            (Lines{"FSCTL_LOCK_VOLUME", "FSCTL_DISMOUNT_VOLUME",
                   "FSCTL_UNLOCK_VOLUME"}));
  EXPECT_EQ(test_.clock->Sleeps(), (std::vector<std::uint32_t>{10000}));

  // An empty tray refuses every lock.
  EjectClose(platform(), 0, false);
  std::filesystem::remove(drives_ / "drive0" / "requests.log");
  EXPECT_EQ(DismountDiscVolume(platform(), 0), 0);
  const std::string refused = ": refused: no medium";
  EXPECT_EQ(Requests("drive0"),
            (Lines{"FSCTL_LOCK_VOLUME" + refused, "FSCTL_LOCK_VOLUME" + refused,
                   "FSCTL_LOCK_VOLUME" + refused,
                   "FSCTL_DISMOUNT_VOLUME" + refused}));
  EXPECT_EQ(test_.clock->TotalSlept(), 5 * 10000u);
}

}  // namespace
}  // namespace tessaline::testing
