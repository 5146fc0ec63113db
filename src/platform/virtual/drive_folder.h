// Virtual drives: a folder per drive that behaves, from the library's side,
// like a disc recorder with a medium in it.
//
// The drives of DIR are its sub-folders; a drive's index is its position
// among them sorted by name, runs of digits compared as numbers (drive2
// before drive10). A sub-folder without a readable drive.ini that names a
// recordable medium is still a drive, listed with vendor "UNREADABLE" and
// the reason as its product, with an empty tray and no volume.
//
// A drive folder DIR/<name>/ holds
//   drive.ini     the drive's description, section [drive]:
//                   vendor=, product=   what the recorder reports
//                   type=               the medium its tray is loaded with
//                                       (a name of ParseMediaTypeName)
//                   speed=              bytes per second a write is held to;
//                                       0 or absent: as fast as the disk
//                   sectors=            capacity of every medium in this
//                                       drive; 0 or absent: the medium's own
//                   settle=             seconds the drive needs to settle
//                                       after a dismount[,before a job's
//                                       final report], as a real recorder
//                                       does; 0 or absent: none
//   medium.img    the bytes of the loaded medium; absent with an empty tray
//   medium.ini    the state of the tray and its medium, section [medium]:
//                   type=, written=0|1, damaged=0|1 (a write broke off),
//                   mounted=0|1 (0 after a dismount, until the next use);
//                 section [tray]: locked=0|1 (medium removal prevented)
//   mount/        the drive's mount point, empty on disk: the platform's
//                 file system shows the medium's file system below it,
//                 read in place from medium.img; a tool outside the library
//                 reads medium.img itself (7zz x medium.img)
//   ejected/      written media taken out of the drive, disc-001.img, ...;
//                 one whose write broke off as disc-NNN.damaged.img
//   requests.log  one line per device request, lock and media change
//                 notification change, appended:
//                   IOCTL_STORAGE_MEDIA_REMOVAL prevent|allow
//                   IOCTL_CDROM_MEDIA_REMOVAL prevent|allow
//                   IOCTL_STORAGE_EJECT_MEDIA: <what happened>
//                   IOCTL_STORAGE_LOAD_MEDIA: <what happened>
//                   FSCTL_LOCK_VOLUME[: refused ...]
//                   FSCTL_DISMOUNT_VOLUME[: refused ...]
//                   FSCTL_UNLOCK_VOLUME[: refused ...]
//                   DisableMcn, EnableMcn
//                   EraseMedia full|quick   (an erase that was done)
// A medium.img put in by hand without medium.ini counts as a medium of the
// drive's type, written when it is not empty.
#ifndef TESSALINE_PLATFORM_VIRTUAL_DRIVE_FOLDER_H_
#define TESSALINE_PLATFORM_VIRTUAL_DRIVE_FOLDER_H_

#include <string>

#include "platform/media_type_names.h"
#include "tessaline/media_types.h"

namespace tessaline::platform {

// Creates DIR/<name>/ (and DIR when missing) as a drive whose tray holds a
// blank medium of `type`, closed. Fails, with a reason in *error, when the
// type is no recordable medium, when DIR/<name>/ already holds a drive, or
// when a file cannot be made. Paths are UTF-8.
bool CreateDriveFolder(const std::string& dir, const std::string& name,
                       IMAPI_MEDIA_PHYSICAL_TYPE type, std::string* error);

}  // namespace tessaline::platform

#endif  // TESSALINE_PLATFORM_VIRTUAL_DRIVE_FOLDER_H_
