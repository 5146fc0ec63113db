// Writing and erasing media in virtual drives through the IMAPI2 objects.
#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <vector>

#include "support/core/temp_folder.h"
#include "virtual/virtual_drive_fixture.h"

namespace tessaline::testing {
namespace {

namespace fs = std::filesystem;
using namespace platform;

std::vector<std::uint8_t> FileBytes(const fs::path& path) {
  const std::string text = ReadFile(path);
  return std::vector<std::uint8_t>(text.begin(), text.end());
}

// Records every write event as (action, elapsed, total).
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

class DataWriterTest : public VirtualDrivesTest {};

TEST_F(DataWriterTest, WriteRecordsTheStreamWithEventsInOrder) {
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

  EXPECT_EQ(FileBytes(drive / "medium.img"), image);
  const auto& events = sink->events;
  ASSERT_GE(events.size(), 6u);
  EXPECT_EQ(events[0][0], kWriteActionInitializingHardware);
  EXPECT_EQ(events[1][0], kWriteActionCalibratingPower);
  EXPECT_EQ(events[2][0], kWriteActionWritingData);
  // The last writing event leaves nothing: 3 s of the fake clock's time.
  EXPECT_EQ(events[events.size() - 3],
            (std::array<std::int32_t, 3>{kWriteActionWritingData, 3, 3}));
  EXPECT_EQ(events.back()[0], kWriteActionCompleted);
}

// After one write: write-once media are closed, sequential rewritable ones
// need an erase, overwrite media are written again in place.
TEST_F(DataWriterTest, SecondWriteAndEraseFollowTheKindOfMedium) {
  const struct {
    IMAPI_MEDIA_PHYSICAL_TYPE type;
    std::uint32_t state_written;
    HRESULT second_write;
    HRESULT erase;
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
    auto writer = Writer(index);
    std::uint32_t state = 0;
    ASSERT_EQ(WriteBytes(index, Sectors(4, 1)), kS_OK);
    ASSERT_EQ(writer->GetCurrentMediaStatus(&state), kS_OK);
    EXPECT_EQ(state, c.state_written);
    EXPECT_EQ(WriteBytes(index, Sectors(2, 9)), c.second_write);
    EXPECT_EQ(FileBytes(drive / "medium.img"),
              c.second_write == kS_OK ? Sectors(2, 9) : Sectors(4, 1));
    EXPECT_EQ(Eraser(index)->EraseMedia(), c.erase);
    EXPECT_EQ(Blank(index), c.erase == kS_OK);
    ++index;
  }
}

TEST_F(DataWriterTest, StreamTooLargeOrUnalignedIsRefused) {
  const fs::path drive =
      AddDrive("drive0", IMAPI_MEDIA_TYPE_BDRE, "sectors=16");
  auto writer = Writer(0);
  MemoryStream too_large(Sectors(17));
  EXPECT_EQ(writer->Write(&too_large),
            kE_IMAPI_DF2DATA_STREAM_TOO_LARGE_FOR_CURRENT_MEDIA);
  std::vector<std::uint8_t> unaligned = Sectors(2);
  unaligned.pop_back();
  MemoryStream odd(unaligned);
  EXPECT_EQ(writer->Write(&odd), kE_IMAPI_DF2DATA_STREAM_NOT_SUPPORTED);
  EXPECT_EQ(fs::file_size(drive / "medium.img"), 0u);
  MemoryStream full(Sectors(16));  // exactly the capacity fits
  EXPECT_EQ(writer->Write(&full), kS_OK);
}

}  // namespace
}  // namespace tessaline::testing
