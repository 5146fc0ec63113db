// The tree of files and folders an image will hold, read from source
// folders. It keeps what the image needs of each item (name, size,
// modification time, where its data comes from), never file data, so its
// memory grows with the number of items only.
#ifndef TESSALINE_PLATFORM_UDF_SOURCE_TREE_H_
#define TESSALINE_PLATFORM_UDF_SOURCE_TREE_H_

#include <cstdint>
#include <string>
#include <vector>

#include "platform/disc.h"
#include "platform/udf/descriptor_tag.h"

namespace tessaline::platform::udf {

inline constexpr std::uint32_t kNoDirectory = 0xFFFFFFFF;

struct TreeNode {
  std::string name;  // the source's name, UTF-8 as the file system has it
  std::uint64_t size = 0;
  Timestamp modified;
  std::uint32_t parent = 0;
  // Index of the source folder that holds this item.
  std::uint32_t source = 0;
  // Index of the directory record, for directories.
  std::uint32_t directory = kNoDirectory;
  bool executable = false;

  bool IsDirectory() const { return directory != kNoDirectory; }
};

struct TreeDirectory {
  std::uint32_t node = 0;
  std::vector<std::uint32_t> children;  // sorted by name
  // Identity of the source folder, to find loops made by links.
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
};

class SourceTree {
 public:
  // Node 0 is the root directory of the image; `created` is its time until
  // a folder's content is added to it.
  explicit SourceTree(Timestamp created);

  // Adds the content of `folder` (UTF-8 path) below the root, or the folder
  // itself with its content when `include_base` is set. Links are followed;
  // other special files (pipes, sockets, devices) are left out. Either
  // everything is added or, on failure, nothing:
  //   IMAPI_E_DIRECTORY_READ_FAILURE   a folder cannot be read, or links
  //                                    make a loop
  //   IMAPI_E_NOT_DIR                  `folder` is not a folder
  //   IMAPI_E_DATA_STREAM_CREATE_FAILURE a file cannot be read, or a link
  //                                    leads nowhere
  //   IMAPI_E_INVALID_PATH             a name longer than UDF allows
  //   IMAPI_E_DUP_NAME                 a name the root already holds
  //   IMAPI_E_DATA_TOO_BIG             a file too large for one entry
  HRESULT AddTree(const std::string& folder, bool include_base);

  const TreeNode& node(std::uint32_t index) const { return nodes_[index]; }
  const TreeDirectory& directory(std::uint32_t index) const {
    return directories_[index];
  }
  std::uint32_t node_count() const {
    return static_cast<std::uint32_t>(nodes_.size());
  }
  // Files, and directories other than the root.
  std::uint32_t file_count() const { return files_; }
  std::uint32_t directory_count() const {
    return static_cast<std::uint32_t>(directories_.size() - 1);
  }
  // The path of a file's source.
  std::string SourcePath(const TreeNode& node) const;

 private:
  struct Pending {
    std::uint32_t directory;
    std::uint32_t source;
  };
  HRESULT ScanFolder(Pending folder, std::vector<Pending>* queue);
  // Whether the folder (device, inode) is `directory` or one of its
  // parents up to where the current AddTree started: a link back there
  // would make the tree endless.
  bool IsOnScanPath(std::uint32_t directory, std::uint64_t device,
                    std::uint64_t inode) const;
  std::uint32_t AddNode(TreeNode node, bool is_directory, std::uint64_t device,
                        std::uint64_t inode);
  // Sorts the root's children after a second AddTree; fails on a name
  // that two trees both put there.
  HRESULT MergeRootChildren();

  std::vector<TreeNode> nodes_;
  std::vector<TreeDirectory> directories_;
  std::vector<std::string> sources_;
  std::uint32_t files_ = 0;
  std::uint32_t scan_top_ = 0;
};

// The largest file one entry describes: as many extents of 2^30 - 2048
// bytes as fit in the entry's block.
inline constexpr std::uint32_t kMaxExtentBytes = 0x3FFFF800;
inline constexpr std::uint32_t kEntryHeaderSize = 176;
inline constexpr std::uint32_t kMaxExtentsPerEntry =
    (kSectorSize - kEntryHeaderSize) / 8;
inline constexpr std::uint64_t kMaxFileBytes =
    std::uint64_t{kMaxExtentBytes} * kMaxExtentsPerEntry;

}  // namespace tessaline::platform::udf

#endif  // TESSALINE_PLATFORM_UDF_SOURCE_TREE_H_
