#include "burn/image_writer.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "support/disc/disc_test_platform.h"

namespace {

using tessaline::CancelFlag;
using tessaline::WriteOutcome;
using tessaline::testing::DiscTestPlatform;
using tessaline::testing::FakeCall;
using tessaline::testing::FakeWriteEvent;
using tessaline::testing::MakeDiscTestPlatform;
using tessaline::testing::StatusLog;
using tessaline::testing::StatusReport;
using tessaline::testing::TempFolder;
using Reports = std::vector<StatusReport>;
using Lines = std::vector<std::string>;
namespace platform = tessaline::platform;

constexpr std::uint64_t kSector = 2048;
const std::wstring kImage = L"/work/boot.iso";
const std::wstring kFolder = L"/work/Burn";

FakeWriteEvent Writing(std::int32_t elapsed, std::int32_t total) {
  FakeWriteEvent event;
  event.elapsed = elapsed;
  event.total = total;
  return event;
}

bool Contains(const Lines& lines, const std::string& line) {
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

class ImageWriterTest : public ::testing::Test {
 protected:
  ImageWriterTest() : test_(MakeDiscTestPlatform()) {
    test_.disc->AddRecorder().volume_paths = {L"/media/cdrom0/"};
    test_.disc->ServeStream(kImage, 8 * kSector);
  }

  // Whatever happened, nothing the writer made is left behind.
  void TearDown() override {
    EXPECT_EQ(test_.disc->LiveObjects(), 0);
    EXPECT_EQ(test_.disc->OpenBindings(), 0);
    EXPECT_EQ(test_.disc->OpenAdvises(), 0);
    EXPECT_EQ(test_.disc->LiveSinks(), 0);
  }

  platform::HRESULT WriteIso(const std::wstring& image = kImage) {
    return tessaline::WriteIsoImage(*test_.platform, image, 0,
                                    &StatusLog::Callback, &log_, &cancel_,
                                    &outcome_);
  }
  platform::HRESULT WriteFolder(const wchar_t* boot = nullptr) {
    return tessaline::WriteFolderImage(*test_.platform, kFolder, 0,
                                       L"RECOVERYDISC2", &StatusLog::Callback,
                                       &log_, &cancel_, boot, &outcome_);
  }
  template <typename Fn>
  std::int32_t UserNeededReason(Fn fn) {
    try {
      fn();
    } catch (const UserNeededException& e) {
      return e.reason;
    }
    return -1;
  }
  const tessaline::testing::FakeMedium& medium() {
    return test_.disc->recorder(0).medium;
  }
  Lines Out() { return test_.console->Writes(); }

  DiscTestPlatform test_;
  StatusLog log_;
  CancelFlag cancel_{0};
  WriteOutcome outcome_ = WriteOutcome::kWritten;
};

TEST_F(ImageWriterTest, IsoStreamRefusesSizesThatAreNotWholeSectors) {
  test_.disc->ServeStream(L"/odd.iso", 2047);
  std::shared_ptr<platform::IStream> stream;
  std::int32_t sectors = 5;
  EXPECT_EQ(
      tessaline::OpenIsoStream(*test_.platform, &stream, &sectors, L"/odd.iso"),
      platform::kE_FAIL);
  EXPECT_EQ(stream, nullptr);
  EXPECT_EQ(sectors, 0);
  EXPECT_EQ(test_.console->Text(),
            "File is not multiple of 2048 bytes.  File size is 2047 (7ff)\n");
}

TEST_F(ImageWriterTest, IsoStreamTakesAtMostTheLargestSignedSectorCount) {
  test_.disc->ServeStream(L"/max.iso", kSector * 0x7FFFFFFFull);
  test_.disc->ServeStream(L"/big.iso", kSector * 0x80000000ull);
  std::shared_ptr<platform::IStream> stream;
  std::int32_t sectors = 0;
  EXPECT_EQ(
      tessaline::OpenIsoStream(*test_.platform, &stream, &sectors, L"/max.iso"),
      platform::kS_OK);
  EXPECT_NE(stream, nullptr);
  EXPECT_EQ(sectors, 0x7FFFFFFF);
  stream.reset();
  EXPECT_EQ(
      tessaline::OpenIsoStream(*test_.platform, &stream, &sectors, L"/big.iso"),
      platform::kE_FAIL);
  EXPECT_EQ(stream, nullptr);
  EXPECT_EQ(sectors, 0);
  EXPECT_EQ(test_.console->Text(),
            "File is too large, # of sectors won't fit a LONG.  File size is "
            "4398046511104 (40000000000)\n");
}

TEST_F(ImageWriterTest, IsoStreamOpenFailureNamesThePath) {
  std::shared_ptr<platform::IStream> stream;
  std::int32_t sectors = 0;
  EXPECT_EQ(tessaline::OpenIsoStream(*test_.platform, &stream, &sectors,
                                     L"/no/such/\u00e9.iso"),
            tessaline::testing::kFileNotFound);
  EXPECT_EQ(test_.console->Text(),
            "Failed to open file /no/such/\xc3\xa9.iso\n");
}

TEST_F(ImageWriterTest, IsoImageIsWrittenUnchangedFromARealFile) {
  TempFolder temp;
  tessaline::testing::WritePatternFile(temp.path() / "boot.iso", 3 * kSector,
                                       7);
  test_.disc->write_events = {Writing(1, 4)};
  EXPECT_EQ(WriteIso(temp.Wide("boot.iso")), platform::kS_OK);
  EXPECT_EQ(outcome_, WriteOutcome::kWritten);
  std::string expected = tessaline::testing::ReadFile(temp.path() / "boot.iso");
  EXPECT_EQ(std::string(medium().content.begin(), medium().content.end()),
            expected);
  // The medium held data, so it was erased first.
  EXPECT_EQ(medium().erases, 1);
  EXPECT_EQ(log_.Reports(), (Reports{{8, 1, 4}}));
  auto names = test_.disc->Calls("IDiscFormat2Data::PutClientName");
  ASSERT_EQ(names.size(), 1u);
  EXPECT_EQ(names[0].text, L"Kiro Media Creation");
}

TEST_F(ImageWriterTest, IsoImageOfAnOddSizeIsNotWritten) {
  test_.disc->ServeStream(L"/odd.iso", 2047);
  EXPECT_EQ(WriteIso(L"/odd.iso"), platform::kE_FAIL);
  EXPECT_EQ(outcome_, WriteOutcome::kNotWritten);
  EXPECT_EQ(test_.disc->Count("IDiscFormat2Data::Write"), 0);
  EXPECT_TRUE(Contains(
      Out(), "File is not multiple of 2048 bytes.  File size is 2047 (7ff)\n"));
  EXPECT_TRUE(Contains(Out(), "Failed to create data stream for writing\n"));
}

TEST_F(ImageWriterTest, CancelBeforeIsoWriteStopsAfterTheBlankQuery) {
  cancel_ = 1;
  EXPECT_EQ(WriteIso(), platform::kS_OK);
  EXPECT_EQ(outcome_, WriteOutcome::kCancelled);
  EXPECT_EQ(test_.disc->Count("IDiscFormat2Data::GetMediaHeuristicallyBlank"),
            1);
  EXPECT_EQ(test_.disc->Count("DiscServices::CreateEraser"), 0);
  EXPECT_EQ(test_.disc->Count("IDiscFormat2Data::Write"), 0);
}

TEST_F(ImageWriterTest, CancelBeforeFolderEraseKeepsTheMediumIntact) {
  cancel_ = 1;
  EXPECT_EQ(WriteFolder(), platform::kS_OK);
  EXPECT_EQ(outcome_, WriteOutcome::kCancelled);
  EXPECT_EQ(test_.disc->Count("DiscServices::CreateEraser"), 0);
  EXPECT_EQ(test_.disc->Count("IDiscFormat2Data::Write"), 0);
  EXPECT_EQ(medium().erases, 0);
}

TEST_F(ImageWriterTest, CancelDuringWriteIsCarriedOutByTheSink) {
  test_.disc->write_events = {Writing(1, 9), Writing(2, 9), Writing(3, 9)};
  test_.disc->SetCallHook([this](const FakeCall& call) {
    if (call.name == "DDiscFormat2DataEvents::Update") cancel_ = 1;
  });
  EXPECT_EQ(WriteFolder(), platform::kE_IMAPI_REQUEST_CANCELLED);
  EXPECT_EQ(outcome_, WriteOutcome::kCancelled);
  EXPECT_TRUE(log_.Reports().empty());
  EXPECT_EQ(test_.disc->Count("IDiscFormat2Data::CancelWrite"), 1);
  EXPECT_FALSE(Contains(Out(), "Failed to write stream\n"));
  EXPECT_EQ(Out().back(), "DataWriter FAILED for drive index 0\n");
}

TEST_F(ImageWriterTest, CancelDuringIsoWriteThrowsNothing) {
  test_.disc->write_events = {Writing(1, 9), Writing(2, 9)};
  test_.disc->SetCallHook([this](const FakeCall& call) {
    if (call.name == "DDiscFormat2DataEvents::Update") cancel_ = 1;
  });
  EXPECT_EQ(WriteIso(), platform::kE_IMAPI_REQUEST_CANCELLED);
  EXPECT_EQ(outcome_, WriteOutcome::kCancelled);
  EXPECT_EQ(medium().writes, 0);
}

TEST_F(ImageWriterTest, BlankMediumIsNeverErased) {
  test_.disc->recorder(0).medium.blank = true;
  EXPECT_EQ(WriteIso(), platform::kS_OK);
  test_.disc->recorder(0).medium.blank = true;
  EXPECT_EQ(WriteFolder(), platform::kS_OK);
  EXPECT_EQ(test_.disc->Count("DiscServices::CreateEraser"), 0);
  EXPECT_EQ(medium().writes, 2);
}

TEST_F(ImageWriterTest, FailedBlankQueryThrowsReasonFourBeforeAnyErase) {
  test_.disc->Fail("IDiscFormat2Data::GetMediaHeuristicallyBlank",
                   platform::kE_FAIL);
  EXPECT_EQ(UserNeededReason([&] { WriteIso(); }), 4);
  EXPECT_EQ(UserNeededReason([&] { WriteFolder(); }), 4);
  EXPECT_EQ(test_.disc->Count("DiscServices::CreateEraser"), 0);
  EXPECT_EQ(outcome_, WriteOutcome::kNotWritten);
}

TEST_F(ImageWriterTest, RefusedEraseThrowsReasonThreeFromBothWriters) {
  test_.disc->recorder(0).medium.erasable = false;
  EXPECT_EQ(UserNeededReason([&] { WriteIso(); }), 3);
  EXPECT_EQ(UserNeededReason([&] { WriteFolder(); }), 3);
  EXPECT_EQ(test_.disc->Count("IDiscFormat2Data::Write"), 0);
  for (const auto& line : Out()) {
    EXPECT_EQ(line.find("EraseMedia FAILED"), std::string::npos);
  }
}

TEST_F(ImageWriterTest, FailedWriteWithoutCancelThrowsReasonTwo) {
  test_.disc->Fail("IDiscFormat2Data::Write", platform::kE_FAIL);
  EXPECT_EQ(UserNeededReason([&] { WriteIso(); }), 2);
  EXPECT_EQ(UserNeededReason([&] { WriteFolder(); }), 2);
  Lines out = Out();
  EXPECT_EQ(std::count(out.begin(), out.end(), "Failed to write stream\n"), 2);
}

TEST_F(ImageWriterTest, IsoWriterSetUpFailuresThrowMediaWriterException) {
  const std::pair<const char*, const wchar_t*> steps[] = {
      {"DiscServices::CreateDataWriter", L"CoCreateInstance failed"},
      {"IDiscFormat2Data::PutClientName",
       L"FAILED to set client name for ISO write!\n"},
      {"IDiscMaster2::GetItem", L"Disc Master Failure"},
  };
  for (const auto& [call, text] : steps) {
    test_.disc->ClearFailures();
    test_.disc->Fail(call, platform::kE_FAIL);
    try {
      WriteIso();
      ADD_FAILURE() << call;
    } catch (const MediaWriterException& e) {
      EXPECT_EQ(e.message, text);
    }
  }
}

TEST_F(ImageWriterTest, FolderImageIsBuiltAsUdfAndWritten) {
  test_.disc->recorder(0).medium.free_sectors = 123456;
  test_.disc->erase_events = {{10, 20}};
  test_.disc->write_events = {Writing(12, 300)};
  test_.disc->image_file_count = 3;
  test_.disc->image_directory_count = 2;
  test_.disc->add_tree_seconds = 59;
  test_.disc->write_seconds = 3725;
  EXPECT_EQ(WriteFolder(), platform::kS_OK);
  EXPECT_EQ(outcome_, WriteOutcome::kWritten);
  EXPECT_EQ(
      Out(),
      (Lines{"\n", " - Time to erase: 00:00:00\n",
             "EraseMedia succeeded for drive index 0\n", "Adding /work/Burn",
             " - Time: 00:00:59\n", "Supported file systems: UDF \n",
             "Number of Files: 3\n", "Number of Directorys: 2\n",
             "Image ready to write\n", " - Time to write: 01:02:05\n",
             "DataWriter succeeded for drive index 0\n"}));
  EXPECT_EQ(log_.Reports(), (Reports{{7, 10, 20}, {8, 12, 300}}));

  auto systems = test_.disc->Calls("IFileSystemImage::PutFileSystemsToCreate");
  ASSERT_EQ(systems.size(), 1u);
  EXPECT_EQ(systems[0].number, platform::kFileSystemUDF);
  auto tree = test_.disc->Calls("IFsiDirectoryItem::AddTree");
  ASSERT_EQ(tree.size(), 1u);
  EXPECT_EQ(tree[0].text, kFolder);
  EXPECT_EQ(tree[0].number, 0);
  auto blocks = test_.disc->Calls("IFileSystemImage::PutFreeMediaBlocks");
  ASSERT_EQ(blocks.size(), 1u);
  EXPECT_EQ(blocks[0].number, 123456);
  auto label = test_.disc->Calls("IFileSystemImage::PutVolumeName");
  ASSERT_EQ(label.size(), 1u);
  EXPECT_EQ(label[0].text, L"RECOVERYDISC2");
  auto writes = test_.disc->Calls("IDiscFormat2Data::Write");
  ASSERT_EQ(writes.size(), 1u);
  EXPECT_EQ(writes[0].number, 16 * 2048);
  for (const char* call : {"IDiscFormat2Data::PutClientName",
                           "IDiscFormat2Erase::PutClientName"}) {
    auto names = test_.disc->Calls(call);
    ASSERT_EQ(names.size(), 1u) << call;
    EXPECT_EQ(names[0].text, L"Kiro Media Creation");
  }
  EXPECT_EQ(test_.disc->Count("DiscServices::CreateBootOptions"), 0);
}

TEST_F(ImageWriterTest, WholeDaysAreNotShownInTheWriteTime) {
  test_.disc->write_seconds = 90061;
  WriteFolder();
  EXPECT_TRUE(Contains(Out(), " - Time to write: 01:01:01\n"));
}

TEST_F(ImageWriterTest, FailedWriteProtectQueryStillCountsAsWritten) {
  test_.disc->Fail("IDiscFormat2Data::GetWriteProtectStatus",
                   platform::kE_FAIL);
  EXPECT_EQ(WriteFolder(), platform::kE_FAIL);
  EXPECT_EQ(outcome_, WriteOutcome::kWritten);
  EXPECT_EQ(medium().writes, 1);
  Lines out = Out();
  ASSERT_GE(out.size(), 2u);
  EXPECT_EQ(out[out.size() - 2], "Failed get_WriteProtectStatus()\n");
  EXPECT_EQ(out.back(), "DataWriter FAILED for drive index 0\n");
}

TEST_F(ImageWriterTest, FolderStepFailureSkipsTheRestButTheErase) {
  test_.disc->Fail("IFileSystemImage::CreateResultImage",
                   platform::kE_IMAPI_REQUEST_CANCELLED);
  EXPECT_EQ(WriteFolder(), platform::kE_IMAPI_REQUEST_CANCELLED);
  EXPECT_EQ(outcome_, WriteOutcome::kNotWritten);
  EXPECT_EQ(medium().erases, 1);
  EXPECT_EQ(test_.disc->Count("IDiscFormat2Data::Write"), 0);
  EXPECT_EQ(test_.disc->Count("IDiscFormat2Data::GetWriteProtectStatus"), 0);
  Lines out = Out();
  EXPECT_EQ(out[out.size() - 2],
            "Failed to get result image, returned c0aa0002\n");
  EXPECT_EQ(out.back(), "DataWriter FAILED for drive index 0\n");
}

TEST_F(ImageWriterTest, MissingDataWriterStillErasesTheMedium) {
  test_.disc->FailOnce("DiscServices::CreateDataWriter", platform::kE_FAIL);
  EXPECT_EQ(WriteFolder(), platform::kE_FAIL);
  EXPECT_EQ(outcome_, WriteOutcome::kNotWritten);
  EXPECT_EQ(medium().erases, 1);
  EXPECT_EQ(test_.disc->Count("IDiscRecorder2::InitializeDiscRecorder"), 1);
  EXPECT_EQ(Out().front(), "FAILED CoCreateInstance\n");
  EXPECT_EQ(Out().back(), "DataWriter FAILED for drive index 0\n");
}

TEST_F(ImageWriterTest, BootImageIsHandedToTheImageBuilder) {
  test_.disc->ServeStream(L"/work/etfsboot.com", 4 * kSector);
  EXPECT_EQ(WriteFolder(L"/work/etfsboot.com"), platform::kS_OK);
  auto assigned = test_.disc->Calls("IBootOptions::AssignBootImage");
  ASSERT_EQ(assigned.size(), 1u);
  EXPECT_EQ(assigned[0].number, 4 * 2048);
  EXPECT_EQ(test_.disc->Count("IFileSystemImage::PutBootImageOptions"), 1);

  test_.disc->ClearCalls();
  EXPECT_EQ(WriteFolder(L"/work/missing.com"),
            tessaline::testing::kFileNotFound);
  EXPECT_TRUE(Contains(Out(), "Failed SHCreateStreamOnFileW for BootImage\n"));
  EXPECT_EQ(test_.disc->Count("IDiscFormat2Data::Write"), 0);
}

}  // namespace
