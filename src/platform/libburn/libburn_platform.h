// The backend of the disc services and volume devices for the machine's
// own recorders on Linux: libburn talks MMC to the drives, the kernel's
// CD-ROM interface moves trays and locks doors, and the medium's file
// system is read with the same readers the virtual drives use when nothing
// mounted it.
#ifndef TESSALINE_PLATFORM_LIBBURN_LIBBURN_PLATFORM_H_
#define TESSALINE_PLATFORM_LIBBURN_LIBBURN_PLATFORM_H_

#include <memory>

#include "platform/disc.h"
#include "platform/platform.h"

namespace tessaline::platform::libburn {

// Disc services whose disc master lists the recorders libburn finds, by
// device path, followed by the pseudo-drives that TESSALINE_LIBBURN_DRIVES
// names (see drive_list.h). libburn's complaints of severity FAILURE and
// worse go to `console` as diagnostic lines.
std::shared_ptr<DiscServices> MakeDiscServices(
    std::shared_ptr<Console> console);

// Volume devices of those recorders: a drive's mount point (or its private
// view folder) names the block device or the pseudo-drive's file.
std::shared_ptr<Devices> MakeDevices();

}  // namespace tessaline::platform::libburn

#endif  // TESSALINE_PLATFORM_LIBBURN_LIBBURN_PLATFORM_H_
