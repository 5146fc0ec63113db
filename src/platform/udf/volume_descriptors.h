// The volume structure of a UDF 2.01 image for read-only media: volume
// recognition sequence, anchors, the main and reserve volume descriptor
// sequences, the closed logical volume integrity descriptor and the file
// set descriptor. Every writer fills whole 2048-byte sectors that the
// caller has zeroed.
//
// Fixed places, in sectors from the start of the image:
//   16..18  BEA01, NSR03, TEA01
//   32..37  main sequence: primary, implementation use, partition, logical
//           volume, unallocated space, terminating descriptor
//   48..53  reserve sequence, the same descriptors
//   64..65  integrity sequence: integrity descriptor, terminating descriptor
//   256     anchor; the partition starts at 257; the last sector of the
//           image holds the second anchor.
#ifndef TESSALINE_PLATFORM_UDF_VOLUME_DESCRIPTORS_H_
#define TESSALINE_PLATFORM_UDF_VOLUME_DESCRIPTORS_H_

#include <cstdint>
#include <string>

#include "platform/udf/descriptor_tag.h"

namespace tessaline::platform::udf {

inline constexpr std::uint32_t kRecognitionSector = 16;
inline constexpr std::uint32_t kMainSequenceSector = 32;
inline constexpr std::uint32_t kReserveSequenceSector = 48;
inline constexpr std::uint32_t kSequenceSectors = 16;
inline constexpr std::uint32_t kIntegritySector = 64;
inline constexpr std::uint32_t kAnchorSector = 256;
inline constexpr std::uint32_t kPartitionStart = 257;

// What the volume structure says about the volume as a whole.
struct VolumeInfo {
  std::u32string label;
  Timestamp recorded;
  // Sixteen hexadecimal digits that set this volume apart (UDF 2.2.2.5).
  std::string unique_prefix;
  std::uint32_t partition_length = 0;  // in blocks
  std::uint32_t files = 0;
  std::uint32_t directories = 0;  // the root directory included
  std::uint64_t next_unique_id = 16;
};

// Sectors 16 to 18; `sectors` points at sector 16.
void WriteRecognitionSequence(std::uint8_t* sectors);
// Six sectors of a volume descriptor sequence starting at `location`.
void WriteVolumeSequence(std::uint8_t* sectors, std::uint32_t location,
                         const VolumeInfo& volume);
// Two sectors of the integrity sequence at kIntegritySector.
void WriteIntegritySequence(std::uint8_t* sectors, const VolumeInfo& volume);
void WriteAnchor(std::uint8_t* sector, std::uint32_t location);
// Blocks 0 and 1 of the partition: the file set descriptor, whose root
// directory entry is at `root_block`, and its terminating descriptor.
void WriteFileSet(std::uint8_t* blocks, const VolumeInfo& volume,
                  std::uint32_t root_block);

}  // namespace tessaline::platform::udf

#endif  // TESSALINE_PLATFORM_UDF_VOLUME_DESCRIPTORS_H_
