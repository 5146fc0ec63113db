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
using Log = std::vector<std::string>;

class DevicesTest : public VirtualDrivesTest {
 protected:
  std::unique_ptr<Device> OpenDevice(std::int32_t index) {
    const std::wstring path = devices_->DevicePath(MountOf(index));
    EXPECT_FALSE(path.empty());
    return devices_->Open(path, DeviceAttributes::kNormal);
  }
};

TEST_F(DevicesTest, MountFolderNamesTheMediumReadRawUpToItsRecordedEnd) {
  const fs::path drive = AddDrive("drive0", IMAPI_MEDIA_TYPE_DVDPLUSR);
  const std::wstring medium = FromUtf8((drive / "medium.img").string());
  std::wstring mount = MountOf(0);
  EXPECT_EQ(devices_->DevicePath(mount), medium);
  mount.pop_back();  // the trailing separator
  EXPECT_EQ(devices_->DevicePath(mount), medium);
  for (const fs::path& other : {drive, dir_ / "none" / "mount"}) {
    EXPECT_EQ(devices_->DevicePath(FromUtf8(other.string())), L"");
  }
  EXPECT_EQ(devices_->Open(FromUtf8((drive / "drive.ini").string()),
                           DeviceAttributes::kNormal),
            nullptr);

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
  std::uint32_t sector = 0;
  EXPECT_FALSE(device->BytesPerSector(&sector));

  EXPECT_TRUE(device->LoadMedia());
  EXPECT_TRUE(Blank(0));
  ASSERT_EQ(WriteBytes(0, Sectors(1, 2)), kS_OK);
  EXPECT_TRUE(device->EjectMedia());
  EXPECT_TRUE(device->LoadMedia());
  // A medium whose write broke off is filed apart, and numbering goes on.
  auto writer = Writer(0);
  MemoryStream data(Sectors(3 * 512));
  data.on_read = [&](int read) {
    if (read == 1) writer->CancelWrite();
  };
  EXPECT_EQ(writer->Write(&data), kE_IMAPI_REQUEST_CANCELLED);
  EXPECT_TRUE(device->EjectMedia());
  EXPECT_EQ(fs::file_size(drive / "ejected" / "disc-003.damaged.img"),
            2u * 512 * 2048);
  EXPECT_TRUE(device->LoadMedia());
  ASSERT_EQ(WriteBytes(0, Sectors(1, 3)), kS_OK);
  EXPECT_TRUE(device->EjectMedia());
  EXPECT_TRUE(device->LoadMedia());
  // A blank medium is simply taken out; nothing is filed for it.
  EXPECT_TRUE(device->EjectMedia());
  const std::vector<std::uint8_t> second = Sectors(1, 2);
  EXPECT_EQ(ReadFile(drive / "ejected" / "disc-002.img"),
            std::string(second.begin(), second.end()));
  EXPECT_FALSE(fs::exists(drive / "ejected" / "disc-005.img"));
  EXPECT_EQ(RequestLog(drive),
            (Log{"IOCTL_STORAGE_MEDIA_REMOVAL allow",
                 "IOCTL_STORAGE_EJECT_MEDIA: filed as ejected/disc-001.img",
                 "IOCTL_STORAGE_LOAD_MEDIA: blank DVDPLUSR loaded",
                 "IOCTL_STORAGE_EJECT_MEDIA: filed as ejected/disc-002.img",
                 "IOCTL_STORAGE_LOAD_MEDIA: blank DVDPLUSR loaded",
                 "IOCTL_STORAGE_EJECT_MEDIA: filed as "
                 "ejected/disc-003.damaged.img",
                 "IOCTL_STORAGE_LOAD_MEDIA: blank DVDPLUSR loaded",
                 "IOCTL_STORAGE_EJECT_MEDIA: filed as ejected/disc-004.img",
                 "IOCTL_STORAGE_LOAD_MEDIA: blank DVDPLUSR loaded",
                 "IOCTL_STORAGE_EJECT_MEDIA: blank DVDPLUSR taken out"}));
}

