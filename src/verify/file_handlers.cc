#include "verify/file_handlers.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <unordered_map>
#include <vector>

#include "platform/text.h"

namespace tessaline {
namespace {

using platform::CreateFolderResult;
using platform::FileSystem;
using platform::FolderEntry;
using platform::JoinPath;

// Results other than 0; callers only tell success from failure, the values
// tell a debugger why.
enum Failure : std::int32_t {
  kListFailed = 1,
  kCreateFailed = 2,
  kCopyFailed = 3,
  kInsideSource = 4,
  kEntriesDiffer = 5,
  kKindDiffers = 6,
  kOpenFailed = 7,
  kSizeDiffers = 8,
  kReadFailed = 9,
  kContentDiffers = 10,
};

// Large reads keep a comparison of big files at the speed of the disk; the
// cancel flag is looked at between them.
constexpr std::int64_t kCompareBlock = 4 << 20;

bool IsFolder(FileSystem& files, const std::wstring& path) {
  return files.Exists(path) && files.IsDirectory(path);
}

void DeleteContents(FileSystem& files, const std::wstring& folder) {
  const wchar_t separator = files.Separator();
  // Without write permission on the folder its entries cannot go.
  files.SetNormalAttributes(folder);
  std::vector<FolderEntry> entries;
  files.ListFolder(folder, &entries);
  for (const FolderEntry& entry : entries) {
    const std::wstring path = JoinPath(folder, separator, entry.name);
    // Deleting a folder as a file fails, but removes a link that leads to a
    // folder: so the walk never descends through a link into a tree that is
    // not ours to delete.
    if (files.DeleteFile(path)) continue;
    if (entry.is_directory) {
      DeleteContents(files, path);
      if (!files.RemoveFolder(path)) {
        files.SetNormalAttributes(path);
        files.RemoveFolder(path);
      }
    } else {
      files.SetNormalAttributes(path);
      files.DeleteFile(path);
    }
  }
}

std::int32_t CopyTree(FileSystem& files, const std::wstring& source,
                      const std::wstring& destination,
                      const CancelFlag* cancel) {
  std::vector<FolderEntry> entries;
  if (!files.ListFolder(source, &entries)) return kListFailed;
  if (files.CreateFolder(destination) == CreateFolderResult::kFailed) {
    return kCreateFailed;
  }
  const wchar_t separator = files.Separator();
  for (const FolderEntry& entry : entries) {
    if (IsCancelled(cancel)) return 0;
    const std::wstring from = JoinPath(source, separator, entry.name);
    const std::wstring to = JoinPath(destination, separator, entry.name);
    if (entry.is_directory) {
      std::int32_t result = CopyTree(files, from, to, cancel);
      if (result != 0) return result;
      continue;
    }
    std::uint32_t error = files.CopyFileCancellable(from, to, cancel);
    // A read-only file left by an earlier copy is overwritten as well; the
    // test costs nothing on the usual road.
    if (error != 0 && files.Exists(to) && files.MakeWritable(to)) {
      error = files.CopyFileCancellable(from, to, cancel);
    }
    if (error != 0) return kCopyFailed;
  }
  return 0;
}

std::int32_t VerifyTree(const platform::Platform& platform,
                        const std::wstring& source,
                        const std::wstring& destination,
                        const CancelFlag* cancel) {
  FileSystem& files = *platform.files;
  std::vector<FolderEntry> source_entries;
  std::vector<FolderEntry> destination_entries;
  if (!files.ListFolder(source, &source_entries) ||
      !files.ListFolder(destination, &destination_entries)) {
    return kListFailed;
  }
  if (source_entries.size() != destination_entries.size()) {
    return kEntriesDiffer;
  }
  std::unordered_map<std::wstring, bool> on_destination;
  on_destination.reserve(destination_entries.size());
  for (const FolderEntry& entry : destination_entries) {
    on_destination.emplace(entry.name, entry.is_directory);
  }
  const wchar_t separator = files.Separator();
  for (const FolderEntry& entry : source_entries) {
    if (IsCancelled(cancel)) return 0;
    auto found = on_destination.find(entry.name);
    if (found == on_destination.end()) return kEntriesDiffer;
    if (found->second != entry.is_directory) return kKindDiffers;
    const std::wstring from = JoinPath(source, separator, entry.name);
    const std::wstring to = JoinPath(destination, separator, entry.name);
    std::int32_t result = entry.is_directory
                              ? VerifyTree(platform, from, to, cancel)
                              : CompareFile(platform, from, to, 0, cancel);
    if (result != 0) return result;
  }
  return 0;
}

// Reads exactly `size` bytes unless the file ends or fails first.
std::int64_t ReadFull(platform::File& file, char* buffer, std::int64_t size) {
  std::int64_t done = 0;
  while (done < size) {
    std::int64_t n = file.Read(buffer + done, size - done);
    if (n < 0) return -1;
    if (n == 0) break;
    done += n;
  }
  return done;
}

bool StartsWithFolder(const std::wstring& path, const std::wstring& folder,
                      wchar_t separator) {
  return path.size() > folder.size() &&
         path.compare(0, folder.size(), folder) == 0 &&
         path[folder.size()] == separator;
}

}  // namespace

void DeleteTree(const platform::Platform& platform, const std::wstring& folder,
                const std::wstring& /*options*/) {
  FileSystem& files = *platform.files;
  if (!files.Exists(folder)) return;
  // A file, or a link in place of the folder: only the name goes.
  if (files.DeleteFile(folder)) return;
  DeleteContents(files, folder);
  if (!files.RemoveFolder(folder)) {
    files.SetNormalAttributes(folder);
    files.RemoveFolder(folder);
  }
}

std::int32_t RecursiveFolderCopy(const platform::Platform& platform,
                                 const std::wstring& source,
                                 const std::wstring& destination,
                                 const CancelFlag* cancel) {
  if (IsCancelled(cancel)) return 0;
  FileSystem& files = *platform.files;
  if (StartsWithFolder(destination, source, files.Separator())) {
    return kInsideSource;
  }
  // The destination's parents may be missing when the entry is a relative
  // path with folder parts.
  const std::wstring::size_type last = destination.rfind(files.Separator());
  if (last != std::wstring::npos && last > 0) {
    const std::wstring parent = destination.substr(0, last);
    if (!files.Exists(parent) && !RecursiveFolderCreate(platform, parent)) {
      return kCreateFailed;
    }
  }
  return CopyTree(files, source, destination, cancel);
}

bool RecursiveFolderCreate(const platform::Platform& platform,
                           const std::wstring& folder) {
  FileSystem& files = *platform.files;
  switch (files.CreateFolderTree(folder)) {
    case CreateFolderResult::kCreated:
      return true;
    case CreateFolderResult::kAlreadyExists:
      return files.IsDirectory(folder);
    case CreateFolderResult::kFailed:
      break;
  }
  return false;
}

bool DirExist(const platform::Platform& platform, const std::wstring& folder) {
  return IsFolder(*platform.files, folder);
}

std::int32_t RecursiveFolderVerify(const platform::Platform& platform,
                                   const std::wstring& source,
                                   const std::wstring& destination,
                                   const CancelFlag* cancel) {
  if (IsCancelled(cancel)) return 0;
  return VerifyTree(platform, source, destination, cancel);
}

std::int32_t CompareFile(const platform::Platform& platform,
                         const std::wstring& source,
                         const std::wstring& destination,
                         std::int32_t /*options*/, const CancelFlag* cancel) {
  if (IsCancelled(cancel)) return 0;
  FileSystem& files = *platform.files;
  std::unique_ptr<platform::File> first = files.OpenRead(source, nullptr);
  std::unique_ptr<platform::File> second = files.OpenRead(destination, nullptr);
  if (!first || !second) return kOpenFailed;
  const std::int64_t size = first->Size();
  if (size < 0 || second->Size() < 0) return kReadFailed;
  if (size != second->Size()) return kSizeDiffers;

  const std::int64_t block =
      std::max<std::int64_t>(1, std::min<std::int64_t>(size, kCompareBlock));
  std::unique_ptr<char[]> one(new char[block]);
  std::unique_ptr<char[]> two(new char[block]);
  for (std::int64_t left = size; left > 0;) {
    if (IsCancelled(cancel)) return 0;
    const std::int64_t want = std::min(left, block);
    const std::int64_t got = ReadFull(*first, one.get(), want);
    if (got != want || ReadFull(*second, two.get(), want) != want) {
      return kReadFailed;
    }
    if (std::memcmp(one.get(), two.get(), static_cast<std::size_t>(want)) !=
        0) {
      return kContentDiffers;
    }
    left -= want;
  }
  return 0;
}

}  // namespace tessaline
