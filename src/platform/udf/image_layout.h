// Where every descriptor and every byte of file data goes in the image,
// decided in full before the image is streamed. The layout keeps a few
// numbers per item and renders each entry or directory when the stream
// reaches it, so its memory grows with the number of items only.
//
// The partition holds, in this order: the file set descriptor and its
// terminator (blocks 0 and 1), one file entry per item in breadth-first
// order (the root first), the data of every directory, then the data of
// every file, each starting on a block of its own.
#ifndef TESSALINE_PLATFORM_UDF_IMAGE_LAYOUT_H_
#define TESSALINE_PLATFORM_UDF_IMAGE_LAYOUT_H_

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/disc.h"
#include "platform/udf/source_tree.h"

namespace tessaline::platform::udf {

inline constexpr std::uint32_t kFirstEntryBlock = 2;
inline constexpr std::uint32_t kHeadSectors = 257;  // up to the anchor

class ImageLayout {
 public:
  // Lays out `tree`. Fails with IMAPI_E_IMAGE_SIZE_LIMIT when the image
  // would need more than `free_blocks` sectors (0: no limit) or more than
  // a signed 32-bit count of sectors.
  static HRESULT Create(std::shared_ptr<const SourceTree> tree,
                        const std::u32string& label, Timestamp recorded,
                        std::int32_t free_blocks,
                        std::shared_ptr<const ImageLayout>* out);

  const SourceTree& tree() const { return *tree_; }
  std::uint32_t total_sectors() const { return total_sectors_; }
  std::uint32_t item_count() const {
    return static_cast<std::uint32_t>(order_.size());
  }
  // The item at a place in breadth-first order.
  std::uint32_t NodeAt(std::uint32_t position) const {
    return order_[position];
  }
  // Sectors 0 to 256: recognition, volume and integrity sequences, anchor.
  const std::vector<std::uint8_t>& head() const { return head_; }
  // Partition blocks 0 and 1.
  const std::vector<std::uint8_t>& file_set() const { return file_set_; }
  // The last sector: the second anchor.
  const std::vector<std::uint8_t>& tail() const { return tail_; }

  // Renders the file entry of the item at `position` into a zeroed block.
  void WriteEntry(std::uint32_t position, std::uint8_t* block) const;
  // The bytes of a directory's data, padded with zeros to whole blocks.
  void BuildDirectory(std::uint32_t node, std::vector<std::uint8_t>* out) const;
  // Bytes of data of an item (a directory's identifiers, a file's size).
  std::uint64_t DataBytes(std::uint32_t node) const;
  std::uint32_t DataBlocks(std::uint32_t node) const {
    return static_cast<std::uint32_t>((DataBytes(node) + kSectorSize - 1) /
                                      kSectorSize);
  }

 private:
  ImageLayout() = default;
  std::uint32_t EntryBlock(std::uint32_t node) const {
    return kFirstEntryBlock + position_[node];
  }
  std::uint64_t UniqueId(std::uint32_t node) const;
  void Place();
  void BuildFixedAreas(const std::u32string& label, Timestamp recorded);

  std::shared_ptr<const SourceTree> tree_;
  std::vector<std::uint32_t> order_;            // position -> node
  std::vector<std::uint32_t> position_;         // node -> position
  std::vector<std::uint32_t> data_block_;       // node -> first data block
  std::vector<std::uint64_t> directory_bytes_;  // directory -> bytes
  std::vector<std::uint16_t> links_;            // directory -> link count
  std::uint64_t partition_blocks_ = 0;
  std::uint32_t total_sectors_ = 0;
  std::vector<std::uint8_t> head_;
  std::vector<std::uint8_t> file_set_;
  std::vector<std::uint8_t> tail_;
};

}  // namespace tessaline::platform::udf

#endif  // TESSALINE_PLATFORM_UDF_IMAGE_LAYOUT_H_
