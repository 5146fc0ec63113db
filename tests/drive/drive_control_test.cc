#include "drive/drive_control.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "drive/drive_name.h"
#include "platform/platform_wrapper.h"
#include "support/core/test_platform.h"
#include "support/disc/fake_disc_services.h"
#include "support/drive/fake_devices.h"
#include "tessaline/tessaline.h"

namespace tessaline {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

// A file system that names drives by letter, as on Windows.
class LetterDriveFiles : public platform::FileSystemWrapper {
 public:
  using FileSystemWrapper::FileSystemWrapper;
  wchar_t Separator() const override { return L'\\'; }
};

class DriveControlTest : public ::testing::Test {
 protected:
  DriveControlTest()
      : test_(testing::MakeTestPlatform()),
        disc_(std::make_shared<testing::FakeDiscServices>()),
        devices_(std::make_shared<testing::FakeDevices>()) {
    test_.platform->disc = disc_;
    test_.platform->devices = devices_;
    disc_->AddRecorder().volume_paths = {L"/media/cdrom0/"};
    devices_->SetDevicePath(L"/media/cdrom0", L"/dev/sr0");
  }

  const platform::Platform& platform() { return *test_.platform; }

  void UseLetterDrives() {
    test_.platform->files =
        std::make_shared<LetterDriveFiles>(test_.platform->files);
    disc_->recorder(0).volume_paths = {L"E:\\"};
  }

