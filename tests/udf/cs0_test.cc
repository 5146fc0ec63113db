// Where a dstring is cut, and which compression the cut text gets. (Names
// and labels as a whole are checked by reading images back.)
#include "platform/udf/cs0.h"

#include <gtest/gtest.h>

#include <vector>

namespace tessaline::platform::udf {
namespace {

std::vector<std::uint8_t> Dstring(const std::u32string& text) {
  std::vector<std::uint8_t> field(32, 0xEE);
  PutDstring(field.data(), field.size(), text);
  return field;
}

TEST(Cs0Test, WideCharactersBeyondTheCutKeepEightBits) {
  const auto field = Dstring(std::u32string(40, U'x') + U"\u65e5");
  EXPECT_EQ(field[0], 8);
  EXPECT_EQ(field[30], 'x');
  EXPECT_EQ(field[31], 31);
}

TEST(Cs0Test, SurrogatePairsAreNeverSplit) {
  // 14 units, then a pair that would need bytes 29 to 32: left out.
  auto field = Dstring(std::u32string(14, U'\u65e5') + U"\U0001D11E");
  EXPECT_EQ(field[0], 16);
  EXPECT_EQ(field[31], 29);
  EXPECT_EQ(field[29], 0);
  // Seven whole pairs (D834 DD1E each) fit.
  field = Dstring(std::u32string(8, U'\U0001D11E'));
  EXPECT_EQ(field[31], 29);
  EXPECT_EQ(std::vector<std::uint8_t>(field.begin() + 25, field.begin() + 29),
            (std::vector<std::uint8_t>{0xD8, 0x34, 0xDD, 0x1E}));
}

TEST(Cs0Test, EmptyTextIsAllZeros) {
  EXPECT_EQ(Dstring(U""), std::vector<std::uint8_t>(32, 0));
  std::uint8_t out[4] = {0xEE};
  EXPECT_EQ(EncodeCs0(U"", out), 0u);
}

}  // namespace
}  // namespace tessaline::platform::udf
