#include "copy_compare/read_back.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "platform/platform_wrapper.h"
#include "platform/text.h"
#include "support/rig/drive_rig.h"

namespace tessaline::testing {
namespace {

namespace fs = std::filesystem;

constexpr std::uint32_t kChunk = 1000 * 2048;

class ReadBackTest : public DriveRig {
 protected:
  ReadBackTest() { AddDrive("drive0", IMAPI_MEDIA_TYPE_DVDPLUSR); }

  void Burn(std::uint64_t bytes) {
    const fs::path image = work_ / "boot.iso";
    WritePatternFile(image, bytes, 3);
    Record("drive0", 0);
    fs::copy_file(image, Disc(), fs::copy_options::overwrite_existing);
  }
  fs::path Disc() const { return drives_ / "drive0" / "medium.img"; }

  // The failure, or code 0 when it passes.
  MediaVerifyException Compare(const std::wstring& work,
                               StatusLog* progress = nullptr) {
    try {
      const StatusReporter reporter(&StatusLog::Callback,
                                    progress ? progress : &log_);
      // What it returns stands in the code.
      return MediaVerifyException(
          L"", 0,
          CompareDiscWithImage(*test_.platform, reporter, work, 0, &cancel_));
    } catch (const MediaVerifyException& e) {
      return e;
    }
  }

  CancelFlag cancel_{0};
};

void FlipByte(const fs::path& path, std::uint64_t offset) {
  std::string bytes = ReadFile(path);
  bytes[offset] ^= 0x01;
  WriteFile(path, bytes);
}

TEST_F(ReadBackTest, FailureNamesTheChunkAndPosition) {
  const std::string v2 = " - verify error(2). During disc verification ";
  const struct {
    const char* name;
    std::uint64_t image;
    std::function<void(const fs::path&)> disc;  // what the disc lacks
    std::int32_t chunk;                         // 0: the comparison passes
    std::int32_t code;                          // 0: any but 0
    std::string message;                        // the start of the message
    std::size_t progress;
  } rows[] = {
      // clang-format off
      {"short image, longer disc", 300 * 2048, [](const fs::path& disc) { fs::resize_file(disc, kChunk); }, 0, 0, "", 0},
      {"whole chunks", 2 * kChunk, nullptr, 0, 0, "", 2},
      {"one sector past whole chunks", 2 * kChunk + 2048, nullptr, 0, 0, "", 2},
      {"disc ends inside the image", 3 * kChunk + 4096, [](const fs::path& disc) { fs::resize_file(disc, kChunk); }, 2, kChunk, " - verify error(1). During disc verification [2048000]-[1f4000]", 1},
      {"disc lacks the image's last sectors", kChunk + 8192, [](const fs::path& disc) { fs::resize_file(disc, kChunk + 4096); }, 2, 8192, " - verify error(1). During disc verification [2048000]-[2000]", 1},
      {"first byte of chunk 3", 4 * kChunk, [](const fs::path& disc) { FlipByte(disc, 2 * kChunk); }, 3, 0, v2 + "[4096000]-[", 2},
      {"middle byte of chunk 3", 4 * kChunk, [](const fs::path& disc) { FlipByte(disc, 2 * kChunk + kChunk / 2); }, 3, 0, v2 + "[4096000]-[", 2},
      {"last byte of chunk 3", 4 * kChunk, [](const fs::path& disc) { FlipByte(disc, 3 * kChunk - 1); }, 3, 0, v2 + "[4096000]-[", 2},
      {"last byte of the short last chunk", 2 * kChunk + 4096, [](const fs::path& disc) { FlipByte(disc, 2 * kChunk + 4095); }, 3, 0, v2 + "[4096000]-[", 2},
      // clang-format on
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    StatusLog progress;
    Burn(row.image);
    if (row.disc) row.disc(Disc());
    const MediaVerifyException failure = Compare(temp_.Wide("work"), &progress);
    EXPECT_EQ(failure.chunk, row.chunk);
    if (row.chunk == 0 || row.code != 0) {
      EXPECT_EQ(failure.code, row.code);
    } else {
      EXPECT_NE(failure.code, 0);
    }
    EXPECT_EQ(platform::ToUtf8(failure.message).rfind(row.message, 0), 0u)
        << platform::ToUtf8(failure.message);
    EXPECT_EQ(progress.Reports().size(), row.progress);
  }
}

TEST_F(ReadBackTest, WhatCannotBeOpenedHasItsCode) {
  Burn(4096);
  EXPECT_EQ(Compare(L"").code, 1);
  const auto devices = test_.platform->devices;
  test_.platform->devices = std::make_shared<RefusingDevices>(devices);
  EXPECT_EQ(Compare(temp_.Wide("work")).code, 6);
  test_.platform->devices = devices;

  fs::remove(work_ / "boot.iso");
  EXPECT_EQ(Compare(temp_.Wide("work")).code, 4);
  disc_->Fail("IDiscRecorder2::GetVolumePathNames", platform::kE_FAIL);
  EXPECT_EQ(Compare(temp_.Wide("work")).code, 2);
}

TEST_F(ReadBackTest, CancelEndsTheComparisonAfterTheCurrentChunk) {
  Burn(5 * kChunk);
  FlipByte(Disc(), 3 * kChunk);
  cancel_.store(1);
  EXPECT_EQ(Compare(temp_.Wide("work")).code, 0);
  EXPECT_TRUE(log_.Reports().empty());
}

class UndeletableImage : public platform::FileSystemWrapper {
 public:
  using FileSystemWrapper::FileSystemWrapper;
  bool DeleteFile(const std::wstring&) override { return false; }
  bool DeleteAtRestart(const std::wstring& path) override {
    return (scheduled = path), true;
  }
  std::wstring scheduled;
};

TEST_F(ReadBackTest, UndeletableImageIsDeletedAtTheNextStart) {
  Burn(2048);
  auto files = std::make_shared<UndeletableImage>(test_.platform->files);
  test_.platform->files = files;
  EXPECT_EQ(RemoveBootImage(*test_.platform, temp_.Wide("work")), 0);
  EXPECT_EQ(files->scheduled, temp_.Wide("work/boot.iso"));
  EXPECT_EQ(RemoveBootImage(*test_.platform, L""), 1);
}

}  // namespace
}  // namespace tessaline::testing
