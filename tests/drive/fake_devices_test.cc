// The raw reads of the fake device, which the read-back verification's
// tests rely on.
#include "support/drive/fake_devices.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace tessaline::testing {
namespace {

using ::testing::ElementsAre;

TEST(FakeDevicesTest, RawReadsFollowContentShortReadsAndFailures) {
  FakeDevices devices;
  devices.SetContent({1, 2, 3, 4, 5, 6, 7, 8, 9, 10});
  devices.SetShortReads(3);
  devices.FailReadsFrom(8);
  auto device = devices.Open(L"\\\\.\\E:", platform::DeviceAttributes::kNone);
  ASSERT_NE(device, nullptr);

  std::vector<std::uint8_t> buffer(8, 0);
  ASSERT_TRUE(device->Seek(2));
  EXPECT_EQ(device->Read(buffer.data(), 8), 3u);
  EXPECT_EQ(device->Read(buffer.data() + 3, 5), 3u);
  EXPECT_THAT(std::vector<std::uint8_t>(buffer.begin(), buffer.begin() + 6),
              ElementsAre(3, 4, 5, 6, 7, 8));
  EXPECT_EQ(device->Read(buffer.data(), 2), 0u);  // Offset 8 fails.

  devices.FailReadsFrom(-1);
  devices.SetShortReads(0);
  ASSERT_TRUE(device->Seek(8));
  EXPECT_EQ(device->Read(buffer.data(), 8), 2u);  // The end of the content.
  EXPECT_EQ(device->Read(buffer.data(), 8), 0u);

  std::uint32_t sector = 0;
  ASSERT_TRUE(device->BytesPerSector(&sector));
  EXPECT_EQ(sector, 2048u);
  devices.FailBytesPerSector(true);
  EXPECT_FALSE(device->BytesPerSector(&sector));

  EXPECT_EQ(devices.OpenDevices(), 1);
  device.reset();
  EXPECT_EQ(devices.OpenDevices(), 0);
}

}  // namespace
}  // namespace tessaline::testing
