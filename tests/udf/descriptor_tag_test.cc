// The CRC every tag carries, and timestamps at the calendar's edges.
#include "platform/udf/descriptor_tag.h"

#include <gtest/gtest.h>

#include <vector>

namespace tessaline::platform::udf {
namespace {

TEST(DescriptorTagTest, CrcIsCrcItuT) {
  const char* check = "123456789";
  EXPECT_EQ(Crc16(reinterpret_cast<const std::uint8_t*>(check), 9), 0x31C3);
}

std::vector<int> Fields(Timestamp time) {
  std::uint8_t t[12];
  PutTimestamp(t, time);
  std::vector<int> fields = {t[0] | t[1] << 8, t[2] | t[3] << 8};
  fields.insert(fields.end(), t + 4, t + 12);
  return fields;
}

TEST(DescriptorTagTest, TimestampsAreUtcCalendarTimes) {
  // 2000-02-29 12:34:56.789012 UTC.
  EXPECT_EQ(Fields({951827696, 789012345}),
            (std::vector<int>{0x1000, 2000, 2, 29, 12, 34, 56, 78, 90, 12}));
  EXPECT_EQ(Fields({-1, 0}),
            (std::vector<int>{0x1000, 1969, 12, 31, 23, 59, 59, 0, 0, 0}));
  EXPECT_EQ(Fields({253402300800, 0}),  // year 10000 does not fit
            (std::vector<int>{0x1000, 9999, 12, 31, 23, 59, 59, 0, 0, 0}));
}

}  // namespace
}  // namespace tessaline::platform::udf
