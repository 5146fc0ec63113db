// The virtual backend of the disc services and of the volume devices:
// recorders that are drive folders (drive_folder.h) below one folder.
#ifndef TESSALINE_PLATFORM_VIRTUAL_VIRTUAL_PLATFORM_H_
#define TESSALINE_PLATFORM_VIRTUAL_VIRTUAL_PLATFORM_H_

#include <memory>
#include <string>

#include "platform/disc.h"
#include "platform/platform.h"

namespace tessaline::platform {

// Disc services whose disc master lists the drives in `drives_dir` (UTF-8),
// by the sorted names of their folders, looked up anew at every count. An
// empty `drives_dir` lists no recorder. File-system images are UDF images
// of this project's builder; file streams are the system's. Every wait and
// every time a write or an erase reports comes from `clock`.
std::shared_ptr<DiscServices> MakeVirtualDiscServices(
    const std::string& drives_dir, std::shared_ptr<Clock> clock);

// Volume devices of the drives in `drives_dir`: a drive's mount folder
// names the device that is its medium file. An empty `drives_dir` opens
// nothing.
std::shared_ptr<Devices> MakeVirtualDevices(const std::string& drives_dir);

// `base` with the media of the drives in `drives_dir` at their mount
// points: a path below DIR/<drive>/mount is the file system on that
// drive's medium, read in place from its medium.img and read-only; others
// go to `base`. An empty `drives_dir` gives `base` itself.
std::shared_ptr<FileSystem> MakeVirtualFileSystem(
    std::shared_ptr<FileSystem> base, const std::string& drives_dir);

// A copy of `base` whose disc services, devices and drive mount points are
// the virtual drives in `drives_dir`, on the clock of `base`.
std::shared_ptr<Platform> MakeVirtualPlatform(std::shared_ptr<Platform> base,
                                              const std::string& drives_dir);

}  // namespace tessaline::platform

#endif  // TESSALINE_PLATFORM_VIRTUAL_VIRTUAL_PLATFORM_H_
