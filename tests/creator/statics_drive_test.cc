#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>

#include "support/core/test_platform.h"
#include "support/disc/fake_disc_services.h"
#include "support/drive/fake_devices.h"
#include "tessaline/tessaline.h"

namespace tessaline {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

class StaticsDriveTest : public ::testing::Test {
 protected:
  StaticsDriveTest()
      : test_(testing::MakeTestPlatform()),
        disc_(std::make_shared<testing::FakeDiscServices>()),
        devices_(std::make_shared<testing::FakeDevices>()) {
    test_.platform->disc = disc_;
    test_.platform->devices = devices_;
    disc_->AddRecorder().volume_paths = {L"/media/cdrom0/"};
  }

  testing::TestPlatform test_;
  std::shared_ptr<testing::FakeDiscServices> disc_;
  std::shared_ptr<testing::FakeDevices> devices_;
};

TEST_F(StaticsDriveTest, ForwardToTheDrivesDevice) {
  Tessaline::EjectClose(0, false, test_.platform);
  Tessaline::EjectClose(0, true, test_.platform);
  EXPECT_EQ(Tessaline::DriveLock(0, true, test_.platform), 0);

  EXPECT_THAT(
      devices_->Requests(),
      ElementsAre("StorageMediaRemoval(allow)", "EjectMedia", "Close",
                  "LoadMedia", "Close", "CdromMediaRemoval(prevent)", "Close"));
}

TEST_F(StaticsDriveTest, RecorderFailuresGiveTheFallbacks) {
  // No recorder at index 3: the lookup throws MediaWriterException.
  EXPECT_NO_THROW(Tessaline::EjectClose(3, false, test_.platform));
  EXPECT_EQ(Tessaline::DriveLock(3, true, test_.platform), 1);

  disc_->Fail("DiscServices::CreateDiscMaster", platform::kE_FAIL);
  EXPECT_NO_THROW(Tessaline::EjectClose(0, true, test_.platform));
  EXPECT_EQ(Tessaline::DriveLock(0, false, test_.platform), 1);

  EXPECT_THAT(devices_->Opens(), IsEmpty());
}

TEST_F(StaticsDriveTest, DriveLockWithoutADeviceIs1WithoutAnException) {
  devices_->RefuseOpen(true);

  EXPECT_EQ(Tessaline::DriveLock(0, true, test_.platform), 1);
  EXPECT_THAT(devices_->Requests(), IsEmpty());
}

}  // namespace
}  // namespace tessaline