TEST_F(DevicesTest, LocksHoldAsWindowsKeepsThemAndEveryRequestIsLogged) {
  const fs::path drive = AddDrive("drive0", IMAPI_MEDIA_TYPE_CDRW);
  ASSERT_EQ(WriteBytes(0, Sectors(1)), kS_OK);
  // A drive lock outlives its handle (DriveLock closes it at once)...
  OpenDevice(0)->CdromMediaRemoval(true);
  auto device = OpenDevice(0);
  EXPECT_FALSE(device->EjectMedia());
  EXPECT_TRUE(fs::exists(drive / "medium.img"));
  device->CdromMediaRemoval(false);
  // ...a volume lock does not.
  EXPECT_TRUE(device->LockVolume());
  EXPECT_TRUE(device->DismountVolume());
  EXPECT_TRUE(device->UnlockVolume());
  EXPECT_FALSE(device->UnlockVolume());
  EXPECT_TRUE(device->LockVolume());
  device.reset();
  EXPECT_FALSE(OpenDevice(0)->UnlockVolume());
  EXPECT_EQ(Recorder(0)->DisableMcn(), kS_OK);
  EXPECT_EQ(Recorder(0)->EnableMcn(), kS_OK);
  EXPECT_TRUE(OpenDevice(0)->EjectMedia());
  EXPECT_EQ(RequestLog(drive),
            (Log{"IOCTL_CDROM_MEDIA_REMOVAL prevent",
                 "IOCTL_STORAGE_EJECT_MEDIA: refused: medium removal prevented",
                 "IOCTL_CDROM_MEDIA_REMOVAL allow", "FSCTL_LOCK_VOLUME",
                 "FSCTL_DISMOUNT_VOLUME", "FSCTL_UNLOCK_VOLUME",
                 "FSCTL_UNLOCK_VOLUME: refused: volume not locked",
                 "FSCTL_LOCK_VOLUME",
                 "FSCTL_UNLOCK_VOLUME: refused: volume not locked",
                 "DisableMcn", "EnableMcn",
                 "IOCTL_STORAGE_EJECT_MEDIA: filed as ejected/disc-001.img"}));
}

TEST_F(DevicesTest, EmptyTrayAnswersNoMediaRefusesVolumeRequestsButLoads) {
  const fs::path drive = AddDrive("drive0", IMAPI_MEDIA_TYPE_CDR);
  auto device = OpenDevice(0);
  EXPECT_TRUE(device->EjectMedia());
  EXPECT_TRUE(device->EjectMedia());
  auto writer = Writer(0);
  IMAPI_MEDIA_PHYSICAL_TYPE type = IMAPI_MEDIA_TYPE_UNKNOWN;
  std::uint32_t state = 0;
  bool blank = false;
  EXPECT_EQ(writer->GetCurrentPhysicalMediaType(&type),
            kE_IMAPI_RECORDER_MEDIA_NO_MEDIA);
  EXPECT_EQ(writer->GetCurrentMediaStatus(&state),
            kE_IMAPI_RECORDER_MEDIA_NO_MEDIA);
  EXPECT_EQ(writer->GetMediaHeuristicallyBlank(&blank),
            kE_IMAPI_RECORDER_MEDIA_NO_MEDIA);
  EXPECT_EQ(WriteBytes(0, Sectors(1)), kE_IMAPI_RECORDER_MEDIA_NO_MEDIA);
  EXPECT_EQ(Eraser(0)->EraseMedia(), kE_IMAPI_RECORDER_MEDIA_NO_MEDIA);
  EXPECT_FALSE(device->LockVolume());
  EXPECT_FALSE(device->DismountVolume());
  std::vector<std::uint8_t> buffer(2048);
  EXPECT_EQ(device->Read(buffer.data(), 2048), 0u);
  EXPECT_TRUE(device->LoadMedia());
  EXPECT_TRUE(device->LoadMedia());
  const Log log = RequestLog(drive);
  ASSERT_EQ(log.size(), 6u);
  EXPECT_EQ(log[1], "IOCTL_STORAGE_EJECT_MEDIA: tray opened, no medium");
  EXPECT_EQ(log[2], "FSCTL_LOCK_VOLUME: refused: no medium");
  EXPECT_EQ(log[5], "IOCTL_STORAGE_LOAD_MEDIA: medium already loaded");
}

}  // namespace
}  // namespace tessaline::testing
