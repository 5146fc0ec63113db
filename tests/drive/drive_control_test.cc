#include "drive/drive_control.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "support/disc/disc_test_platform.h"
#include "support/drive/fake_devices.h"
#include "tessaline/tessaline.h"

namespace tessaline {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;

class DriveControlTest : public ::testing::Test {
 protected:
  DriveControlTest() { Reset(); }

  void Reset() {
    test_ = testing::MakeDiscTestPlatform();
    devices_ = std::make_shared<testing::FakeDevices>();
    test_.platform->devices = devices_;
    test_.disc->AddRecorder().volume_paths = {L"/media/cdrom0/"};
    devices_->SetDevicePath(L"/media/cdrom0", L"/dev/sr0");
  }
  const platform::Platform& platform() { return *test_.platform; }

  testing::DiscTestPlatform test_;
  std::shared_ptr<testing::FakeDevices> devices_;
};

TEST_F(DriveControlTest, EjectAllowsRemovalThenEjectsAndCloseOnlyLoads) {
  EjectClose(platform(), 0, false);
  EjectClose(platform(), 0, true);
  EXPECT_THAT(devices_->Requests(),
              ElementsAre("StorageMediaRemoval(allow)", "EjectMedia", "Close",
                          "LoadMedia", "Close"));
  ASSERT_EQ(devices_->Opens().size(), 2u);
  EXPECT_EQ(devices_->Opens()[0], L"/dev/sr0");
  EXPECT_EQ(devices_->OpenDevices(), 0);
}

TEST_F(DriveControlTest, DriveLockSendsTheCdromRemovalRequestAndReturns0) {
  EXPECT_EQ(DriveLock(platform(), 0, true), 0);
  EXPECT_EQ(DriveLock(platform(), 0, false), 0);
  EXPECT_THAT(devices_->Requests(),
              ElementsAre("CdromMediaRemoval(prevent)", "Close",
                          "CdromMediaRemoval(allow)", "Close"));
}

TEST_F(DriveControlTest, WithoutADriveOrDeviceNothingIsSentAndTheResultIs1) {
  const std::pair<const char*, std::function<void()>> cases[] = {
      {"no mount point",
       [this] { test_.disc->recorder(0).volume_paths.clear(); }},
      {"relative mount point",
       [this] { test_.disc->recorder(0).volume_paths = {L"media/cdrom0/"}; }},
      {"no device path",
       [this] { devices_->SetDevicePath(L"/media/cdrom0", L""); }},
      {"device refused", [this] { devices_->RefuseOpen(true); }},
  };
  for (const auto& [name, setup] : cases) {
    SCOPED_TRACE(name);
    Reset();
    setup();
    EjectClose(platform(), 0, false);
    EXPECT_EQ(DriveLock(platform(), 0, true), 1);
    EXPECT_EQ(DismountDiscVolume(platform(), 0), 1);
    EXPECT_THAT(devices_->Requests(), IsEmpty());
    EXPECT_TRUE(test_.clock->Sleeps().empty());
    // Only a refused device was asked for at all.
    EXPECT_EQ(devices_->Opens().size(),
              std::string(name) == "device refused" ? 3u : 0u);
  }
}

TEST_F(DriveControlTest, DismountRetriesTheLockThenDismountsAnyway) {
  const struct {
    int failing_locks;
    std::vector<std::string> requests;
    std::vector<int> open_at_sleep;
  } cases[] = {
      {0, {"LockVolume", "DismountVolume", "UnlockVolume", "Close"}, {0}},
      {3,
       {"LockVolume", "LockVolume", "LockVolume", "DismountVolume", "Close"},
       {1, 1, 1, 0}},
  };
  for (const auto& c : cases) {
    Reset();
    devices_->FailVolumeLock(c.failing_locks);
    // Each wait is 10 s; the last comes after the device is closed.
    std::vector<int> open_at_sleep;
    test_.clock->SetSleepHook([&](std::uint32_t milliseconds) {
      EXPECT_EQ(milliseconds, 10000u);
      open_at_sleep.push_back(devices_->OpenDevices());
    });
    EXPECT_EQ(DismountDiscVolume(platform(), 0), 0);
    EXPECT_THAT(devices_->Requests(), ElementsAreArray(c.requests));
    EXPECT_THAT(open_at_sleep, ElementsAreArray(c.open_at_sleep));
  }
}

}  // namespace
}  // namespace tessaline
