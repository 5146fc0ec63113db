// The Linux kernel's own ISO 9660 and UDF drivers, the strictest readers at
// hand, mount the discs of a set.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>

#include "support/rig/drive_rig.h"

namespace tessaline::testing {
namespace {

using ::testing::HasSubstr;

TEST_F(DriveRig, KernelMountsBothDiscsAndListsTheLayoutsFiles) {
  const char* tool = std::getenv("TESSALINE_KERNEL_MOUNT_CHECK");
  if (tool == nullptr || access(tool, X_OK) != 0) {
    GTEST_SKIP() << "TESSALINE_KERNEL_MOUNT_CHECK does not name the kernel "
                    "mount check";
  }
  MakeSource();
  AddDrive("drive0", IMAPI_MEDIA_TYPE_DVDPLUSRW);
  Tessaline creator = SystemCreator(work_);
  ASSERT_EQ(MakeDisc(creator, 1, 0).code, 10);
  Tessaline::EjectClose(0, false);
  Tessaline::EjectClose(0, true);
  ASSERT_EQ(MakeDisc(creator, 2, 0).code, 10);

  const auto iso = RunCommand({tool, Ejected(1).string(), "iso9660"});
  EXPECT_THAT(iso.output, HasSubstr("MOUNT OK iso9660"));
  EXPECT_THAT(iso.output, HasSubstr("./sources/install.wim"));
  EXPECT_THAT(iso.output, HasSubstr("./RECOVERY1"));
  const auto udf =
      RunCommand({tool, (drives_ / "drive0" / "medium.img").string(), "udf"});
  EXPECT_THAT(udf.output, HasSubstr("MOUNT OK udf"));
  EXPECT_THAT(udf.output, HasSubstr("./data/large.bin"));
  EXPECT_THAT(udf.output, HasSubstr("./data/\xc3\xa9t\xc3\xa9 "
                                    "\xe6\x97\xa5\xe6\x9c\xac.txt"));
  EXPECT_THAT(udf.output, HasSubstr("./RECOVERY2"));
}

}  // namespace
}  // namespace tessaline::testing
