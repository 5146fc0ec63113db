// The Linux kernel's own ISO 9660 and UDF drivers read the discs of a set.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "support/rig/drive_rig.h"

namespace tessaline::testing {
namespace {

namespace fs = std::filesystem;

using KernelTest = DriveRig;

TEST_F(KernelTest, KernelMountsBothDiscsAndListsTheLayoutsFiles) {
  const char* tool = std::getenv("TESSALINE_KERNEL_MOUNT_CHECK");
  if (tool == nullptr || access(tool, X_OK) != 0) {
    GTEST_SKIP() << "TESSALINE_KERNEL_MOUNT_CHECK does not name the kernel "
                    "mount check; skipped";
  }
  MakeSource();
  AddDrive("drive0", IMAPI_MEDIA_TYPE_DVDPLUSRW);
  Tessaline creator = SystemCreator(work_);
  StatusLog disc2;
  ASSERT_EQ(MakeDisc(creator, 1, 0).code, 10);
  Tessaline::EjectClose(0, false);
  Tessaline::EjectClose(0, true);
  ASSERT_EQ(MakeDisc(creator, 2, 0, &disc2).code, 10);
  Tessaline::EjectClose(0, false);

  auto iso = RunCommand({tool, Ejected(1).string(), "iso9660"});
  EXPECT_THAT(iso.output, ::testing::HasSubstr("MOUNT OK iso9660"));
  EXPECT_THAT(iso.output, ::testing::HasSubstr("./sources/install.wim"));
  EXPECT_THAT(iso.output, ::testing::HasSubstr("./kiro/plugins.xml"));
  EXPECT_THAT(iso.output, ::testing::HasSubstr("./RECOVERY1"));

  auto udf = RunCommand({tool, Ejected(2).string(), "udf"});
  EXPECT_THAT(udf.output, ::testing::HasSubstr("MOUNT OK udf"));
  EXPECT_THAT(udf.output, ::testing::HasSubstr("./data/large.bin"));
  EXPECT_THAT(udf.output, ::testing::HasSubstr("./data/\xc3\xa9t\xc3\xa9 "
                                               "\xe6\x97\xa5\xe6\x9c\xac.txt"));
  EXPECT_THAT(udf.output, ::testing::HasSubstr("./RECOVERY2"));
}

}  // namespace
}  // namespace tessaline::testing
