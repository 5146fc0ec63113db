// The mount view of a virtual drive: the file system on a medium image,
// read back with readers that are not ours (libudfread for UDF, libcdio's
// libiso9660 for ISO 9660) and laid out as files in a folder, so that
// whoever reads the drive's volume reads what was written.
#ifndef TESSALINE_PLATFORM_VIRTUAL_MOUNT_VIEW_H_
#define TESSALINE_PLATFORM_VIRTUAL_MOUNT_VIEW_H_

#include <filesystem>

namespace tessaline::platform::virtual_drive {

enum class FileSystemKind { kNone, kUdf, kIso9660 };

// The file system a medium image carries, judged from its volume
// recognition sequence: UDF where it has an NSR descriptor (a UDF bridge
// image counts as UDF, as Windows mounts it), else ISO 9660 where sector 16
// is a CD001 descriptor.
FileSystemKind DetectFileSystem(const std::filesystem::path& image);

// Copies the files and folders of the image's file system into `mount`, an
// existing folder, file data streamed through one buffer. Entries that
// cannot be read or named are left out; an image without a readable file
// system leaves `mount` as it was. Returns the file system that was read.
FileSystemKind ExtractFileSystem(const std::filesystem::path& image,
                                 const std::filesystem::path& mount);

}  // namespace tessaline::platform::virtual_drive

#endif  // TESSALINE_PLATFORM_VIRTUAL_MOUNT_VIEW_H_
