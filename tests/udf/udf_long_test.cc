// A file larger than 4 GiB (sparse source, marks at the places where sizes
// overflow 32 bits or an extent ends) goes through an image and out of
// 7-Zip unchanged. Writes several GiB: run by hand (ctest -L long).
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "support/core/temp_folder.h"
#include "udf_test_support.h"

namespace tessaline::testing::udf {
namespace {

TEST(UdfLongTest, FileOverFourGibRoundTripsThroughSevenZip) {
  TempFolder temp;
  const fs::path source = temp.path() / "source";
  const fs::path big = source / "big.bin";
  const std::uint64_t size = (std::uint64_t{5} << 30) + 777;
  const std::uint64_t extent = (std::uint64_t{1} << 30) - 2048;
  WriteFile(big, "start of the file");
  fs::resize_file(big, size);
  {
    std::fstream out(big, std::ios::in | std::ios::out | std::ios::binary);
    for (std::uint64_t mark :
         {extent - 5, 4 * extent - 5, (std::uint64_t{1} << 32) - 5,
          (std::uint64_t{1} << 32) + 4093, size - 10}) {
      out.seekp(static_cast<std::streamoff>(mark));
      out.write("|marked|", 8);
    }
  }
  WriteFile(source / "after.txt", "a file whose data follows the big one");

  const fs::path image = temp.path() / "big.udf";
  const BuiltImage built = BuildImage(source, image);
  ASSERT_EQ(built.status, platform::kS_OK);
  EXPECT_GT(static_cast<std::uint64_t>(built.blocks) * 2048, size);

  const UdfReadback readback = ReadWithLibudfread(image, source);
  ASSERT_TRUE(readback.opened);
  EXPECT_TRUE(readback.mismatches.empty());

  const fs::path out = temp.path() / "out";
  int status = 0;
  const std::string log =
      RunCommand("7zz x -y -bd -o" + Quote(out) + " " + Quote(image), &status);
  ASSERT_EQ(status, 0) << log;
  const std::string diff =
      RunCommand("diff -r " + Quote(source) + " " + Quote(out), &status);
  EXPECT_EQ(status, 0) << diff;
}

}  // namespace
}  // namespace tessaline::testing::udf
