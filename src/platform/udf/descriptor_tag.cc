#include "platform/udf/descriptor_tag.h"

#include <array>
#include <cstring>

namespace tessaline::platform::udf {
namespace {

constexpr std::array<std::uint16_t, 256> MakeCrcTable() {
  std::array<std::uint16_t, 256> table{};
  for (std::uint32_t i = 0; i < 256; ++i) {
    std::uint32_t crc = i << 8;
    for (int bit = 0; bit < 8; ++bit) {
      crc = (crc & 0x8000) ? (crc << 1) ^ 0x1021 : crc << 1;
    }
    table[i] = static_cast<std::uint16_t>(crc);
  }
  return table;
}

constexpr std::array<std::uint16_t, 256> kCrcTable = MakeCrcTable();

struct CivilTime {
  std::int64_t year;
  unsigned month, day, hour, minute, second;
};

// Gregorian calendar date of a count of days since 1970-01-01, counting in
// 400-year eras so that the arithmetic stays exact for any day.
CivilTime ToCivil(std::int64_t seconds) {
  std::int64_t days = seconds / 86400;
  std::int64_t rest = seconds % 86400;
  if (rest < 0) rest += 86400, --days;
  days += 719468;  // from 1970-01-01 to 0000-03-01
  const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const std::int64_t day_of_era = days - era * 146097;
  const std::int64_t year_of_era = (day_of_era - day_of_era / 1460 +
                                    day_of_era / 36524 - day_of_era / 146096) /
                                   365;
  const std::int64_t day_of_year =
      day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
  const std::int64_t month_index = (5 * day_of_year + 2) / 153;
  CivilTime t{};
  t.day = static_cast<unsigned>(day_of_year - (153 * month_index + 2) / 5 + 1);
  t.month = static_cast<unsigned>(month_index < 10 ? month_index + 3
                                                   : month_index - 9);
  t.year = year_of_era + era * 400 + (t.month <= 2 ? 1 : 0);
  t.hour = static_cast<unsigned>(rest / 3600);
  t.minute = static_cast<unsigned>(rest / 60 % 60);
  t.second = static_cast<unsigned>(rest % 60);
  return t;
}

}  // namespace

std::uint16_t Crc16(const std::uint8_t* data, std::size_t size) {
  std::uint16_t crc = 0;
  for (std::size_t i = 0; i < size; ++i) {
    crc = static_cast<std::uint16_t>((crc << 8) ^
                                     kCrcTable[((crc >> 8) ^ data[i]) & 0xFF]);
  }
  return crc;
}

void FinishTag(std::uint8_t* descriptor, std::uint16_t identifier,
               std::uint32_t location, std::size_t size) {
  const std::size_t crc_length = size - kTagSize;
  Put16(descriptor, identifier);
  Put16(descriptor + 2, kDescriptorVersion);
  descriptor[4] = 0;
  descriptor[5] = 0;
  Put16(descriptor + 6, 0);  // tag serial number: UDF ignores it
  Put16(descriptor + 8, Crc16(descriptor + kTagSize, crc_length));
  Put16(descriptor + 10, static_cast<std::uint16_t>(crc_length));
  Put32(descriptor + 12, location);
  std::uint8_t sum = 0;
  for (std::size_t i = 0; i < kTagSize; ++i) {
    if (i != 4) sum = static_cast<std::uint8_t>(sum + descriptor[i]);
  }
  descriptor[4] = sum;
}

void PutTimestamp(std::uint8_t* field, Timestamp time) {
  CivilTime t = ToCivil(time.seconds);
  if (t.year < 1) t = {1, 1, 1, 0, 0, 0};
  if (t.year > 9999) t = {9999, 12, 31, 23, 59, 59};
  // Type 1 (local time) with an offset of 0 minutes: UTC.
  Put16(field, 0x1000);
  Put16(field + 2, static_cast<std::uint16_t>(t.year));
  field[4] = static_cast<std::uint8_t>(t.month);
  field[5] = static_cast<std::uint8_t>(t.day);
  field[6] = static_cast<std::uint8_t>(t.hour);
  field[7] = static_cast<std::uint8_t>(t.minute);
  field[8] = static_cast<std::uint8_t>(t.second);
  const std::uint32_t micro = time.nanoseconds / 1000;
  field[9] = static_cast<std::uint8_t>(micro / 10000);
  field[10] = static_cast<std::uint8_t>(micro / 100 % 100);
  field[11] = static_cast<std::uint8_t>(micro % 100);
}

void PutRegid(std::uint8_t* field, std::string_view identifier,
              const std::uint8_t (&suffix)[8]) {
  std::memset(field, 0, 32);
  std::memcpy(field + 1, identifier.data(),
              identifier.size() < 23 ? identifier.size() : 23);
  std::memcpy(field + 24, suffix, 8);
}

void PutImplementationId(std::uint8_t* field) {
  // OS class 4 (UNIX), OS identifier 5 (Linux): UDF 2.01 6.3.
  PutRegid(field, "*tessaline", {4, 5, 0, 0, 0, 0, 0, 0});
}

void PutDomainId(std::uint8_t* field) {
  PutRegid(field, "*OSTA UDF Compliant",
           {kUdfRevision & 0xFF, kUdfRevision >> 8, 0, 0, 0, 0, 0, 0});
}

void PutUdfId(std::uint8_t* field, std::string_view identifier) {
  PutRegid(field, identifier,
           {kUdfRevision & 0xFF, kUdfRevision >> 8, 4, 5, 0, 0, 0, 0});
}

void PutCharspec(std::uint8_t* field) {
  static constexpr char kInfo[] = "OSTA Compressed Unicode";
  std::memset(field, 0, 64);
  field[0] = 0;  // CS0
  std::memcpy(field + 1, kInfo, sizeof(kInfo) - 1);
}

void PutShortAd(std::uint8_t* field, std::uint32_t length,
                std::uint32_t block) {
  Put32(field, length);  // type 0: recorded and allocated
  Put32(field + 4, block);
}

void PutLongAd(std::uint8_t* field, std::uint32_t length, std::uint32_t block,
               std::uint32_t unique_id) {
  std::memset(field, 0, 16);
  Put32(field, length);
  Put32(field + 4, block);
  Put16(field + 8, 0);  // partition reference number
  Put32(field + 12, unique_id);
}

}  // namespace tessaline::platform::udf
