#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/text.h"
#include "support/rig/drive_rig.h"

namespace tessaline::testing {
namespace {

namespace fs = std::filesystem;

class DiscSetTest : public DriveRig {
 protected:
  DiscSetTest() { MakeSource(); }
};

TEST_F(DiscSetTest, TwoDiscSetWithVerificationReadsBackWithOtherTools) {
  AddDrive("drive0", IMAPI_MEDIA_TYPE_DVDPLUSRW);
  Tessaline creator = SystemCreator(work_);
  ASSERT_EQ(creator.NumDiscs(), 2u);
  StatusLog disc1, disc2, again;
  EXPECT_EQ(MakeDisc(creator, 1, 1, &disc1).code, 10);
  EXPECT_TRUE(HoldsInOrder(disc1.Codes(), {1, 2, 3, 4, 5, 6, 8, 9, 15, 10}));
  Tessaline::EjectClose(0, false);
  Tessaline::EjectClose(0, true);
  EXPECT_EQ(MakeDisc(creator, 2, 1, &disc2).code, 10);
  EXPECT_TRUE(HoldsInOrder(disc2.Codes(), {1, 4, 5, 6, 8, 9, 15, 10}));
  EXPECT_THAT(disc2.Codes(), ::testing::Not(::testing::Contains(2)));
  // A written rewritable medium is erased before the next write.
  EXPECT_EQ(MakeDisc(creator, 2, 0, &again).code, 10);
  EXPECT_TRUE(HoldsInOrder(again.Codes(), {4, 7, 5, 6, 8, 15, 10}));
  Tessaline::EjectClose(0, false);

  // Disc 1: a bootable ISO whose boot record another tool can read.
  const auto torito = RunCommand(
      {"xorriso", "-indev", Ejected(1).string(), "-report_el_torito", "plain"});
  EXPECT_EQ(torito.status, 0) << torito.output;
  EXPECT_THAT(torito.output, ::testing::HasSubstr("El Torito boot img"));
  EXPECT_THAT(torito.output, ::testing::HasSubstr("none"));  // no emulation
  // Disc 2's content is read back by the disc content rows.
  EXPECT_TRUE(fs::exists(Ejected(2)));
  EXPECT_FALSE(fs::exists(work_ / "boot.iso"));
  EXPECT_FALSE(fs::exists(work_ / "Burn"));
}

TEST_F(DiscSetTest, SecondJobOnABusyWorkFolderOrRecorderTouchesNothing) {
  AddDrive("drive0", IMAPI_MEDIA_TYPE_DVDPLUSRW);
  const fs::path other_work = temp_.path() / "other";
  fs::create_directories(other_work);
  for (bool same_folder : {true, false}) {
    Tessaline first = SystemCreator(work_);
    Tessaline second = SystemCreator(same_folder ? work_ : other_work);
    StatusLog own, refused;
    own.SetHook([&](const StatusReport& report) {
      if (report.code == 8 && refused.Reports().empty()) {
        MakeDisc(second, 2, 0, &refused);
      }
    });
    EXPECT_EQ(MakeDisc(first, 2, 0, &own).code, 10);
    EXPECT_THAT(refused.Codes(), ::testing::ElementsAre(12));
    EXPECT_THAT(refused.FailureText(),
                ::testing::EndsWith(L" - in use by another disc job"));
    EXPECT_FALSE(fs::exists(other_work / "Burn"));
  }
}

}  // namespace
}  // namespace tessaline::testing
