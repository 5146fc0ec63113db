// Every image is read back by readers that are not ours: libudfread lists
// the tree and reads every file, 7-Zip extracts it with its times, and both
// trees must equal the source; udfinfo checks the volume structure.
#include <gtest/gtest.h>

#include <string>

#include "udf_test_support.h"

namespace tessaline::testing::udf {
namespace {

TEST_F(UdfReadbackTest, EmptyFolderNamedBeyondTheBasicPlane) {
  // 16-bit characters: 63 fit the logical volume identifier, 15 the
  // primary one, and a pair of surrogates is never split.
  std::string clefs;
  for (int i = 0; i < 20; ++i) clefs += "𝄞";
  BuildAndCheck(clefs, clefs, clefs.substr(0, 7 * 4));
}

TEST_F(UdfReadbackTest, MixedTreeSixtyFourDeepWithATooLongName) {
  WriteMixedTree(Source());
  // 8-bit characters: the fields hold 128 and 32 bytes. A wide character
  // beyond the cut does not make them 16-bit.
  BuildAndCheck(std::string(200, 'L') + "日", std::string(126, 'L'),
                std::string(30, 'L'));
}

}  // namespace
}  // namespace tessaline::testing::udf
