// Writing and erasing media in virtual drives through the IMAPI2 objects.
#include <gtest/gtest.h>

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

class DataWriterTest : public VirtualDrivesTest {};

TEST_F(DataWriterTest, WriteRecordsTheStreamWithEventsInOrder) {
  // Held to 1 MiB a second, on the platform's clock.
  const fs::path drive =
      AddDrive("drive0", IMAPI_MEDIA_TYPE_DVDPLUSR, "speed=1048576");
  auto writer = Writer(0);
  auto sink = std::make_shared<RecordingWriteSink>();
  std::uint32_t cookie = 0;
  ASSERT_EQ(writer->Advise(sink, &cookie), kS_OK);
  // Three 1 MiB blocks and a short one.
  const std::vector<std::uint8_t> image = Sectors(3 * 512 + 5);
  MemoryStream stream(image);
  ASSERT_EQ(writer->Write(&stream), kS_OK);

  EXPECT_EQ(FileBytes(drive / "medium.img"), image);
  const std::vector<std::int32_t> actions = sink->Actions();
  ASSERT_GE(actions.size(), 4u);
  EXPECT_EQ(std::vector(actions.begin(), actions.begin() + 3),
            (std::vector<std::int32_t>{kWriteActionInitializingHardware,
                                       kWriteActionCalibratingPower,
                                       kWriteActionWritingData}));
  EXPECT_EQ(actions.back(), kWriteActionCompleted);
  // Writing events count up to the total; the last leaves nothing.
  const WriteEvent* last = nullptr;
  for (const WriteEvent& event : sink->events) {
    if (event.action != kWriteActionWritingData) continue;
    EXPECT_LE(event.elapsed, event.total);
    EXPECT_GE(event.elapsed, last ? last->elapsed : 0);
    last = &event;
  }
  ASSERT_NE(last, nullptr);
  EXPECT_EQ(last->elapsed, last->total);
  EXPECT_EQ(last->total, 3);
  EXPECT_GE(clock_->TotalSlept(), 3000u);
}

// After one write: write-once media are closed, sequential rewritable ones
// need an erase, overwrite media are written again in place.
TEST_F(DataWriterTest, SecondWriteAndEraseFollowTheKindOfMedium) {
  const struct {
    IMAPI_MEDIA_PHYSICAL_TYPE type;
    std::int32_t free_blank;
    std::uint32_t state_written;
    HRESULT second_write;
    HRESULT erase;
  } kCases[] = {
      {IMAPI_MEDIA_TYPE_CDR, 359846,
       kMediaStateNonEmptySession | kMediaStateFinalized,
       kE_IMAPI_DF2DATA_MEDIA_NOT_BLANK, kE_IMAPI_ERASE_MEDIA_IS_NOT_SUPPORTED},
      {IMAPI_MEDIA_TYPE_CDRW, 359846,
       kMediaStateNonEmptySession | kMediaStateFinalized,
       kE_IMAPI_DF2DATA_MEDIA_NOT_BLANK, kS_OK},
      {IMAPI_MEDIA_TYPE_DVDPLUSRW, 2295104,
       kMediaStateOverwriteOnly | kMediaStateNonEmptySession, kS_OK, kS_OK},
  };
  std::int32_t index = 0;
  for (const auto& c : kCases) {
    SCOPED_TRACE(MediaTypeName(c.type));
    const fs::path drive = AddDrive("drive" + std::to_string(index), c.type);
    auto writer = Writer(index);
    std::int32_t free_sectors = 0;
    std::uint32_t state = 0;
    ASSERT_EQ(writer->GetFreeSectorsOnMedia(&free_sectors), kS_OK);
    EXPECT_EQ(free_sectors, c.free_blank);
    ASSERT_EQ(WriteBytes(index, Sectors(4, 1)), kS_OK);
    EXPECT_FALSE(Blank(index));
    ASSERT_EQ(writer->GetCurrentMediaStatus(&state), kS_OK);
    EXPECT_EQ(state, c.state_written);
    EXPECT_EQ(WriteBytes(index, Sectors(2, 9)), c.second_write);
    EXPECT_EQ(FileBytes(drive / "medium.img"),
              c.second_write == kS_OK ? Sectors(2, 9) : Sectors(4, 1));

    auto eraser = Eraser(index);
    auto sink = std::make_shared<RecordingEraseSink>();
    std::uint32_t cookie = 0;
    ASSERT_EQ(eraser->Advise(sink, &cookie), kS_OK);
    ASSERT_EQ(eraser->PutFullErase(true), kS_OK);
    EXPECT_EQ(eraser->EraseMedia(), c.erase);
    if (c.erase == kS_OK) {
      // Unthrottled: one event as the erase starts and one as it ends.
      ASSERT_EQ(sink->events.size(), 2u);
      EXPECT_EQ(sink->events.front().first, 0);
      EXPECT_GE(sink->events.back().second, sink->events.back().first);
      EXPECT_EQ(fs::file_size(drive / "medium.img"), 0u);
      EXPECT_TRUE(Blank(index));
      EXPECT_EQ(WriteBytes(index, Sectors(3)), kS_OK);
    } else {
      EXPECT_TRUE(sink->events.empty());
      EXPECT_FALSE(Blank(index));
    }
    ++index;
  }
}

