// Reading the boot disc back and comparing it with its image.
#include "verify/read_back.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/platform_wrapper.h"
#include "writer/job_fixture.h"

namespace tessaline::testing {
namespace {

namespace fs = std::filesystem;

constexpr std::uint32_t kChunk = 1000 * 2048;

class ReadBackTest : public JobTest {
 protected:
  void SetImage(std::size_t size) {
    image_ = PatternBytes(size, 3);
    WriteFile(WorkPath("boot.iso"), std::string(image_.begin(), image_.end()));
    devices_->SetContent(image_);
  }

  // The failure as (chunk, code, message), or code 0 when it passes.
  MediaVerifyException Compare() {
    try {
      EXPECT_EQ(
          CompareDiscWithImage(*test_.platform,
                               StatusReporter(&StatusLog::Callback, &reports_),
                               Work(), 0, cancel_.get()),
          0);
      return MediaVerifyException(L"", 0, 0);
    } catch (const MediaVerifyException& e) {
      return e;
    }
  }

  std::vector<std::uint8_t> image_;
  StatusLog reports_;
};

TEST_F(ReadBackTest, ShortImageComparesInOnePassWithoutProgress) {
  SetImage(300 * 2048);
  auto disc = image_;
  disc.resize(kChunk, 0);  // the device gives a whole chunk
  devices_->SetContent(disc);
  EXPECT_EQ(Compare().code, 0);
  EXPECT_TRUE(reports_.Reports().empty());
  EXPECT_EQ(devices_->OpenDevices(), 0);
}

TEST_F(ReadBackTest, ImageOfWholeChunksMakesOneEmptyPassAtItsEnd) {
  SetImage(2 * kChunk);
  EXPECT_EQ(Compare().code, 0);
  EXPECT_EQ(reports_.Reports().size(), 2u);
  // Without the device's geometry, sectors are taken as 2048 bytes.
  SetImage(2 * kChunk + 2048);
  devices_->FailBytesPerSector(true);
  EXPECT_EQ(Compare().code, 0);
  EXPECT_EQ(reports_.Reports().size(), 4u);
}

TEST_F(ReadBackTest, ShortDeviceReadInsideTheImageIsVerifyError1) {
  SetImage(3 * kChunk + 4096);
  devices_->FailReadsFrom(kChunk);
  auto failure = Compare();
  EXPECT_EQ(failure.chunk, 2);
  EXPECT_EQ(failure.code, static_cast<std::int32_t>(kChunk));
  EXPECT_EQ(failure.message,
            L" - verify error(1). During disc verification [2048000]-[1f4000]");
  EXPECT_EQ(devices_->OpenDevices(), 0);
}

TEST_F(ReadBackTest, DifferingByteInChunkThreeIsVerifyError2) {
  SetImage(4 * kChunk);
  auto disc = image_;
  disc[2 * kChunk + 5] ^= 0x01;
  devices_->SetContent(disc);
  auto failure = Compare();
  EXPECT_EQ(failure.chunk, 3);
  EXPECT_NE(failure.code, 0);
  EXPECT_EQ(failure.message.rfind(
                L" - verify error(2). During disc verification [4096000]-[", 0),
            0u);
}

TEST_F(ReadBackTest, ShortReReadOfTheLastChunkIsAFailure) {
  SetImage(kChunk + 8192);
  auto disc = image_;
  disc.resize(kChunk + 4096);  // the disc lacks the image's last sectors
  devices_->SetContent(disc);
  auto failure = Compare();
  EXPECT_EQ(failure.chunk, 2);
  EXPECT_EQ(failure.code, 8192);
}

TEST_F(ReadBackTest, OpeningFailuresHaveTheirCodes) {
  SetImage(4096);
  const std::wstring empty_work;
  EXPECT_THROW(
      {
        try {
          CompareDiscWithImage(*test_.platform, StatusReporter(), empty_work, 0,
                               nullptr);
        } catch (const MediaVerifyException& e) {
          EXPECT_EQ(e.code, 1);
          throw;
        }
      },
      MediaVerifyException);

  devices_->RefuseOpen(true);
  auto failure = Compare();
  EXPECT_EQ(failure.code, 6);
  EXPECT_EQ(failure.message, devices_->DevicePath(temp_.Wide("disc")) +
                                 L" - open failed. During disc verification");
  devices_->RefuseOpen(false);

  fs::remove(WorkPath("boot.iso"));
  failure = Compare();
  EXPECT_EQ(failure.code, 4);
  EXPECT_EQ(failure.message,
            Work("boot.iso") + L" - open failed. During disc verification");

  test_.disc->recorder(0).volume_paths.clear();
  EXPECT_EQ(Compare().code, 2);
}

TEST_F(ReadBackTest, CancelEndsTheComparisonAfterTheCurrentChunk) {
  SetImage(5 * kChunk);
  cancel_->store(1);
  EXPECT_EQ(Compare().code, 0);
  EXPECT_TRUE(reports_.Reports().empty());
}

class UndeletableImage : public platform::FileSystemWrapper {
 public:
  using FileSystemWrapper::FileSystemWrapper;
  bool DeleteFile(const std::wstring&) override { return false; }
  bool DeleteAtRestart(const std::wstring& path) override {
    scheduled.push_back(path);
    return true;
  }
  std::vector<std::wstring> scheduled;
};

TEST_F(ReadBackTest, UndeletableImageIsDeletedAtTheNextStart) {
  SetImage(2048);
  auto files = std::make_shared<UndeletableImage>(test_.platform->files);
  test_.platform->files = files;
  EXPECT_EQ(RemoveBootImage(*test_.platform, Work()), 0);
  EXPECT_THAT(files->scheduled, ::testing::ElementsAre(Work("boot.iso")));
  EXPECT_EQ(RemoveBootImage(*test_.platform, L""), 1);
}

}  // namespace
}  // namespace tessaline::testing
