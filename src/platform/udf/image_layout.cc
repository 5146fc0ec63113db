#include "platform/udf/image_layout.h"

#include <cstdio>
#include <limits>

#include "platform/udf/cs0.h"
#include "platform/udf/file_descriptors.h"
#include "platform/udf/volume_descriptors.h"

namespace tessaline::platform::udf {
namespace {

// Sixteen hexadecimal digits from the recording time and the label, so
// that two images made at different times or with different labels differ.
std::string UniquePrefix(const std::u32string& label, Timestamp recorded) {
  std::uint32_t hash = 2166136261u ^ recorded.nanoseconds;
  for (char32_t c : label) hash = (hash ^ c) * 16777619u;
  char text[17];
  std::snprintf(text, sizeof(text), "%08X%08X",
                static_cast<unsigned>(recorded.seconds), hash);
  return text;
}

}  // namespace

HRESULT ImageLayout::Create(std::shared_ptr<const SourceTree> tree,
                            const std::u32string& label, Timestamp recorded,
                            std::int32_t free_blocks,
                            std::shared_ptr<const ImageLayout>* out) {
  std::shared_ptr<ImageLayout> layout(new ImageLayout());
  layout->tree_ = std::move(tree);
  layout->Place();
  const std::uint64_t total = kHeadSectors + layout->partition_blocks_ + 1;
  if (total > static_cast<std::uint64_t>(
                  std::numeric_limits<std::int32_t>::max()) ||
      (free_blocks > 0 && total > static_cast<std::uint64_t>(free_blocks))) {
    return kIMAPI_E_IMAGE_SIZE_LIMIT;
  }
  layout->total_sectors_ = static_cast<std::uint32_t>(total);
  layout->BuildFixedAreas(label, recorded);
  *out = std::move(layout);
  return kS_OK;
}

void ImageLayout::Place() {
  const SourceTree& tree = *tree_;
  const std::uint32_t count = tree.node_count();
  order_.reserve(count);
  order_.push_back(0);
  for (std::size_t i = 0; i < order_.size(); ++i) {
    const TreeNode& node = tree.node(order_[i]);
    if (!node.IsDirectory()) continue;
    for (std::uint32_t child : tree.directory(node.directory).children) {
      order_.push_back(child);
    }
  }
  position_.resize(count);
  for (std::uint32_t i = 0; i < count; ++i) position_[order_[i]] = i;

  const std::uint32_t directories = tree.directory_count() + 1;
  directory_bytes_.resize(directories);
  links_.resize(directories);
  for (std::uint32_t d = 0; d < directories; ++d) {
    std::uint64_t bytes = FileIdentifierSize(0);  // the parent entry
    std::uint32_t links = 1;
    for (std::uint32_t child : tree.directory(d).children) {
      const TreeNode& node = tree.node(child);
      bytes += FileIdentifierSize(Cs0Size(CodePointsOfUtf8(node.name)));
      if (node.IsDirectory()) ++links;
    }
    directory_bytes_[d] = bytes;
    links_[d] = static_cast<std::uint16_t>(links > 0xFFFF ? 0xFFFF : links);
  }

  // Directory data first, then file data, both in breadth-first order: the
  // stream emits them in that order.
  data_block_.resize(count);
  std::uint64_t block = kFirstEntryBlock + std::uint64_t{count};
  for (bool directories_pass : {true, false}) {
    for (std::uint32_t node : order_) {
      if (tree.node(node).IsDirectory() != directories_pass) continue;
      data_block_[node] = static_cast<std::uint32_t>(block);
      block += DataBlocks(node);
    }
  }
  partition_blocks_ = block;
}

void ImageLayout::BuildFixedAreas(const std::u32string& label,
                                  Timestamp recorded) {
  VolumeInfo volume;
  volume.label = label;
  volume.recorded = recorded;
  volume.unique_prefix = UniquePrefix(label, recorded);
  volume.partition_length =
      static_cast<std::uint32_t>(total_sectors_ - kPartitionStart - 1);
  volume.files = tree_->file_count();
  volume.directories = tree_->directory_count() + 1;
  volume.next_unique_id = UniqueId(order_.back()) + 1;
  if (volume.next_unique_id < 16) volume.next_unique_id = 16;

  head_.assign(std::size_t{kHeadSectors} * kSectorSize, 0);
  WriteRecognitionSequence(&head_[kRecognitionSector * kSectorSize]);
  WriteVolumeSequence(&head_[kMainSequenceSector * kSectorSize],
                      kMainSequenceSector, volume);
  WriteVolumeSequence(&head_[kReserveSequenceSector * kSectorSize],
                      kReserveSequenceSector, volume);
  WriteIntegritySequence(&head_[kIntegritySector * kSectorSize], volume);
  WriteAnchor(&head_[kAnchorSector * kSectorSize], kAnchorSector);

  file_set_.assign(2 * kSectorSize, 0);
  WriteFileSet(file_set_.data(), volume, kFirstEntryBlock);

  tail_.assign(kSectorSize, 0);
  WriteAnchor(tail_.data(), total_sectors_ - 1);
}

std::uint64_t ImageLayout::UniqueId(std::uint32_t node) const {
  // The root has id 0; ids 1 to 15 are reserved (UDF 2.01 3.2.1.1).
  const std::uint32_t position = position_[node];
  return position == 0 ? 0 : std::uint64_t{position} + 15;
}

std::uint64_t ImageLayout::DataBytes(std::uint32_t node) const {
  const TreeNode& item = tree_->node(node);
  return item.IsDirectory() ? directory_bytes_[item.directory] : item.size;
}

void ImageLayout::WriteEntry(std::uint32_t position,
                             std::uint8_t* block) const {
  const std::uint32_t node = order_[position];
  const TreeNode& item = tree_->node(node);
  EntryInfo entry;
  entry.directory = item.IsDirectory();
  entry.executable = item.executable;
  entry.length = DataBytes(node);
  entry.first_block = data_block_[node];
  entry.modified = item.modified;
  entry.unique_id = UniqueId(node);
  entry.links = item.IsDirectory() ? links_[item.directory] : 1;
  WriteFileEntry(block, kFirstEntryBlock + position, entry);
}

void ImageLayout::BuildDirectory(std::uint32_t node,
                                 std::vector<std::uint8_t>* out) const {
  const TreeNode& item = tree_->node(node);
  out->assign(std::size_t{DataBlocks(node)} * kSectorSize, 0);
  const std::uint32_t first = data_block_[node];
  std::size_t offset = 0;
  const auto location = [&] {
    return first + static_cast<std::uint32_t>(offset / kSectorSize);
  };
  offset +=
      WriteFileIdentifier(out->data(), location(), Identifies::kParent, {},
                          EntryBlock(item.parent), UniqueId(item.parent));
  for (std::uint32_t child : tree_->directory(item.directory).children) {
    const TreeNode& entry = tree_->node(child);
    offset += WriteFileIdentifier(
        out->data() + offset, location(),
        entry.IsDirectory() ? Identifies::kDirectory : Identifies::kFile,
        CodePointsOfUtf8(entry.name), EntryBlock(child), UniqueId(child));
  }
}

}  // namespace tessaline::platform::udf
