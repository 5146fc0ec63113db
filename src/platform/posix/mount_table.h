// The mount table and block-device facts behind the POSIX Volumes backend.
#ifndef TESSALINE_PLATFORM_POSIX_MOUNT_TABLE_H_
#define TESSALINE_PLATFORM_POSIX_MOUNT_TABLE_H_

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"

namespace tessaline::platform::posix {

struct MountEntry {
  std::string device;
  std::string mountPoint;
  std::string type;
};

// The entries of a table in the format of /proc/mounts, in table order,
// with the octal escapes of device and mount point (\040 for a blank, ...)
// decoded. Malformed lines are skipped.
std::vector<MountEntry> ParseMountTable(std::string_view text);

// What kind of drive a mounted file system is, as the system's drive types
// name them: kFixed for local disks, kRemovable, kCdrom, kRemote, kRamDisk,
// and kUnknown for pseudo and image file systems. `sysRoot` is where sysfs
// is mounted ("/sys"); a device it does not know counts as not removable.
DriveType ClassifyMount(const MountEntry& entry, const std::string& sysRoot);

// Volumes that read the mount table at `mountsPath` and sysfs below
// `sysRoot` anew for every question. MakeVolumes() uses "/proc/mounts" and
// "/sys".
std::shared_ptr<Volumes> MakeVolumes(const std::string& mountsPath,
                                     const std::string& sysRoot);

}  // namespace tessaline::platform::posix

#endif  // TESSALINE_PLATFORM_POSIX_MOUNT_TABLE_H_
