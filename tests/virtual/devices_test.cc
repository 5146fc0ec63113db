// The volume devices of virtual drives: raw reads of the medium, the tray,
// the locks and the request log.
#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

#include "support/core/temp_folder.h"
#include "virtual/virtual_drive_fixture.h"

namespace tessaline::testing {
namespace {

namespace fs = std::filesystem;
using namespace platform;

class DevicesTest : public VirtualDrivesTest {
 protected:
  std::unique_ptr<Device> OpenDevice(std::int32_t index) {
    const std::wstring path = devices_->DevicePath(MountOf(index));
    EXPECT_FALSE(path.empty());
    return devices_->Open(path, DeviceAttributes::kNormal);
  }
};

TEST_F(DevicesTest, DevicePathNamesTheMediumFileOfTheMountFolder) {
  const fs::path drive = AddDrive("drive0", IMAPI_MEDIA_TYPE_CDR);
  const std::wstring medium = FromUtf8((drive / "medium.img").string());
  EXPECT_EQ(devices_->DevicePath(MountOf(0)), medium);
  EXPECT_EQ(devices_->DevicePath(MountOf(0) + L"/"), medium);
  EXPECT_EQ(devices_->DevicePath(FromUtf8(drive.string())), L"");
  EXPECT_EQ(devices_->DevicePath(FromUtf8((dir_ / "none" / "mount").string())),
            L"");
  EXPECT_EQ(devices_->Open(FromUtf8((drive / "drive.ini").string()),
                           DeviceAttributes::kNormal),
            nullptr);
}

TEST_F(DevicesTest, ReadsTheMediumRawUpToItsRecordedEnd) {
  AddDrive("drive0", IMAPI_MEDIA_TYPE_DVDPLUSR);
  const std::vector<std::uint8_t> image = Sectors(3);
  ASSERT_EQ(WriteBytes(0, image), kS_OK);
  auto device = OpenDevice(0);
  ASSERT_NE(device, nullptr);
  std::uint32_t sector = 0;
  ASSERT_TRUE(device->BytesPerSector(&sector));
  EXPECT_EQ(sector, 2048u);

  std::vector<std::uint8_t> buffer(4 * 2048, 0xEE);
  ASSERT_TRUE(device->Seek(2048));
  EXPECT_EQ(device->Read(buffer.data(), 4 * 2048), 2u * 2048);
  EXPECT_TRUE(std::equal(image.begin() + 2048, image.end(), buffer.begin()));
  EXPECT_EQ(device->Read(buffer.data(), 2048), 0u);
  ASSERT_TRUE(device->Seek(0));
  EXPECT_EQ(device->Read(buffer.data(), 2048), 2048u);
  EXPECT_TRUE(std::equal(image.begin(), image.begin() + 2048, buffer.begin()));
  EXPECT_TRUE(device->Close());
}

TEST_F(DevicesTest, EjectFilesWrittenMediaInOrderAndLoadBringsABlank) {
  const fs::path drive = AddDrive("drive0", IMAPI_MEDIA_TYPE_DVDPLUSR);
  ASSERT_EQ(WriteBytes(0, Sectors(2, 1)), kS_OK);
  // What the library's EjectClose sends.
  auto device = OpenDevice(0);
  EXPECT_TRUE(device->StorageMediaRemoval(false));
  EXPECT_TRUE(device->EjectMedia());
  EXPECT_EQ(ReadFile(drive / "ejected" / "disc-001.img").size(), 2u * 2048);
  EXPECT_FALSE(fs::exists(drive / "medium.img"));
  IMAPI_MEDIA_PHYSICAL_TYPE type = IMAPI_MEDIA_TYPE_UNKNOWN;
  EXPECT_EQ(Writer(0)->GetCurrentPhysicalMediaType(&type),
            kE_IMAPI_RECORDER_MEDIA_NO_MEDIA);
  std::uint32_t sector = 0;
  EXPECT_FALSE(device->BytesPerSector(&sector));

  EXPECT_TRUE(device->LoadMedia());
  bool blank = false;
  ASSERT_EQ(Writer(0)->GetMediaHeuristicallyBlank(&blank), kS_OK);
  EXPECT_TRUE(blank);
  ASSERT_EQ(WriteBytes(0, Sectors(1, 2)), kS_OK);
  EXPECT_TRUE(device->EjectMedia());
  EXPECT_TRUE(device->LoadMedia());
  // A blank medium is simply taken out; nothing is filed for it.
  EXPECT_TRUE(device->EjectMedia());

  const std::vector<std::uint8_t> second = Sectors(1, 2);
  EXPECT_EQ(ReadFile(drive / "ejected" / "disc-002.img"),
            std::string(second.begin(), second.end()));
  EXPECT_FALSE(fs::exists(drive / "ejected" / "disc-003.img"));
  const std::vector<std::string> log = RequestLog(drive);
  const std::vector<std::string> expected = {
      "IOCTL_STORAGE_MEDIA_REMOVAL allow",
      "IOCTL_STORAGE_EJECT_MEDIA: filed as ejected/disc-001.img",
      "IOCTL_STORAGE_LOAD_MEDIA: blank DVDPLUSR loaded",
      "IOCTL_STORAGE_EJECT_MEDIA: filed as ejected/disc-002.img",
      "IOCTL_STORAGE_LOAD_MEDIA: blank DVDPLUSR loaded",
      "IOCTL_STORAGE_EJECT_MEDIA: blank DVDPLUSR taken out"};
  EXPECT_EQ(log, expected);
}

TEST_F(DevicesTest, LockedDriveKeepsItsMediumAcrossHandles) {
  const fs::path drive = AddDrive("drive0", IMAPI_MEDIA_TYPE_CDRW);
  ASSERT_EQ(WriteBytes(0, Sectors(1)), kS_OK);
  // DriveLock: lock through one handle, which is closed at once.
  OpenDevice(0)->CdromMediaRemoval(true);
  auto device = OpenDevice(0);
  EXPECT_FALSE(device->EjectMedia());
  EXPECT_TRUE(fs::exists(drive / "medium.img"));
  device->CdromMediaRemoval(false);
  EXPECT_TRUE(device->EjectMedia());
  EXPECT_EQ(RequestLog(drive),
            (std::vector<std::string>{
                "IOCTL_CDROM_MEDIA_REMOVAL prevent",
                "IOCTL_STORAGE_EJECT_MEDIA: refused: medium removal prevented",
                "IOCTL_CDROM_MEDIA_REMOVAL allow",
                "IOCTL_STORAGE_EJECT_MEDIA: filed as ejected/disc-001.img"}));
}

TEST_F(DevicesTest, VolumeLockBelongsToItsHandle) {
  const fs::path drive = AddDrive("drive0", IMAPI_MEDIA_TYPE_DVDPLUSRW);
  auto first = OpenDevice(0);
  EXPECT_TRUE(first->LockVolume());
  EXPECT_TRUE(first->DismountVolume());
  EXPECT_TRUE(first->UnlockVolume());
  EXPECT_FALSE(first->UnlockVolume());
  EXPECT_TRUE(first->LockVolume());
  first.reset();
  EXPECT_FALSE(OpenDevice(0)->UnlockVolume());
  EXPECT_EQ(
      RequestLog(drive),
      (std::vector<std::string>{
          "FSCTL_LOCK_VOLUME", "FSCTL_DISMOUNT_VOLUME", "FSCTL_UNLOCK_VOLUME",
          "FSCTL_UNLOCK_VOLUME: refused: volume not locked",
          "FSCTL_LOCK_VOLUME",
          "FSCTL_UNLOCK_VOLUME: refused: volume not locked"}));
}

TEST_F(DevicesTest, MediaChangeNotificationIsRecorded) {
  const fs::path drive = AddDrive("drive0", IMAPI_MEDIA_TYPE_BDR);
  auto recorder = Recorder(0);
  EXPECT_EQ(recorder->DisableMcn(), kS_OK);
  EXPECT_EQ(recorder->EnableMcn(), kS_OK);
  EXPECT_EQ(RequestLog(drive),
            (std::vector<std::string>{"DisableMcn", "EnableMcn"}));
}

TEST_F(DevicesTest, EmptyTrayRefusesVolumeRequestsButLoads) {
  const fs::path drive = AddDrive("drive0", IMAPI_MEDIA_TYPE_CDR);
  auto device = OpenDevice(0);
  EXPECT_TRUE(device->EjectMedia());
  EXPECT_TRUE(device->EjectMedia());
  EXPECT_FALSE(device->LockVolume());
  EXPECT_FALSE(device->DismountVolume());
  std::vector<std::uint8_t> buffer(2048);
  EXPECT_EQ(device->Read(buffer.data(), 2048), 0u);
  EXPECT_TRUE(device->LoadMedia());
  EXPECT_TRUE(device->LoadMedia());
  const std::vector<std::string> log = RequestLog(drive);
  ASSERT_EQ(log.size(), 6u);
  EXPECT_EQ(log[1], "IOCTL_STORAGE_EJECT_MEDIA: tray opened, no medium");
  EXPECT_EQ(log[2], "FSCTL_LOCK_VOLUME: refused: no medium");
  EXPECT_EQ(log[5], "IOCTL_STORAGE_LOAD_MEDIA: medium already loaded");
}

}  // namespace
}  // namespace tessaline::testing
