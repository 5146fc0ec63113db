// The Linux kernel's own UDF driver mounts an image of mixed cases and
// reads every file back: the tool named by TESSALINE_KERNEL_MOUNT_CHECK
// boots a kernel under emulation and lists "md5 size path" for each file
// and "DIR path" for each folder. Without the tool the test is skipped.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <sstream>
#include <string>

#include "support/core/temp_folder.h"
#include "udf_test_support.h"

namespace tessaline::testing::udf {
namespace {

TEST(UdfKernelTest, KernelMountsAndReadsEveryFile) {
  const char* tool = std::getenv("TESSALINE_KERNEL_MOUNT_CHECK");
  if (tool == nullptr || access(tool, X_OK) != 0) {
    GTEST_SKIP() << "TESSALINE_KERNEL_MOUNT_CHECK does not name the kernel "
                    "mount check tool; the kernel's reading is not checked";
  }
  TempFolder temp;
  const fs::path source = temp.path() / "source";
  WriteMixedTree(source);
  for (int i = 0; i < 300; ++i) {
    WriteFile(source / "many" / ("entry-" + std::to_string(i) + ".txt"),
              std::to_string(i));
  }
  const fs::path image = temp.path() / "mixed.udf";
  ASSERT_EQ(BuildImage(source, image, std::wstring(200, L'V')),
            platform::kS_OK);

  int status = 0;
  const std::string output =
      RunCommand(std::string(tool) + " " + Quote(image) + " udf", &status);
  ASSERT_EQ(status, 0) << output;
  // Each line of the same listing made here.
  const std::string expected = RunCommand(
      "cd " + Quote(source) +
          " && echo 'MOUNT OK udf' && find . -type f | while read -r f; do "
          "echo \"$(md5sum \"$f\" | cut -d' ' -f1) $(stat -c %s \"$f\") $f\";"
          " done && find . -type d | sed 's/^/DIR /'",
      &status);
  ASSERT_EQ(status, 0) << expected;
  std::istringstream lines(expected);
  for (std::string line; std::getline(lines, line);) {
    EXPECT_NE(output.find(line + "\n"), std::string::npos) << line;
  }
}

}  // namespace
}  // namespace tessaline::testing::udf
