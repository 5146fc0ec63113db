// A file larger than 4 GiB (sparse source, marks at the places where sizes
// overflow 32 bits or an extent ends) goes through an image and out of
// libudfread unchanged; ten thousand files in one folder read back. They
// write several GiB or take many seconds: run by hand (ctest -L long).
#include <gtest/gtest.h>

#include <string>

#include "support/core/temp_folder.h"
#include "udf_test_support.h"

namespace tessaline::testing::udf {
namespace {

TEST(UdfLongTest, FileOverFourGibRoundTrips) {
  TempFolder temp;
  const fs::path source = temp.path() / "source";
  const std::uint64_t size = (std::uint64_t{5} << 30) + 777;
  const std::uint64_t extent = (std::uint64_t{1} << 30) - 2048;
  WriteSparseFile(source / "big.bin", size,
                  {extent - 5, 4 * extent - 5, (std::uint64_t{1} << 32) - 5,
                   (std::uint64_t{1} << 32) + 4093, size - 10});
  WriteFile(source / "after.txt", "a file whose data follows the big one");

  const fs::path image = temp.path() / "big.udf";
  std::int32_t blocks = 0;
  ASSERT_EQ(BuildImage(source, image, L"TESTDISC", &blocks), platform::kS_OK);
  EXPECT_GT(static_cast<std::uint64_t>(blocks) * 2048, size);
  EXPECT_TRUE(ExtractWithLibudfread(image, temp.path() / "udfread"));
  EXPECT_EQ(TreeDiff(source, temp.path() / "udfread"), "");
}

TEST_F(UdfReadbackTest, TenThousandFilesAndASparseFileOverAnExtentBoundary) {
  // Names of 8 to 40 characters make the directory span many blocks, with
  // identifiers crossing block boundaries.
  for (int i = 0; i < 10000; ++i) {
    WriteFile(Source() / "many" /
                  ("file-" + std::to_string(i) + std::string(i % 33, 'n')),
              std::to_string(i));
  }
  // One extent holds 2^30 - 2048 bytes: this file needs two, marked on
  // either side of the boundary and at the very end.
  const std::uint64_t boundary = (std::uint64_t{1} << 30) - 2048;
  WriteSparseFile(Source() / "big.bin", boundary + 3 * 2048 + 123,
                  {boundary - 4, boundary + 3 * 2048 + 115});
  std::string name;
  for (int i = 0; i < 70; ++i) name += "名";
  BuildAndCheck(name, name.substr(0, 63 * 3), name.substr(0, 15 * 3));
}

}  // namespace
}  // namespace tessaline::testing::udf
