#include "burn/image_writer.h"

#include <gtest/gtest.h>

#include "support/disc/disc_test_platform.h"

namespace {

using tessaline::WriteOutcome;
using tessaline::testing::FakeCall;
using tessaline::testing::FakeWriteEvent;
using tessaline::testing::StatusLog;
using Reports = std::vector<tessaline::testing::StatusReport>;
using Lines = std::vector<std::string>;
namespace platform = tessaline::platform;

FakeWriteEvent Writing(std::int32_t elapsed, std::int32_t total) {
  FakeWriteEvent event;
  event.elapsed = elapsed;
  event.total = total;
  return event;
}

class ImageWriterTest : public ::testing::Test {
 protected:
  ImageWriterTest() { Reset(); }

  // Whatever happened, nothing the writer made is left behind, and every
  // writer and eraser carried the client name.
  void TearDown() override {
    EXPECT_EQ(test_.disc->LiveObjects(), 0);
    EXPECT_EQ(test_.disc->OpenBindings(), 0);
    EXPECT_EQ(test_.disc->OpenAdvises(), 0);
    EXPECT_EQ(test_.disc->LiveSinks(), 0);
    for (const char* call : {"IDiscFormat2Data::PutClientName",
                             "IDiscFormat2Erase::PutClientName"}) {
      for (const FakeCall& name : test_.disc->Calls(call)) {
        EXPECT_EQ(name.text, L"Kiro Media Creation") << call;
      }
    }
  }

  void Reset() {
    test_ = tessaline::testing::MakeDiscTestPlatform();
    test_.disc->AddRecorder().volume_paths = {L"/media/cdrom0/"};
    test_.disc->ServeStream(L"/scratch/boot.iso", 8 * 2048);
    cancel_ = 0;
  }
  platform::HRESULT Write(bool iso) {
    if (iso) {
      return tessaline::WriteIsoImage(*test_.platform, L"/scratch/boot.iso", 0,
                                      &StatusLog::Callback, &log_, &cancel_,
                                      &outcome_);
    }
    return tessaline::WriteFolderImage(*test_.platform, L"/scratch/Burn", 0,
                                       L"RECOVERYDISC2", &StatusLog::Callback,
                                       &log_, &cancel_, nullptr, &outcome_);
  }
  std::int32_t UserNeededReason(bool iso) {
    try {
      Write(iso);
    } catch (const UserNeededException& e) {
      return e.reason;
    }
    return -1;
  }
  int Count(const char* call) { return test_.disc->Count(call); }
  tessaline::testing::FakeMedium& medium() {
    return test_.disc->recorder(0).medium;
  }
  Lines Out() { return test_.console->Writes(); }