  testing::TestPlatform test_;
  std::shared_ptr<testing::FakeDiscServices> disc_;
  std::shared_ptr<testing::FakeDevices> devices_;
};

TEST_F(DriveControlTest, EjectAllowsRemovalThenEjectsThroughTheDrivesDevice) {
  UseLetterDrives();

  EjectClose(platform(), 0, false);

  ASSERT_EQ(devices_->Opens().size(), 1u);
  EXPECT_EQ(devices_->Opens()[0].path, L"\\\\.\\E:");
  EXPECT_EQ(devices_->Opens()[0].attributes,
            platform::DeviceAttributes::kNormal);
  EXPECT_THAT(devices_->Requests(),
              ElementsAre("StorageMediaRemoval(allow)", "EjectMedia", "Close"));
  EXPECT_EQ(devices_->OpenDevices(), 0);
}

TEST_F(DriveControlTest, CloseOnlyLoads) {
  EjectClose(platform(), 0, true);

  EXPECT_THAT(devices_->DevicePathRequests(), ElementsAre(L"/media/cdrom0"));
  ASSERT_EQ(devices_->Opens().size(), 1u);
  EXPECT_EQ(devices_->Opens()[0].path, L"/dev/sr0");
  EXPECT_THAT(devices_->Requests(), ElementsAre("LoadMedia", "Close"));
}

TEST_F(DriveControlTest, DriveLockSendsTheCdromRemovalRequestAndReturns0) {
  EXPECT_EQ(DriveLock(platform(), 0, true), 0);
  EXPECT_EQ(DriveLock(platform(), 0, false), 0);

  EXPECT_THAT(devices_->Requests(),
              ElementsAre("CdromMediaRemoval(prevent)", "Close",
                          "CdromMediaRemoval(allow)", "Close"));
  EXPECT_EQ(devices_->Opens().size(), 2u);
  EXPECT_EQ(devices_->OpenDevices(), 0);
}

TEST_F(DriveControlTest, WithoutADriveNothingIsOpenedAndTheResultIs1) {
  disc_->recorder(0).volume_paths.clear();

  EjectClose(platform(), 0, false);
  EXPECT_EQ(DriveLock(platform(), 0, true), 1);
  EXPECT_EQ(DismountDiscVolume(platform(), 0), 1);

  disc_->recorder(0).volume_paths = {L"/media/cdrom0/"};
  disc_->Fail("IDiscRecorder2::GetVolumePathNames", platform::kE_FAIL);
  EjectClose(platform(), 0, true);
  EXPECT_EQ(DriveLock(platform(), 0, false), 1);
  EXPECT_EQ(DismountDiscVolume(platform(), 0), 1);

  EXPECT_THAT(devices_->DevicePathRequests(), IsEmpty());
  EXPECT_THAT(devices_->Opens(), IsEmpty());
  EXPECT_TRUE(test_.clock->Sleeps().empty());
}

TEST_F(DriveControlTest, WithoutADeviceNothingIsSentAndTheResultIs1) {
  devices_->RefuseOpen(true);
  EjectClose(platform(), 0, false);
  EXPECT_EQ(DriveLock(platform(), 0, true), 1);
  EXPECT_EQ(DismountDiscVolume(platform(), 0), 1);
  EXPECT_EQ(devices_->Opens().size(), 3u);

  // A drive the platform knows no device for is not even opened.
  devices_->RefuseOpen(false);
  devices_->SetDevicePath(L"/media/cdrom0", L"");
  EXPECT_EQ(DriveLock(platform(), 0, true), 1);
  EXPECT_EQ(devices_->Opens().size(), 3u);

  EXPECT_THAT(devices_->Requests(), IsEmpty());
  EXPECT_TRUE(test_.clock->Sleeps().empty());
}

TEST_F(DriveControlTest, FailuresOfTheRecorderLookupPassThrough) {
  disc_->Fail("DiscServices::CreateDiscMaster", platform::kE_FAIL);

  EXPECT_THROW(EjectClose(platform(), 0, false), MediaWriterException);
  EXPECT_THROW(DriveLock(platform(), 0, true), MediaWriterException);
  EXPECT_THROW(DismountDiscVolume(platform(), 0), MediaWriterException);
  EXPECT_THAT(devices_->Opens(), IsEmpty());
}

TEST_F(DriveControlTest, VolumeLockedAtOnceIsDismountedAndUnlockedThen10s) {
  std::vector<int> open_at_sleep;
  test_.clock->SetSleepHook(
      [&](std::uint32_t) { open_at_sleep.push_back(devices_->OpenDevices()); });

  EXPECT_EQ(DismountDiscVolume(platform(), 0), 0);

  ASSERT_EQ(devices_->Opens().size(), 1u);
  EXPECT_EQ(devices_->Opens()[0].attributes, platform::DeviceAttributes::kNone);
  EXPECT_THAT(devices_->Requests(), ElementsAre("LockVolume", "DismountVolume",
                                                "UnlockVolume", "Close"));
  EXPECT_THAT(test_.clock->Sleeps(), ElementsAre(10000));
  // The final wait comes after the device is closed.
  EXPECT_THAT(open_at_sleep, ElementsAre(0));
}

TEST_F(DriveControlTest, VolumeThatStaysLockedIsDismountedWithoutLockAfter40s) {
  devices_->FailVolumeLock(3);
  std::vector<int> open_at_sleep;
  test_.clock->SetSleepHook(
      [&](std::uint32_t) { open_at_sleep.push_back(devices_->OpenDevices()); });

  EXPECT_EQ(DismountDiscVolume(platform(), 0), 0);

  EXPECT_THAT(devices_->Requests(),
              ElementsAre("LockVolume", "LockVolume", "LockVolume",
                          "DismountVolume", "Close"));
  EXPECT_THAT(test_.clock->Sleeps(), ElementsAre(10000, 10000, 10000, 10000));
  EXPECT_EQ(test_.clock->TotalSlept(), 40000u);
  EXPECT_THAT(open_at_sleep, ElementsAre(1, 1, 1, 0));
}

TEST_F(DriveControlTest, VolumeLockedAtTheThirdAttemptIsUnlockedAfterwards) {
  devices_->FailVolumeLock(2);

  EXPECT_EQ(DismountDiscVolume(platform(), 0), 0);

  EXPECT_THAT(devices_->Requests(),
              ElementsAre("LockVolume", "LockVolume", "LockVolume",
                          "DismountVolume", "UnlockVolume", "Close"));
  EXPECT_EQ(test_.clock->TotalSlept(), 30000u);
}

TEST_F(DriveControlTest, TrayOperationsTakeOnlyDriveNames) {
  // Where drives are mount points: an absolute path.
  EXPECT_TRUE(IsDriveName(platform(), L"/media/cdrom0"));
  EXPECT_FALSE(IsDriveName(platform(), L"media/cdrom0"));
  EXPECT_FALSE(IsDriveName(platform(), L""));

  // Where drives are letters: A to Z after upper-casing.
  UseLetterDrives();
  EXPECT_TRUE(IsDriveName(platform(), L"E:"));
  EXPECT_TRUE(IsDriveName(platform(), L"z:"));
  EXPECT_FALSE(IsDriveName(platform(), L"1:"));
  EXPECT_FALSE(IsDriveName(platform(), L"@:"));
  EXPECT_FALSE(IsDriveName(platform(), L"[:"));
  EXPECT_FALSE(IsDriveName(platform(), L"\u00e9:"));
  EXPECT_FALSE(IsDriveName(platform(), L"/media/cdrom0"));
}

}  // namespace
}  // namespace tessaline
