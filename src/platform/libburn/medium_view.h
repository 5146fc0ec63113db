// Where a recorder's medium shows as files: the mount points the system
// gave its file systems or, when nothing mounted it, a view folder of the
// library's own, filled by the readers of the virtual drives' mount view.
#ifndef TESSALINE_PLATFORM_LIBBURN_MEDIUM_VIEW_H_
#define TESSALINE_PLATFORM_LIBBURN_MEDIUM_VIEW_H_

#include <string>
#include <vector>

namespace tessaline::platform::libburn {

// The mount points of the file systems on a block device, found in the
// mount table by device number, in table order.
std::vector<std::string> MountPointsOf(const std::string& device);

// Unmounts every file system of a block device, never lazily: a file system
// in use stays. True when none is left.
bool UnmountAll(const std::string& device);

// The view folder of `device` (a block device, or a pseudo-drive's file),
// holding the file system on its medium: read again only when the medium
// differs from the one read last. The folder is empty for a medium without
// a readable file system. Empty on failure.
std::string ShowMedium(const std::string& device);

// Makes the next ShowMedium read the medium again: it was written, erased
// or changed.
void ForgetMedium(const std::string& device);

// The device a view folder shows, or empty for any other folder.
std::string DeviceOfView(const std::string& folder);

}  // namespace tessaline::platform::libburn

#endif  // TESSALINE_PLATFORM_LIBBURN_MEDIUM_VIEW_H_
