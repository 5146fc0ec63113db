// The kernel's CD-ROM interface on a drive's block device.
#ifndef TESSALINE_PLATFORM_LIBBURN_CDROM_H_
#define TESSALINE_PLATFORM_LIBBURN_CDROM_H_

#include <string>

namespace tessaline::platform::libburn {

// Media change notification as the kernel keeps it: whether it locks the
// door while the drive is in use and ejects when the last user closes it.
// Disabling clears both options and remembers which were set, for the
// process; enabling sets those again. False when the device refuses.
bool SetMediaChangeNotification(const std::string& device, bool enable);

// Whether this process locked the door of a device and has not unlocked
// it. libburn unlocks the door whenever it lets a drive go; a drive whose
// door the library locked is let go locked.
void NoteDoorLock(const std::string& device, bool locked);
bool DoorLocked(const std::string& device);

}  // namespace tessaline::platform::libburn

#endif  // TESSALINE_PLATFORM_LIBBURN_CDROM_H_
