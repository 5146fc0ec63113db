// A recovery disc set made through libburn on its pseudo-drives, which come
// after the machine's recorders in the list.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <tuple>
#include <vector>

#include "support/rig/drive_rig.h"
#include "udf/udf_test_support.h"

namespace tessaline::testing {
namespace {

namespace fs = std::filesystem;

class LibburnSetTest : public DriveRig {
 protected:
  void SetUp() override {
#if !TESSALINE_HAVE_LIBBURN
    GTEST_SKIP() << "built without libburn";
#endif
    unsetenv("TESSALINE_DRIVES");
    MakeSource();
    // The views of the pseudo-drives' media go into the test's folder.
    if (const char* tmp = std::getenv("TMPDIR")) saved_tmpdir_ = tmp;
    fs::create_directories(File("tmp"));
    setenv("TMPDIR", File("tmp").c_str(), 1);
  }
  void TearDown() override {
    unsetenv("TESSALINE_LIBBURN_DRIVES");
    saved_tmpdir_.empty() ? unsetenv("TMPDIR")
                          : setenv("TMPDIR", saved_tmpdir_.c_str(), 1);
  }

  std::string saved_tmpdir_;

  std::vector<std::int32_t> UseDrives(const std::vector<std::string>& drives) {
    std::string list;
    for (const std::string& drive : drives) {
      list += (list.empty() ? "stdio:" : ";stdio:") +
              (temp_.path() / drive).string();
    }
    setenv("TESSALINE_LIBBURN_DRIVES", list.c_str(), 1);
    std::vector<RecorderInfo> recorders;
    Tessaline::ListRecorders(recorders);
    std::vector<std::int32_t> indexes;
    if (recorders.size() < drives.size()) return indexes;
    for (std::size_t i = recorders.size() - drives.size(); i < recorders.size();
         ++i) {
      EXPECT_EQ(recorders[i].currentMediaType, IMAPI_MEDIA_TYPE_DISK);
      indexes.push_back(recorders[i].index);
    }
    return indexes;
  }

  fs::path File(const std::string& name) const { return temp_.path() / name; }
};

TEST_F(LibburnSetTest,
       VerifiedTwoDiscSetOnPseudoDrivesReadsBackWithOtherTools) {
  const auto drives = UseDrives({"disc1.img", "disc2.img"});
  ASSERT_EQ(drives.size(), 2u);
  EXPECT_TRUE(Tessaline::IsMediaBlank(drives[0]));

  Tessaline creator = SystemCreator(work_);
  StatusLog disc1, disc2, again;
  EXPECT_EQ(MakeDisc(creator, 1, 1, &disc1, drives[0]).code, 10);
  EXPECT_TRUE(HoldsInOrder(disc1.Codes(), {1, 4, 5, 6, 8, 9, 15, 10}));
  EXPECT_EQ(MakeDisc(creator, 2, 1, &disc2, drives[1]).code, 10);
  EXPECT_TRUE(HoldsInOrder(disc2.Codes(), {1, 4, 5, 6, 8, 9, 15, 10}));
  EXPECT_FALSE(Tessaline::IsMediaBlank(drives[0]));

  auto torito = RunCommand({"xorriso", "-indev", File("disc1.img").string(),
                            "-report_el_torito", "plain"});
  EXPECT_EQ(torito.status, 0) << torito.output;
  EXPECT_THAT(torito.output, ::testing::HasSubstr("El Torito boot img"));
  fs::path expected = temp_.path() / "expected2";
  fs::create_directories(expected);
  fs::copy(source_ / "data", expected / "data", fs::copy_options::recursive);
  WriteFile(expected / "RECOVERY2", "");
  // A reader that is not ours: libudfread, with the disc's label.
  const fs::path read = temp_.path() / "udfread2";
  EXPECT_EQ(udf::ExtractWithLibudfread(File("disc2.img"), read),
            std::optional<std::string>("RECOVERYDISC2"));
  EXPECT_EQ(TreeOf(read), TreeOf(expected));

  // A written pseudo-drive is emptied before it takes the next disc.
  MakeDisc(creator, 2, 0, &again, drives[1]);
  EXPECT_TRUE(HoldsInOrder(again.Codes(), {4, 7, 5, 6, 8, 10}));
}

TEST_F(LibburnSetTest, CancelDuringTheWriteStopsLibburn) {
  fs::create_directories(File("slow"));
  const auto drives = UseDrives({"slow/disc.img@speed=1m"});
  ASSERT_EQ(drives.size(), 1u);
  Tessaline creator = SystemCreator(work_);
  log_.SetHook([&](const StatusReport& report) {
    if (report.code == 8) creator.Cancel();
  });
  EXPECT_EQ(MakeDisc(creator, 2, 1, &log_, drives[0]).code, 11);
  EXPECT_THAT(log_.Codes(), ::testing::Not(::testing::Contains(9)));
  EXPECT_EQ(TreeOf(File("slow")).size(), 1u);
  EXPECT_LT(fs::file_size(File("slow/disc.img")), 3u * 1024 * 1024);
  EXPECT_FALSE(fs::exists(work_ / "Burn"));
}

// The data disc's image does not fit the free blocks; the boot image is
// refused by the write.
TEST_F(LibburnSetTest, MediumTooSmallFailsCleanly) {
  for (const auto& [disc, code, first] :
       {std::tuple{1, 13, std::intptr_t{2}}, {2, 12, 0}}) {
    SCOPED_TRACE(disc);
    const auto drives = UseDrives({"small.img@size=600k"});
    ASSERT_EQ(drives.size(), 1u);
    Tessaline creator = SystemCreator(work_);
    StatusLog log;
    const StatusReport final = MakeDisc(creator, disc, 1, &log, drives[0]);
    EXPECT_EQ(final, (StatusReport{code, first, 0}));
    EXPECT_THAT(log.Codes(), ::testing::Not(::testing::Contains(8)));
    EXPECT_FALSE(fs::exists(File("small.img")));
  }
}

}  // namespace
}  // namespace tessaline::testing
