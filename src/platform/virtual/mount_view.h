// The file system on a medium image, read in place with readers that are
// not ours (libudfread for UDF, libcdio's libiso9660 for ISO 9660): what a
// drive's mount point shows, so that whoever reads the drive's volume reads
// what was written, and no second copy of the medium is kept.
#ifndef TESSALINE_PLATFORM_VIRTUAL_MOUNT_VIEW_H_
#define TESSALINE_PLATFORM_VIRTUAL_MOUNT_VIEW_H_

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace tessaline::platform::virtual_drive {

enum class FileSystemKind { kNone, kUdf, kIso9660 };

// The file system a medium image carries, judged from its volume
// recognition sequence: UDF where it has an NSR descriptor (a UDF bridge
// image counts as UDF, as Windows mounts it), else ISO 9660 where sector 16
// is a CD001 descriptor.
FileSystemKind DetectFileSystem(const std::filesystem::path& image);

struct ViewEntry {
  // UTF-8, as a listing shows it.
  std::string name;
  bool is_directory = false;
};

// One medium's file system. Paths are the UTF-8 names of the steps below
// the root, the root itself being the empty list. Errors are errno values,
// as a mounted disc gives them. Safe to use from several threads; an open
// file keeps the view alive.
class MountView {
 public:
  virtual ~MountView() = default;

  // The view of the image in `image`, which the view keeps open. An image
  // without a readable file system shows an empty root.
  static std::shared_ptr<MountView> Open(const std::filesystem::path& image);

  virtual FileSystemKind kind() const = 0;
  // False with ENOENT or ENOTDIR when there is no such entry.
  virtual bool Find(const std::vector<std::string>& path, bool* is_directory,
                    int* error) = 0;
  virtual bool List(const std::vector<std::string>& path,
                    std::vector<ViewEntry>* entries, int* error) = 0;
  // A file's bytes, read from the image as they are asked for.
  virtual std::unique_ptr<File> OpenFile(const std::vector<std::string>& path,
                                         int* error) = 0;
};

// Copies the files and folders of the image's file system into `mount`, an
// existing folder, for a reader that needs them as files. Entries that
// cannot be read or named are left out; an image without a readable file
// system leaves `mount` as it was. Returns the file system that was read.
FileSystemKind ExtractFileSystem(const std::filesystem::path& image,
                                 const std::filesystem::path& mount);

}  // namespace tessaline::platform::virtual_drive

#endif  // TESSALINE_PLATFORM_VIRTUAL_MOUNT_VIEW_H_
