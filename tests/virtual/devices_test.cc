// The volume devices of virtual drives: raw reads of the medium, the tray,
// the locks and the request log.
#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

#include "virtual/virtual_drive_fixture.h"

namespace tessaline::testing {
namespace {

namespace fs = std::filesystem;
using namespace platform;
using Log = std::vector<std::string>;

class DevicesTest : public VirtualDrivesTest {
 protected:
  std::unique_ptr<Device> OpenDevice(std::int32_t index) {
    const std::wstring path = devices_->DevicePath(MountOf(index));
    EXPECT_FALSE(path.empty());
    return devices_->Open(path, DeviceAttributes::kNormal);
  }
};

TEST_F(DevicesTest, MountFolderNamesTheMediumFile) {
  const fs::path drive = AddDrive("drive0", IMAPI_MEDIA_TYPE_DVDPLUSR);
  const std::wstring medium = FromUtf8((drive / "medium.img").string());
  std::wstring mount = MountOf(0);
  EXPECT_EQ(devices_->DevicePath(mount), medium);
  mount.pop_back();  // the trailing separator
  EXPECT_EQ(devices_->DevicePath(mount), medium);
  EXPECT_EQ(devices_->DevicePath(FromUtf8((dir_ / "none/mount").string())),
            L"");

  // Read raw, up to the recorded end.
  const std::vector<std::uint8_t> image = Sectors(3);
  ASSERT_EQ(WriteBytes(0, image), kS_OK);
  auto device = OpenDevice(0);
  std::vector<std::uint8_t> buffer(4 * 2048, 0xEE);
  ASSERT_TRUE(device->Seek(2048));
  EXPECT_EQ(device->Read(buffer.data(), 4 * 2048), 2u * 2048);
  EXPECT_TRUE(std::equal(image.begin() + 2048, image.end(), buffer.begin()));
}

TEST_F(DevicesTest, EjectFilesWrittenMediaInOrderAndLoadBringsABlank) {
  const fs::path drive = AddDrive("drive0", IMAPI_MEDIA_TYPE_DVDPLUSR);
  auto device = OpenDevice(0);
  std::vector<std::uint8_t> buffer(2048);
  // Written, broken off by a cancel, written, and blank.
  for (int medium = 1; medium <= 4; ++medium) {
    auto writer = Writer(0);
    MemoryStream data(Sectors(medium == 2 ? 3 * 512 : 1, medium));
    data.on_read = [&](int read) {
      if (read == 1) writer->CancelWrite();
    };
    if (medium != 4) writer->Write(&data);
    EXPECT_TRUE(device->EjectMedia());
    EXPECT_FALSE(fs::exists(drive / "medium.img"));
    if (medium == 4) {  // an empty tray
      EXPECT_TRUE(device->EjectMedia());
      EXPECT_EQ(WriteBytes(0, Sectors(1)), kE_IMAPI_RECORDER_MEDIA_NO_MEDIA);
      EXPECT_EQ(Eraser(0)->EraseMedia(), kE_IMAPI_RECORDER_MEDIA_NO_MEDIA);
      EXPECT_FALSE(device->LockVolume());
      EXPECT_EQ(device->Read(buffer.data(), 2048), 0u);
    }
    EXPECT_TRUE(device->LoadMedia());
    EXPECT_TRUE(Blank(0));
  }
  EXPECT_EQ(fs::file_size(drive / "ejected" / "disc-003.img"), 2048u);
  EXPECT_EQ(fs::file_size(drive / "ejected" / "disc-002.damaged.img"),
            2u * 512 * 2048);
  EXPECT_FALSE(fs::exists(drive / "ejected" / "disc-004.img"));
  const Log log = RequestLog(drive);
  EXPECT_EQ(std::vector(log.begin() + 2, log.end()),
            (Log{"IOCTL_STORAGE_EJECT_MEDIA: filed as "
                 "ejected/disc-002.damaged.img",
                 "IOCTL_STORAGE_LOAD_MEDIA: blank DVDPLUSR loaded",
                 "IOCTL_STORAGE_EJECT_MEDIA: filed as ejected/disc-003.img",
                 "IOCTL_STORAGE_LOAD_MEDIA: blank DVDPLUSR loaded",
                 "IOCTL_STORAGE_EJECT_MEDIA: blank DVDPLUSR taken out",
                 "IOCTL_STORAGE_EJECT_MEDIA: tray opened, no medium",
                 "FSCTL_LOCK_VOLUME: refused: no medium",
                 "IOCTL_STORAGE_LOAD_MEDIA: blank DVDPLUSR loaded"}));
}

// A drive lock outlives its handle (DriveLock closes it at once), a volume
// lock does not.
TEST_F(DevicesTest, DriveLockOutlivesItsHandleAndAVolumeLockDoesNot) {
  AddDrive("drive0", IMAPI_MEDIA_TYPE_CDRW);
  ASSERT_EQ(WriteBytes(0, Sectors(1)), kS_OK);
  OpenDevice(0)->CdromMediaRemoval(true);
  auto device = OpenDevice(0);
  EXPECT_FALSE(device->EjectMedia());
  device->CdromMediaRemoval(false);
  EXPECT_TRUE(device->LockVolume());
  EXPECT_TRUE(device->UnlockVolume());
  EXPECT_FALSE(device->UnlockVolume());
  EXPECT_TRUE(device->LockVolume());
  device.reset();
  EXPECT_FALSE(OpenDevice(0)->UnlockVolume());
  EXPECT_TRUE(OpenDevice(0)->EjectMedia());
}

}  // namespace
}  // namespace tessaline::testing
