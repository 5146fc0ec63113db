#include "platform/udf/volume_descriptors.h"

#include <cstring>

#include "platform/udf/cs0.h"

namespace tessaline::platform::udf {
namespace {

std::u32string Ascii(const std::string& text) {
  return std::u32string(text.begin(), text.end());
}

void PutExtent(std::uint8_t* field, std::uint32_t length,
               std::uint32_t location) {
  Put32(field, length);
  Put32(field + 4, location);
}

void WritePrimary(std::uint8_t* d, std::uint32_t location,
                  const VolumeInfo& volume) {
  Put32(d + 16, 0);  // volume descriptor sequence number
  Put32(d + 20, 0);  // primary volume descriptor number
  PutDstring(d + 24, 32, volume.label);
  Put16(d + 56, 1);  // volume sequence number
  Put16(d + 58, 1);  // maximum volume sequence number
  Put16(d + 60, 2);  // interchange level: a single volume
  Put16(d + 62, 3);
  Put32(d + 64, 1);  // character set list: CS0
  Put32(d + 68, 1);
  PutDstring(d + 72, 128, Ascii(volume.unique_prefix));
  PutCharspec(d + 200);
  PutCharspec(d + 264);
  PutImplementationId(d + 344);  // application identifier
  PutTimestamp(d + 376, volume.recorded);
  PutImplementationId(d + 388);
  FinishTag(d, kTagPrimaryVolume, location, 512);
}

void WriteImplementationUse(std::uint8_t* d, std::uint32_t location,
                            const VolumeInfo& volume) {
  Put32(d + 16, 1);
  PutUdfId(d + 20, "*UDF LV Info");
  PutCharspec(d + 52);
  PutDstring(d + 116, 128, volume.label);
  PutImplementationId(d + 352);
  FinishTag(d, kTagImplementationUse, location, 512);
}

void WritePartition(std::uint8_t* d, std::uint32_t location,
                    const VolumeInfo& volume) {
  Put32(d + 16, 2);
  Put16(d + 20, 1);  // allocated
  Put16(d + 22, 0);  // partition number
  PutRegid(d + 24, "+NSR03", {0, 0, 0, 0, 0, 0, 0, 0});
  // The partition header (contents use) stays zero: read-only media carry
  // no space bitmaps.
  Put32(d + 184, 1);  // access type: read-only
  Put32(d + 188, kPartitionStart);
  Put32(d + 192, volume.partition_length);
  PutImplementationId(d + 196);
  FinishTag(d, kTagPartition, location, 512);
}

void WriteLogicalVolume(std::uint8_t* d, std::uint32_t location,
                        const VolumeInfo& volume) {
  Put32(d + 16, 3);
  PutCharspec(d + 20);
  PutDstring(d + 84, 128, volume.label);
  Put32(d + 212, kSectorSize);
  PutDomainId(d + 216);
  PutLongAd(d + 248, kSectorSize, 0, 0);  // the file set descriptor
  Put32(d + 264, 6);                      // map table length
  Put32(d + 268, 1);                      // one partition map
  PutImplementationId(d + 272);
  PutExtent(d + 432, 2 * kSectorSize, kIntegritySector);
  d[440] = 1;  // type 1 partition map
  d[441] = 6;
  Put16(d + 442, 1);  // volume sequence number
  Put16(d + 444, 0);  // partition number
  FinishTag(d, kTagLogicalVolume, location, 446);
}

void WriteUnallocatedSpace(std::uint8_t* d, std::uint32_t location) {
  Put32(d + 16, 4);
  Put32(d + 20, 0);  // no free extents
  FinishTag(d, kTagUnallocatedSpace, location, 24);
}

void WriteTerminating(std::uint8_t* d, std::uint32_t location) {
  FinishTag(d, kTagTerminating, location, 512);
}

}  // namespace

void WriteRecognitionSequence(std::uint8_t* sectors) {
  static constexpr const char* kIdentifiers[] = {"BEA01", "NSR03", "TEA01"};
  for (int i = 0; i < 3; ++i) {
    std::uint8_t* d = sectors + i * kSectorSize;
    d[0] = 0;  // structure type
    std::memcpy(d + 1, kIdentifiers[i], 5);
    d[6] = 1;  // structure version
  }
}

void WriteVolumeSequence(std::uint8_t* sectors, std::uint32_t location,
                         const VolumeInfo& volume) {
  WritePrimary(sectors, location, volume);
  WriteImplementationUse(sectors + kSectorSize, location + 1, volume);
  WritePartition(sectors + 2 * kSectorSize, location + 2, volume);
  WriteLogicalVolume(sectors + 3 * kSectorSize, location + 3, volume);
  WriteUnallocatedSpace(sectors + 4 * kSectorSize, location + 4);
  WriteTerminating(sectors + 5 * kSectorSize, location + 5);
}

void WriteIntegritySequence(std::uint8_t* sectors, const VolumeInfo& volume) {
  std::uint8_t* d = sectors;
  PutTimestamp(d + 16, volume.recorded);
  Put32(d + 28, 1);  // integrity type: close
  // Logical volume header descriptor: the next unique id.
  Put64(d + 40, volume.next_unique_id);
  Put32(d + 72, 1);                        // partitions
  Put32(d + 76, 46);                       // length of implementation use
  Put32(d + 80, 0);                        // free space table: nothing free
  Put32(d + 84, volume.partition_length);  // size table
  PutImplementationId(d + 88);
  Put32(d + 120, volume.files);
  Put32(d + 124, volume.directories);
  Put16(d + 128, kUdfRevision);  // minimum read revision
  Put16(d + 130, kUdfRevision);  // minimum write revision
  Put16(d + 132, kUdfRevision);  // maximum write revision
  FinishTag(d, kTagIntegrity, kIntegritySector, 134);
  WriteTerminating(sectors + kSectorSize, kIntegritySector + 1);
}

void WriteAnchor(std::uint8_t* sector, std::uint32_t location) {
  PutExtent(sector + 16, kSequenceSectors * kSectorSize, kMainSequenceSector);
  PutExtent(sector + 24, kSequenceSectors * kSectorSize,
            kReserveSequenceSector);
  FinishTag(sector, kTagAnchor, location, 512);
}

void WriteFileSet(std::uint8_t* blocks, const VolumeInfo& volume,
                  std::uint32_t root_block) {
  std::uint8_t* d = blocks;
  PutTimestamp(d + 16, volume.recorded);
  Put16(d + 28, 3);  // interchange level
  Put16(d + 30, 3);
  Put32(d + 32, 1);  // character set list: CS0
  Put32(d + 36, 1);
  Put32(d + 40, 0);  // file set number
  Put32(d + 44, 0);  // file set descriptor number
  PutCharspec(d + 48);
  PutDstring(d + 112, 128, volume.label);
  PutCharspec(d + 240);
  PutDstring(d + 304, 32, volume.label);
  PutLongAd(d + 400, kSectorSize, root_block, 0);
  PutDomainId(d + 416);
  FinishTag(d, kTagFileSet, 0, 512);
  WriteTerminating(blocks + kSectorSize, 1);
}

}  // namespace tessaline::platform::udf