  tessaline::testing::DiscTestPlatform test_;
  StatusLog log_;
  tessaline::CancelFlag cancel_{0};
  WriteOutcome outcome_ = WriteOutcome::kWritten;
};

TEST_F(ImageWriterTest, IsoStreamTakesWholeSectorsUpToTheLargestLong) {
  const struct {
    std::uint64_t size;
    platform::HRESULT hr;
    std::int32_t sectors;
    std::string line;
  } cases[] = {
      {2047, platform::kE_FAIL, 0,
       "File is not multiple of 2048 bytes.  File size is 2047 (7ff)\n"},
      {2048 * 0x7FFFFFFFull, platform::kS_OK, 0x7FFFFFFF, ""},
      {2048 * 0x80000000ull, platform::kE_FAIL, 0,
       "File is too large, # of sectors won't fit a LONG.  File size is "
       "4398046511104 (40000000000)\n"},
  };
  for (const auto& c : cases) {
    Reset();
    test_.disc->ServeStream(L"/x.iso", c.size);
    std::shared_ptr<platform::IStream> stream;
    std::int32_t sectors = 5;
    EXPECT_EQ(
        tessaline::OpenIsoStream(*test_.platform, &stream, &sectors, L"/x.iso"),
        c.hr);
    EXPECT_EQ(stream != nullptr, c.hr == platform::kS_OK);
    EXPECT_EQ(sectors, c.sectors);
    EXPECT_EQ(test_.console->Text(), c.line);
  }
}

TEST_F(ImageWriterTest, CancelBeforeTheWriteErasesAndWritesNothing) {
  for (bool iso : {true, false}) {
    Reset();
    cancel_ = 1;
    EXPECT_EQ(Write(iso), platform::kS_OK);
    EXPECT_EQ(outcome_, WriteOutcome::kCancelled);
    EXPECT_EQ(Count("IDiscFormat2Data::GetMediaHeuristicallyBlank"), 1);
    EXPECT_EQ(Count("DiscServices::CreateEraser"), 0) << iso;
    EXPECT_EQ(Count("IDiscFormat2Data::Write"), 0);
  }
}

TEST_F(ImageWriterTest, CancelDuringWriteIsCarriedOutByTheSink) {
  for (bool iso : {true, false}) {
    Reset();
    test_.disc->write_events = {Writing(1, 9), Writing(2, 9)};
    test_.disc->SetCallHook([this](const FakeCall& call) {
      if (call.name == "DDiscFormat2DataEvents::Update") cancel_ = 1;
    });
    EXPECT_EQ(Write(iso), platform::kE_IMAPI_REQUEST_CANCELLED);
    EXPECT_EQ(outcome_, WriteOutcome::kCancelled);
    EXPECT_TRUE(log_.Reports().empty());
    EXPECT_EQ(Count("IDiscFormat2Data::CancelWrite"), 1);
    EXPECT_EQ(medium().writes, 0);
  }
}

TEST_F(ImageWriterTest, BlankMediumIsNeverErased) {
  for (bool iso : {true, false}) {
    medium().blank = true;
    EXPECT_EQ(Write(iso), platform::kS_OK);
  }
  EXPECT_EQ(Count("DiscServices::CreateEraser"), 0);
  EXPECT_EQ(medium().writes, 2);
}

TEST_F(ImageWriterTest, FailuresAroundTheWriteNeedTheUser) {
  // Blank query: reason 4 before any erase; erase: 3; write: 2.
  for (bool iso : {true, false}) {
    Reset();
    test_.disc->Fail("IDiscFormat2Data::GetMediaHeuristicallyBlank",
                     platform::kE_FAIL);
    EXPECT_EQ(UserNeededReason(iso), 4);
    EXPECT_EQ(Count("DiscServices::CreateEraser"), 0);
    Reset();
    medium().erasable = false;
    EXPECT_EQ(UserNeededReason(iso), 3);
    EXPECT_EQ(Count("IDiscFormat2Data::Write"), 0);
    for (const auto& line : Out()) {
      EXPECT_EQ(line.find("EraseMedia FAILED"), std::string::npos);
    }
    Reset();
    test_.disc->Fail("IDiscFormat2Data::Write", platform::kE_FAIL);
    EXPECT_EQ(UserNeededReason(iso), 2);
    EXPECT_EQ(outcome_, WriteOutcome::kNotWritten);
  }
}

TEST_F(ImageWriterTest, DoomedWriteLeavesTheMediumAlone) {
  // A set-up step that fails before the write: nothing is erased.
  const struct {
    bool iso;
    const char* call;
  } cases[] = {{true, nullptr},
               {false, "IFsiDirectoryItem::AddTree"},
               {false, "IFileSystemImageResult::GetImageStream"}};
  for (const auto& c : cases) {
    Reset();
    if (c.call == nullptr) {
      test_.disc->ServeStream(L"/scratch/boot.iso", 2047);
    } else {
      test_.disc->Fail(c.call, platform::kE_FAIL);
    }
    EXPECT_TRUE(platform::Failed(Write(c.iso)));
    EXPECT_EQ(outcome_, WriteOutcome::kNotWritten);
    EXPECT_EQ(Count("DiscServices::CreateEraser"), 0) << c.iso;
    EXPECT_EQ(medium().writes, 0);
  }
}

TEST_F(ImageWriterTest, FolderImageIsBuiltAsUdfAndWritten) {
  test_.disc->erase_events = {{10, 20}};
  test_.disc->write_events = {Writing(12, 300)};
  test_.disc->image_file_count = 3;
  test_.disc->image_directory_count = 2;
  test_.disc->add_tree_seconds = 59;
  test_.disc->write_seconds = 3725;
  EXPECT_EQ(Write(false), platform::kS_OK);
  EXPECT_EQ(outcome_, WriteOutcome::kWritten);
  EXPECT_EQ(Out(),
            (Lines{"Adding /scratch/Burn", " - Time: 00:00:59\n",
                   "Supported file systems: UDF \n", "Number of Files: 3\n",
                   "Number of Directorys: 2\n", "Image ready to write\n", "\n",
                   " - Time to erase: 00:00:00\n",
                   "EraseMedia succeeded for drive index 0\n",
                   " - Time to write: 01:02:05\n",
                   "DataWriter succeeded for drive index 0\n"}));
  EXPECT_EQ(log_.Reports(), (Reports{{7, 10, 20}, {8, 12, 300}}));
  EXPECT_EQ(Count("IDiscFormat2Erase::PutClientName"), 1);
}

TEST_F(ImageWriterTest, FailedWriteProtectQueryStillCountsAsWritten) {
  test_.disc->Fail("IDiscFormat2Data::GetWriteProtectStatus",
                   platform::kE_FAIL);
  EXPECT_EQ(Write(false), platform::kE_FAIL);
  EXPECT_EQ(outcome_, WriteOutcome::kWritten);
  EXPECT_EQ(Out().back(), "DataWriter FAILED for drive index 0\n");
}

}  // namespace
