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
  const fs::path drive = AddDrive("drive0", IMAPI_MEDIA_TYPE_DVDPLUSR);
  auto writer = Writer(0);
  auto sink = std::make_shared<RecordingWriteSink>();
  std::uint32_t cookie = 0;
  ASSERT_EQ(writer->Advise(sink, &cookie), kS_OK);
  // Three 1 MiB blocks and a short one.
  const std::vector<std::uint8_t> image = Sectors(3 * 512 + 5);
  MemoryStream stream(image);

  ASSERT_EQ(writer->Write(&stream), kS_OK);
  EXPECT_EQ(writer->Unadvise(cookie), kS_OK);

  EXPECT_EQ(FileBytes(drive / "medium.img"), image);
  const std::vector<std::int32_t> actions = sink->Actions();
  ASSERT_GE(actions.size(), 4u);
  EXPECT_EQ(actions[0], kWriteActionInitializingHardware);
  EXPECT_EQ(actions[1], kWriteActionCalibratingPower);
  EXPECT_EQ(actions[2], kWriteActionWritingData);
  // The last writing event closes the data: nothing remains.
  auto last_writing = std::find_if(
      sink->events.rbegin(), sink->events.rend(),
      [](const WriteEvent& e) { return e.action == kWriteActionWritingData; });
  ASSERT_NE(last_writing, sink->events.rend());
  EXPECT_EQ(last_writing->elapsed, last_writing->total);
  EXPECT_EQ(actions.back(), kWriteActionCompleted);
}

TEST_F(DataWriterTest, WriteOnceMediumTakesOneWriteOnly) {
  AddDrive("drive0", IMAPI_MEDIA_TYPE_CDR);
  auto writer = Writer(0);
  bool blank = false;
  std::int32_t free_sectors = 0;
  ASSERT_EQ(writer->GetMediaHeuristicallyBlank(&blank), kS_OK);
  EXPECT_TRUE(blank);
  ASSERT_EQ(writer->GetFreeSectorsOnMedia(&free_sectors), kS_OK);
  EXPECT_EQ(free_sectors, 359846);

  ASSERT_EQ(WriteBytes(0, Sectors(4)), kS_OK);

  std::uint32_t state = 0;
  ASSERT_EQ(writer->GetMediaHeuristicallyBlank(&blank), kS_OK);
  EXPECT_FALSE(blank);
  ASSERT_EQ(writer->GetCurrentMediaStatus(&state), kS_OK);
  EXPECT_EQ(state, kMediaStateNonEmptySession | kMediaStateFinalized);
  ASSERT_EQ(writer->GetFreeSectorsOnMedia(&free_sectors), kS_OK);
  EXPECT_EQ(free_sectors, 0);
  EXPECT_EQ(WriteBytes(0, Sectors(4)), kE_IMAPI_DF2DATA_MEDIA_NOT_BLANK);

  auto eraser = Eraser(0);
  EXPECT_EQ(eraser->EraseMedia(), kE_IMAPI_ERASE_MEDIA_IS_NOT_SUPPORTED);
  ASSERT_EQ(writer->GetMediaHeuristicallyBlank(&blank), kS_OK);
  EXPECT_FALSE(blank);
}

TEST_F(DataWriterTest, OverwriteMediumIsWrittenAgainInPlace) {
  const fs::path drive = AddDrive("drive0", IMAPI_MEDIA_TYPE_DVDPLUSRW);
  ASSERT_EQ(WriteBytes(0, Sectors(8, 1)), kS_OK);
  auto writer = Writer(0);
  std::uint32_t state = 0;
  std::int32_t free_sectors = 0;
  ASSERT_EQ(writer->GetCurrentMediaStatus(&state), kS_OK);
  EXPECT_EQ(state, kMediaStateOverwriteOnly | kMediaStateNonEmptySession);
  ASSERT_EQ(writer->GetFreeSectorsOnMedia(&free_sectors), kS_OK);
  EXPECT_EQ(free_sectors, 2295104);

  ASSERT_EQ(WriteBytes(0, Sectors(2, 9)), kS_OK);
  EXPECT_EQ(FileBytes(drive / "medium.img"), Sectors(2, 9));
}

TEST_F(DataWriterTest, SequentialRewritableMediumNeedsAnEraseFirst) {
  const fs::path drive = AddDrive("drive0", IMAPI_MEDIA_TYPE_CDRW);
  ASSERT_EQ(WriteBytes(0, Sectors(3)), kS_OK);
  EXPECT_EQ(WriteBytes(0, Sectors(3)), kE_IMAPI_DF2DATA_MEDIA_NOT_BLANK);

  auto eraser = Eraser(0);
  auto sink = std::make_shared<RecordingEraseSink>();
  std::uint32_t cookie = 0;
  ASSERT_EQ(eraser->Advise(sink, &cookie), kS_OK);
  ASSERT_EQ(eraser->PutFullErase(true), kS_OK);
  ASSERT_EQ(eraser->EraseMedia(), kS_OK);

  // Unthrottled: one event as the erase starts and one as it ends.
  ASSERT_EQ(sink->events.size(), 2u);
  EXPECT_EQ(sink->events.front().first, 0);
  EXPECT_GE(sink->events.back().second, sink->events.back().first);
  EXPECT_EQ(fs::file_size(drive / "medium.img"), 0u);
  bool blank = false;
  ASSERT_EQ(Writer(0)->GetMediaHeuristicallyBlank(&blank), kS_OK);
  EXPECT_TRUE(blank);
  EXPECT_EQ(WriteBytes(0, Sectors(3)), kS_OK);
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
  // Exactly the capacity fits.
  MemoryStream full(Sectors(16));
  EXPECT_EQ(writer->Write(&full), kS_OK);
}

