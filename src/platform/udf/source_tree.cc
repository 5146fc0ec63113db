#include "platform/udf/source_tree.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <memory>

#include "platform/udf/cs0.h"

namespace tessaline::platform::udf {
namespace {

struct Entry {
  std::string name;
  struct stat info;
};

Timestamp ModifiedTime(const struct stat& info) {
  return Timestamp{static_cast<std::int64_t>(info.st_mtim.tv_sec),
                   static_cast<std::uint32_t>(info.st_mtim.tv_nsec)};
}

struct DirCloser {
  void operator()(DIR* dir) const { closedir(dir); }
};

bool NameFits(const std::string& name) {
  const std::size_t size = Cs0Size(CodePointsOfUtf8(name));
  return size > 0 && size <= kMaxNameBytes;
}

}  // namespace

SourceTree::SourceTree(Timestamp created) {
  TreeNode root;
  root.modified = created;
  root.directory = 0;
  nodes_.push_back(std::move(root));
  directories_.push_back(TreeDirectory{});
}

HRESULT SourceTree::AddTree(const std::string& source_folder,
                            bool include_base) {
  std::string folder = source_folder;
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  struct stat info;
  if (folder.empty() || stat(folder.c_str(), &info) != 0) {
    return kIMAPI_E_DIRECTORY_READ_FAILURE;
  }
  if (!S_ISDIR(info.st_mode)) return kIMAPI_E_NOT_DIR;

  // Everything below is undone on failure.
  const std::size_t node_mark = nodes_.size();
  const std::size_t directory_mark = directories_.size();
  const std::size_t source_mark = sources_.size();
  const std::size_t root_child_mark = directories_[0].children.size();
  const std::uint32_t file_mark = files_;
  const TreeNode root_before = nodes_[0];
  const std::uint64_t root_device = directories_[0].device;
  const std::uint64_t root_inode = directories_[0].inode;

  sources_.push_back(folder);
  Pending top{0, static_cast<std::uint32_t>(sources_.size() - 1)};
  HRESULT status = kS_OK;
  if (include_base) {
    TreeNode base;
    base.name = folder.substr(folder.find_last_of('/') + 1);
    base.modified = ModifiedTime(info);
    if (!NameFits(base.name)) status = kIMAPI_E_INVALID_PATH;
    const std::uint32_t index =
        AddNode(std::move(base), true, info.st_dev, info.st_ino);
    directories_[0].children.push_back(index);
    top.directory = nodes_[index].directory;
  } else {
    nodes_[0].modified = ModifiedTime(info);
    directories_[0].device = info.st_dev;
    directories_[0].inode = info.st_ino;
  }
  scan_top_ = top.directory;

  std::vector<Pending> queue{top};
  for (std::size_t i = 0; i < queue.size() && Succeeded(status); ++i) {
    status = ScanFolder(queue[i], &queue);
  }
  if (Succeeded(status) && root_child_mark > 0) {
    status = MergeRootChildren();
  }
  if (Failed(status)) {
    nodes_.resize(node_mark);
    directories_.resize(directory_mark);
    sources_.resize(source_mark);
    directories_[0].children.resize(root_child_mark);
    files_ = file_mark;
    nodes_[0] = root_before;
    directories_[0].device = root_device;
    directories_[0].inode = root_inode;
  }
  return status;
}

HRESULT SourceTree::ScanFolder(Pending folder, std::vector<Pending>* queue) {
  const std::string path = sources_[folder.source];
  std::unique_ptr<DIR, DirCloser> dir(opendir(path.c_str()));
  if (!dir) return kIMAPI_E_DIRECTORY_READ_FAILURE;
  const int fd = dirfd(dir.get());

  std::vector<Entry> entries;
  errno = 0;
  while (const dirent* item = readdir(dir.get())) {
    const std::string name = item->d_name;
    if (name == "." || name == "..") continue;
    Entry entry{name, {}};
    // Links are followed: the entry is what the link leads to.
    if (fstatat(fd, item->d_name, &entry.info, 0) != 0) {
      return errno == ELOOP ? kIMAPI_E_DIRECTORY_READ_FAILURE
                            : kIMAPI_E_DATA_STREAM_CREATE_FAILURE;
    }
    entries.push_back(std::move(entry));
    errno = 0;
  }
  if (errno != 0) return kIMAPI_E_DIRECTORY_READ_FAILURE;
  std::sort(entries.begin(), entries.end(),
            [](const Entry& a, const Entry& b) { return a.name < b.name; });

  const std::uint32_t parent = directories_[folder.directory].node;
  for (Entry& entry : entries) {
    const struct stat& info = entry.info;
    const bool is_directory = S_ISDIR(info.st_mode);
    if (S_ISREG(info.st_mode)) {
      if (static_cast<std::uint64_t>(info.st_size) > kMaxFileBytes) {
        return kIMAPI_E_DATA_TOO_BIG;
      }
      if (faccessat(fd, entry.name.c_str(), R_OK, 0) != 0) {
        return kIMAPI_E_DATA_STREAM_CREATE_FAILURE;
      }
    } else if (is_directory) {
      if (IsOnScanPath(folder.directory, info.st_dev, info.st_ino)) {
        return kIMAPI_E_DIRECTORY_READ_FAILURE;
      }
    } else {
      continue;
    }
    if (!NameFits(entry.name)) return kIMAPI_E_INVALID_PATH;

    TreeNode node;
    node.name = std::move(entry.name);
    node.size = is_directory ? 0 : static_cast<std::uint64_t>(info.st_size);
    node.modified = ModifiedTime(info);
    node.parent = parent;
    node.source = folder.source;
    node.executable = !is_directory && (info.st_mode & S_IXUSR) != 0;
    if (is_directory) {
      sources_.push_back(path + "/" + node.name);
    }
    const std::uint32_t index =
        AddNode(std::move(node), is_directory, info.st_dev, info.st_ino);
    directories_[folder.directory].children.push_back(index);
    if (is_directory) {
      queue->push_back(
          Pending{nodes_[index].directory,
                  static_cast<std::uint32_t>(sources_.size() - 1)});
    }
  }
  return kS_OK;
}

bool SourceTree::IsOnScanPath(std::uint32_t directory, std::uint64_t device,
                              std::uint64_t inode) const {
  for (std::uint32_t d = directory;;) {
    const TreeDirectory& record = directories_[d];
    if (record.device == device && record.inode == inode) return true;
    if (d == scan_top_ || record.node == 0) return false;
    d = nodes_[nodes_[record.node].parent].directory;
  }
}

std::uint32_t SourceTree::AddNode(TreeNode node, bool is_directory,
                                  std::uint64_t device, std::uint64_t inode) {
  const auto index = static_cast<std::uint32_t>(nodes_.size());
  if (is_directory) {
    node.directory = static_cast<std::uint32_t>(directories_.size());
    directories_.push_back(TreeDirectory{index, {}, device, inode});
  } else {
    ++files_;
  }
  nodes_.push_back(std::move(node));
  return index;
}

HRESULT SourceTree::MergeRootChildren() {
  // Sorted apart from the root's list, which a failure must leave as the
  // undo step expects it: old children first.
  std::vector<std::uint32_t> children = directories_[0].children;
  std::sort(children.begin(), children.end(),
            [this](std::uint32_t a, std::uint32_t b) {
              return nodes_[a].name < nodes_[b].name;
            });
  const auto same_name = [this](std::uint32_t a, std::uint32_t b) {
    return nodes_[a].name == nodes_[b].name;
  };
  if (std::adjacent_find(children.begin(), children.end(), same_name) !=
      children.end()) {
    return kIMAPI_E_DUP_NAME;
  }
  directories_[0].children = std::move(children);
  return kS_OK;
}

std::string SourceTree::SourcePath(const TreeNode& node) const {
  return sources_[node.source] + "/" + node.name;
}

}  // namespace tessaline::platform::udf
