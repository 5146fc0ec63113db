// Virtual drives through the IMAPI2 objects and the volume devices: what
// reaches medium.img, the kinds of media, the tray and the locks. The
// feature pages are read through the recorder list's own test.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <vector>

#include "platform/media_type_names.h"
#include "virtual/virtual_drive_fixture.h"

namespace tessaline::testing {
namespace {

namespace fs = std::filesystem;
using namespace platform;

std::vector<std::uint8_t> FileBytes(const fs::path& path) {
  const std::string text = ReadFile(path);
  return std::vector<std::uint8_t>(text.begin(), text.end());
}

class DriveTest : public VirtualDrivesTest {
 protected:
  std::unique_ptr<Device> OpenDevice(std::int32_t index) {
    return devices_->Open(devices_->DevicePath(MountOf(index)),
                          DeviceAttributes::kNormal);
  }
};

class RecordingWriteSink final : public DDiscFormat2DataEvents {
 public:
  HRESULT Update(IDiscFormat2Data*,
                 IDiscFormat2DataEventArgs* progress) override {
    std::array<std::int32_t, 3> event{};
    progress->GetCurrentAction(&event[0]);
    progress->GetElapsedTime(&event[1]);
    progress->GetTotalTime(&event[2]);
    events.push_back(event);
    return kS_OK;
  }
  std::vector<std::array<std::int32_t, 3>> events;
};

TEST_F(DriveTest, WriteRecordsTheStreamAtTheDrivesSpeedAndReadsBackRaw) {
  // Held to 1 MiB a second, on the platform's clock.
  const fs::path drive =
      AddDrive("drive0", IMAPI_MEDIA_TYPE_DVDPLUSR, "speed=1048576");
  auto writer = Writer(0);
  auto sink = std::make_shared<RecordingWriteSink>();
  std::uint32_t cookie = 0;
  ASSERT_EQ(writer->Advise(sink, &cookie), kS_OK);
  const std::vector<std::uint8_t> image = Sectors(3 * 512 + 5);
  MemoryStream stream(image);
  ASSERT_EQ(writer->Write(&stream), kS_OK);
  EXPECT_EQ(writer->Unadvise(cookie), kS_OK);
  EXPECT_EQ(FileBytes(drive / "medium.img"), image);
  const auto& events = sink->events;
  ASSERT_GE(events.size(), 3u);
  // The last writing event leaves nothing: 3 s of the fake clock's time.
  EXPECT_EQ(events[events.size() - 3],
            (std::array<std::int32_t, 3>{kWriteActionWritingData, 3, 3}));
  EXPECT_EQ(events.back()[0], kWriteActionCompleted);

  // The mount folder names the medium, read raw up to the recorded end.
  const std::wstring medium = FromUtf8((drive / "medium.img").string());
  EXPECT_EQ(devices_->DevicePath(MountOf(0)), medium);
  EXPECT_EQ(devices_->DevicePath(FromUtf8((drives_ / "none/mount").string())),
            L"");
  auto device = OpenDevice(0);
  std::vector<std::uint8_t> buffer(4 * 2048, 0xEE);
  ASSERT_TRUE(device->Seek(image.size() - 2 * 2048));
  EXPECT_EQ(device->Read(buffer.data(), 4 * 2048), 2u * 2048);
  EXPECT_TRUE(std::equal(image.end() - 2 * 2048, image.end(), buffer.begin()));
}

// After one write: write-once media are closed, sequential rewritable ones
// need an erase, overwrite media are written again in place.
TEST_F(DriveTest, SecondWriteAndEraseFollowTheKindOfMedium) {
  const struct {
    IMAPI_MEDIA_PHYSICAL_TYPE type;
    std::uint32_t state_written;
    HRESULT second_write, erase;
  } kCases[] = {
      {IMAPI_MEDIA_TYPE_CDR, kMediaStateNonEmptySession | kMediaStateFinalized,
       kE_IMAPI_DF2DATA_MEDIA_NOT_BLANK, kE_IMAPI_ERASE_MEDIA_IS_NOT_SUPPORTED},
      {IMAPI_MEDIA_TYPE_CDRW, kMediaStateNonEmptySession | kMediaStateFinalized,
       kE_IMAPI_DF2DATA_MEDIA_NOT_BLANK, kS_OK},
      {IMAPI_MEDIA_TYPE_DVDPLUSRW,
       kMediaStateOverwriteOnly | kMediaStateNonEmptySession, kS_OK, kS_OK},
  };
  std::int32_t index = 0;
  for (const auto& c : kCases) {
    SCOPED_TRACE(MediaTypeName(c.type));
    const fs::path drive = AddDrive("drive" + std::to_string(index), c.type);
    std::uint32_t state = 0;
    ASSERT_EQ(WriteBytes(index, Sectors(4, 1)), kS_OK);
    ASSERT_EQ(Writer(index)->GetCurrentMediaStatus(&state), kS_OK);
    EXPECT_EQ(state, c.state_written);
    EXPECT_EQ(WriteBytes(index, Sectors(2, 9)), c.second_write);
    EXPECT_EQ(FileBytes(drive / "medium.img"),
              c.second_write == kS_OK ? Sectors(2, 9) : Sectors(4, 1));
    EXPECT_EQ(Eraser(index)->EraseMedia(), c.erase);
    EXPECT_EQ(Blank(index), c.erase == kS_OK);
    ++index;
  }
}

TEST_F(DriveTest, StreamTooLargeOrUnalignedIsRefused) {
  const fs::path drive =
      AddDrive("drive0", IMAPI_MEDIA_TYPE_BDRE, "sectors=16");
  std::vector<std::uint8_t> unaligned = Sectors(2);
  unaligned.pop_back();
  EXPECT_EQ(WriteBytes(0, Sectors(17)),
            kE_IMAPI_DF2DATA_STREAM_TOO_LARGE_FOR_CURRENT_MEDIA);
  EXPECT_EQ(WriteBytes(0, unaligned), kE_IMAPI_DF2DATA_STREAM_NOT_SUPPORTED);
  EXPECT_EQ(fs::file_size(drive / "medium.img"), 0u);
  EXPECT_EQ(WriteBytes(0, Sectors(16)), kS_OK);  // exactly the capacity fits
}

TEST_F(DriveTest, EjectFilesWrittenMediaInOrderAndLoadBringsABlank) {
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
}

// A drive lock outlives its handle (DriveLock closes it at once), a volume
// lock does not.
TEST_F(DriveTest, DriveLockOutlivesItsHandleAndAVolumeLockDoesNot) {
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