TEST_F(DataWriterTest, CancelBeforeDataLeavesTheMediumBlank) {
  const fs::path drive = AddDrive("drive0", IMAPI_MEDIA_TYPE_DVDDASHR);
  auto writer = Writer(0);
  auto sink = std::make_shared<RecordingWriteSink>();
  // What the library's sink does with the cancel flag set.
  sink->on_event = [](IDiscFormat2Data* object, const WriteEvent&) {
    object->CancelWrite();
  };
  std::uint32_t cookie = 0;
  ASSERT_EQ(writer->Advise(sink, &cookie), kS_OK);
  MemoryStream stream(Sectors(4));

  EXPECT_EQ(writer->Write(&stream), kE_IMAPI_REQUEST_CANCELLED);

  EXPECT_EQ(sink->Actions(),
            std::vector<std::int32_t>{kWriteActionInitializingHardware});
  bool blank = false;
  ASSERT_EQ(writer->GetMediaHeuristicallyBlank(&blank), kS_OK);
  EXPECT_TRUE(blank);
  EXPECT_EQ(fs::file_size(drive / "medium.img"), 0u);
  EXPECT_EQ(writer->CancelWrite(), kE_IMAPI_DF2DATA_WRITE_NOT_IN_PROGRESS);
}

TEST_F(DataWriterTest, CancelDuringDataStopsAtTheNextBlockAndDamagesTheMedium) {
  const fs::path drive = AddDrive("drive0", IMAPI_MEDIA_TYPE_DVDPLUSR);
  auto writer = Writer(0);
  MemoryStream stream(Sectors(5 * 512));
  // Cancelled while the second block is read: that block still goes on.
  stream.on_read = [&](int read) {
    if (read == 1) writer->CancelWrite();
  };

  EXPECT_EQ(writer->Write(&stream), kE_IMAPI_REQUEST_CANCELLED);

  EXPECT_EQ(fs::file_size(drive / "medium.img"), 2u * 512 * 2048);
  std::uint32_t state = 0;
  ASSERT_EQ(writer->GetCurrentMediaStatus(&state), kS_OK);
  EXPECT_NE(state & kMediaStateDamaged, 0u);
  EXPECT_EQ(state & kMediaStateBlank, 0u);
  EXPECT_EQ(WriteBytes(0, Sectors(1)), kE_IMAPI_DF2DATA_MEDIA_NOT_BLANK);
}

TEST_F(DataWriterTest, EmptyTrayAnswersNoMediaButFeaturesStillRead) {
  const fs::path drive = AddDrive("drive0", IMAPI_MEDIA_TYPE_DVDPLUSRW);
  fs::remove(drive / "medium.img");
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
  std::vector<std::uint32_t> features;
  EXPECT_EQ(Recorder(0)->GetSupportedFeaturePages(&features), kS_OK);
  EXPECT_FALSE(features.empty());
}

TEST_F(DataWriterTest, FormatObjectsNeedAVirtualRecorder) {
  AddDrive("drive0", IMAPI_MEDIA_TYPE_DVDPLUSRW);
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

  ASSERT_EQ(writer->PutRecorder(Recorder(0)), kS_OK);
  ASSERT_EQ(writer->GetCurrentPhysicalMediaType(&type), kS_OK);
  EXPECT_EQ(type, IMAPI_MEDIA_TYPE_DVDPLUSRW);
  ASSERT_EQ(writer->PutRecorder(nullptr), kS_OK);
  EXPECT_EQ(writer->GetCurrentPhysicalMediaType(&type),
            kE_IMAPI_RECORDER_REQUIRED);
}

TEST_F(DataWriterTest, SupportedMediaFollowTheDrive) {
  AddDrive("a_cdr", IMAPI_MEDIA_TYPE_CDR);
  AddDrive("b_bdr", IMAPI_MEDIA_TYPE_BDR);
  std::vector<IMAPI_MEDIA_PHYSICAL_TYPE> types;
  ASSERT_EQ(Writer(0)->GetSupportedMediaTypes(&types), kS_OK);
  EXPECT_EQ(types,
            std::vector<IMAPI_MEDIA_PHYSICAL_TYPE>{IMAPI_MEDIA_TYPE_CDR});
  ASSERT_EQ(Writer(1)->GetSupportedMediaTypes(&types), kS_OK);
  EXPECT_NE(std::find(types.begin(), types.end(), IMAPI_MEDIA_TYPE_BDRE),
            types.end());
  EXPECT_NE(std::find(types.begin(), types.end(), IMAPI_MEDIA_TYPE_DVDDASHRW),
            types.end());
}

}  // namespace
}  // namespace tessaline::testing