TEST_F(DataWriterTest, StreamTooLargeOrUnalignedFailsBeforeAnyEvent) {
  const fs::path drive =
      AddDrive("drive0", IMAPI_MEDIA_TYPE_BDRE, "sectors=16");
  auto writer = Writer(0);
  auto sink = std::make_shared<RecordingWriteSink>();
  std::uint32_t cookie = 0;
  ASSERT_EQ(writer->Advise(sink, &cookie), kS_OK);
  MemoryStream too_large(Sectors(17));
  EXPECT_EQ(writer->Write(&too_large),
            kE_IMAPI_DF2DATA_STREAM_TOO_LARGE_FOR_CURRENT_MEDIA);
  std::vector<std::uint8_t> unaligned = Sectors(2);
  unaligned.pop_back();
  MemoryStream odd(unaligned);
  EXPECT_EQ(writer->Write(&odd), kE_IMAPI_DF2DATA_STREAM_NOT_SUPPORTED);
  EXPECT_TRUE(sink->events.empty());
  EXPECT_EQ(fs::file_size(drive / "medium.img"), 0u);
  MemoryStream full(Sectors(16));  // exactly the capacity fits
  EXPECT_EQ(writer->Write(&full), kS_OK);
}

TEST_F(DataWriterTest, CancelStopsTheWriteWithTheCancelCode) {
  const fs::path early = AddDrive("drive0", IMAPI_MEDIA_TYPE_DVDDASHR);
  const fs::path late = AddDrive("drive1", IMAPI_MEDIA_TYPE_DVDPLUSR);
  // At the first event, as the library's sink does with the cancel flag
  // set: nothing is written.
  auto writer = Writer(0);
  auto sink = std::make_shared<RecordingWriteSink>();
  sink->on_event = [](IDiscFormat2Data* object, const WriteEvent&) {
    object->CancelWrite();
  };
  std::uint32_t cookie = 0;
  ASSERT_EQ(writer->Advise(sink, &cookie), kS_OK);
  MemoryStream stream(Sectors(4));
  EXPECT_EQ(writer->Write(&stream), kE_IMAPI_REQUEST_CANCELLED);
  EXPECT_EQ(sink->Actions(),
            std::vector<std::int32_t>{kWriteActionInitializingHardware});
  EXPECT_TRUE(Blank(0));
  EXPECT_EQ(fs::file_size(early / "medium.img"), 0u);
  EXPECT_EQ(writer->CancelWrite(), kE_IMAPI_DF2DATA_WRITE_NOT_IN_PROGRESS);

  // While the second block is read: that block still goes on, and the
  // medium is left damaged.
  writer = Writer(1);
  MemoryStream data(Sectors(5 * 512));
  data.on_read = [&](int read) {
    if (read == 1) writer->CancelWrite();
  };
  EXPECT_EQ(writer->Write(&data), kE_IMAPI_REQUEST_CANCELLED);
  EXPECT_EQ(fs::file_size(late / "medium.img"), 2u * 512 * 2048);
  std::uint32_t state = 0;
  ASSERT_EQ(writer->GetCurrentMediaStatus(&state), kS_OK);
  EXPECT_NE(state & kMediaStateDamaged, 0u);
  EXPECT_EQ(state & kMediaStateBlank, 0u);
  EXPECT_EQ(WriteBytes(1, Sectors(1)), kE_IMAPI_DF2DATA_MEDIA_NOT_BLANK);
}

TEST_F(DataWriterTest, WriterNeedsAVirtualRecorderAndTakesItsDrivesMedia) {
  AddDrive("a_cdr", IMAPI_MEDIA_TYPE_CDR);
  AddDrive("b_bdr", IMAPI_MEDIA_TYPE_BDR);
  std::shared_ptr<IDiscFormat2Data> writer;
  ASSERT_EQ(disc_->CreateDataWriter(&writer), kS_OK);
  IMAPI_MEDIA_PHYSICAL_TYPE type = IMAPI_MEDIA_TYPE_UNKNOWN;
  EXPECT_EQ(writer->GetCurrentPhysicalMediaType(&type),
            kE_IMAPI_RECORDER_REQUIRED);
  std::shared_ptr<IDiscRecorder2> uninitialised;
  ASSERT_EQ(disc_->CreateRecorder(&uninitialised), kS_OK);
  bool supported = true;
  ASSERT_EQ(writer->IsRecorderSupported(uninitialised.get(), &supported),
            kS_OK);
  EXPECT_FALSE(supported);
  EXPECT_EQ(writer->PutRecorder(uninitialised),
            kE_IMAPI_DF2DATA_RECORDER_NOT_SUPPORTED);

  std::vector<IMAPI_MEDIA_PHYSICAL_TYPE> types;
  ASSERT_EQ(Writer(0)->GetSupportedMediaTypes(&types), kS_OK);
  EXPECT_EQ(types, std::vector{IMAPI_MEDIA_TYPE_CDR});
  ASSERT_EQ(Writer(1)->GetSupportedMediaTypes(&types), kS_OK);
  for (auto type : {IMAPI_MEDIA_TYPE_BDRE, IMAPI_MEDIA_TYPE_DVDDASHRW}) {
    EXPECT_NE(std::find(types.begin(), types.end(), type), types.end());
  }
}

}  // namespace
}  // namespace tessaline::testing
