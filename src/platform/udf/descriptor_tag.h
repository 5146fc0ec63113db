// The building blocks every UDF descriptor shares: little-endian fields,
// the descriptor tag with its checksum and CRC, timestamps, entity
// identifiers and character set specifications (ECMA-167 parts 1, 3 and 4;
// OSTA UDF 2.01 section 2.1).
#ifndef TESSALINE_PLATFORM_UDF_DESCRIPTOR_TAG_H_
#define TESSALINE_PLATFORM_UDF_DESCRIPTOR_TAG_H_

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace tessaline::platform::udf {

inline constexpr std::uint32_t kSectorSize = 2048;
// UDF 2.01 records every descriptor with version 3 (ECMA-167 3rd edition).
inline constexpr std::uint16_t kDescriptorVersion = 3;
inline constexpr std::uint16_t kUdfRevision = 0x0201;
inline constexpr std::size_t kTagSize = 16;

enum TagIdentifier : std::uint16_t {
  kTagPrimaryVolume = 1,
  kTagAnchor = 2,
  kTagImplementationUse = 4,
  kTagPartition = 5,
  kTagLogicalVolume = 6,
  kTagUnallocatedSpace = 7,
  kTagTerminating = 8,
  kTagIntegrity = 9,
  kTagFileSet = 256,
  kTagFileIdentifier = 257,
  kTagFileEntry = 261,
};

inline void Put16(std::uint8_t* p, std::uint16_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
}
inline void Put32(std::uint8_t* p, std::uint32_t v) {
  Put16(p, static_cast<std::uint16_t>(v));
  Put16(p + 2, static_cast<std::uint16_t>(v >> 16));
}
inline void Put64(std::uint8_t* p, std::uint64_t v) {
  Put32(p, static_cast<std::uint32_t>(v));
  Put32(p + 4, static_cast<std::uint32_t>(v >> 32));
}

// CRC-ITU-T (polynomial 0x1021, initial value 0), as ECMA-167 7.2.6 asks.
std::uint16_t Crc16(const std::uint8_t* data, std::size_t size);

// Fills the tag at the start of `descriptor`, whose total size (tag
// included) is `size`: the CRC covers the bytes after the tag, the checksum
// the tag itself. Call it last, after every other field is in place.
void FinishTag(std::uint8_t* descriptor, std::uint16_t identifier,
               std::uint32_t location, std::size_t size);

// A point in time, UTC, as seconds and nanoseconds since 1970-01-01.
struct Timestamp {
  std::int64_t seconds = 0;
  std::uint32_t nanoseconds = 0;
};

// The 12-byte timestamp (ECMA-167 1/7.3), recorded as UTC. Years outside
// what the field holds are clamped to 1 and 9999.
void PutTimestamp(std::uint8_t* field, Timestamp time);

// The 32-byte entity identifier (regid): flags 0, the identifier, and the
// 8-byte suffix as given.
void PutRegid(std::uint8_t* field, std::string_view identifier,
              const std::uint8_t (&suffix)[8]);
// Our implementation identifier ("*tessaline", OS class UNIX, Linux).
void PutImplementationId(std::uint8_t* field);
// "*OSTA UDF Compliant" with the domain suffix of revision 2.01.
void PutDomainId(std::uint8_t* field);
// A UDF identifier ("*UDF LV Info" ...) with the UDF identifier suffix.
void PutUdfId(std::uint8_t* field, std::string_view identifier);

// The 64-byte charspec of CS0, "OSTA Compressed Unicode".
void PutCharspec(std::uint8_t* field);

// short_ad and long_ad (ECMA-167 4/14.14.1, 4/14.14.2). A long_ad carries
// the UDF unique id in its implementation use (UDF 2.01 2.3.10.1).
void PutShortAd(std::uint8_t* field, std::uint32_t length, std::uint32_t block);
void PutLongAd(std::uint8_t* field, std::uint32_t length, std::uint32_t block,
               std::uint32_t unique_id);

}  // namespace tessaline::platform::udf

#endif  // TESSALINE_PLATFORM_UDF_DESCRIPTOR_TAG_H_
