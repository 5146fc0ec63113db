// The descriptors of files and directories inside the partition: the file
// entry (ECMA-167 4/14.9), with short allocation descriptors for data
// recorded in one contiguous run, and the file identifier descriptor
// (4/14.4) that names an entry in its directory.
#ifndef TESSALINE_PLATFORM_UDF_FILE_DESCRIPTORS_H_
#define TESSALINE_PLATFORM_UDF_FILE_DESCRIPTORS_H_

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/udf/descriptor_tag.h"

namespace tessaline::platform::udf {

struct EntryInfo {
  bool directory = false;
  bool executable = false;
  std::uint64_t length = 0;       // bytes
  std::uint32_t first_block = 0;  // of the data, in the partition
  Timestamp modified;
  std::uint64_t unique_id = 0;
  std::uint16_t links = 1;
};

// Fills one zeroed block with the file entry at partition block
// `location`. The data is described by extents of at most 2^30 - 2048
// bytes; the caller keeps the length within kMaxFileBytes.
void WriteFileEntry(std::uint8_t* block, std::uint32_t location,
                    const EntryInfo& entry);

// Size of a file identifier descriptor whose name takes `name_size` CS0
// bytes: 38 fixed bytes and the name, padded to a multiple of 4.
inline std::size_t FileIdentifierSize(std::size_t name_size) {
  return (38 + name_size + 3) & ~std::size_t{3};
}

enum class Identifies { kFile, kDirectory, kParent };

// Writes a file identifier descriptor at `out`, which starts in partition
// block `location`, and returns its size. The parent entry has an empty
// name.
std::size_t WriteFileIdentifier(std::uint8_t* out, std::uint32_t location,
                                Identifies kind, const std::u32string& name,
                                std::uint32_t entry_block,
                                std::uint64_t unique_id);

}  // namespace tessaline::platform::udf

#endif  // TESSALINE_PLATFORM_UDF_FILE_DESCRIPTORS_H_
