#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>

#include "support/disc/disc_test_platform.h"
#include "support/drive/fake_devices.h"
#include "tessaline/tessaline.h"

namespace tessaline {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

class StaticsDriveTest : public ::testing::Test {
 protected:
  StaticsDriveTest() {
    test_.platform->devices = devices_;
    test_.disc->AddRecorder().volume_paths = {L"/media/cdrom0/"};
  }

  testing::DiscTestPlatform test_ = testing::MakeDiscTestPlatform();
  std::shared_ptr<testing::FakeDevices> devices_ =
      std::make_shared<testing::FakeDevices>();
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
  test_.disc->Fail("DiscServices::CreateDiscMaster", platform::kE_FAIL);
  EXPECT_NO_THROW(Tessaline::EjectClose(0, true, test_.platform));
  EXPECT_EQ(Tessaline::DriveLock(0, false, test_.platform), 1);
  EXPECT_THAT(devices_->Opens(), IsEmpty());
}

}  // namespace
}  // namespace tessaline
