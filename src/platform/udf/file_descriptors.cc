#include "platform/udf/file_descriptors.h"

#include <cstring>

#include "platform/udf/cs0.h"
#include "platform/udf/source_tree.h"

namespace tessaline::platform::udf {
namespace {

constexpr std::uint8_t kFileTypeDirectory = 4;
constexpr std::uint8_t kFileTypeFile = 5;

// ECMA-167 4/14.9.5: five bits (execute, write, read, attributes, delete)
// for others, group and owner. The image is read-only: read (and execute
// where it applies) for everyone.
constexpr std::uint32_t ForAll(std::uint32_t bits) {
  return bits | bits << 5 | bits << 10;
}
constexpr std::uint32_t kRead = 4;
constexpr std::uint32_t kExecute = 1;

}  // namespace

void WriteFileEntry(std::uint8_t* block, std::uint32_t location,
                    const EntryInfo& entry) {
  std::uint8_t* d = block;
  // ICB tag: strategy 4, one entry, short allocation descriptors.
  Put16(d + 20, 4);
  Put16(d + 24, 1);
  d[27] = entry.directory ? kFileTypeDirectory : kFileTypeFile;
  Put16(d + 34, 0);
  Put32(d + 36, 0xFFFFFFFF);  // user: not specified
  Put32(d + 40, 0xFFFFFFFF);  // group: not specified
  Put32(d + 44, entry.directory || entry.executable ? ForAll(kRead | kExecute)
                                                    : ForAll(kRead));
  Put16(d + 48, entry.links);
  Put64(d + 56, entry.length);
  Put64(d + 64, (entry.length + kSectorSize - 1) / kSectorSize);
  PutTimestamp(d + 72, entry.modified);  // access
  PutTimestamp(d + 84, entry.modified);  // modification
  PutTimestamp(d + 96, entry.modified);  // attributes
  Put32(d + 108, 1);                     // checkpoint
  PutImplementationId(d + 128);
  Put64(d + 160, entry.unique_id);

  std::uint32_t descriptors = 0;
  std::uint64_t left = entry.length;
  std::uint32_t block_number = entry.first_block;
  while (left > 0) {
    const std::uint32_t extent = left > kMaxExtentBytes
                                     ? kMaxExtentBytes
                                     : static_cast<std::uint32_t>(left);
    PutShortAd(d + kEntryHeaderSize + 8 * descriptors, extent, block_number);
    ++descriptors;
    left -= extent;
    block_number += kMaxExtentBytes / kSectorSize;
  }
  Put32(d + 168, 0);  // no extended attributes
  Put32(d + 172, 8 * descriptors);
  FinishTag(d, kTagFileEntry, location, kEntryHeaderSize + 8 * descriptors);
}

std::size_t WriteFileIdentifier(std::uint8_t* out, std::uint32_t location,
                                Identifies kind, const std::u32string& name,
                                std::uint32_t entry_block,
                                std::uint64_t unique_id) {
  const std::size_t name_size = kind == Identifies::kParent ? 0 : Cs0Size(name);
  const std::size_t size = FileIdentifierSize(name_size);
  std::memset(out, 0, size);
  Put16(out + 16, 1);  // file version number
  std::uint8_t characteristics = 0;
  if (kind != Identifies::kFile) characteristics |= 0x02;
  if (kind == Identifies::kParent) characteristics |= 0x08;
  out[18] = characteristics;
  out[19] = static_cast<std::uint8_t>(name_size);
  PutLongAd(out + 20, kSectorSize, entry_block,
            static_cast<std::uint32_t>(unique_id));
  Put16(out + 36, 0);  // no implementation use
  if (name_size > 0) EncodeCs0(name, out + 38);
  FinishTag(out, kTagFileIdentifier, location, size);
  return size;
}

}  // namespace tessaline::platform::udf
