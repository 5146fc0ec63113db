// The drive of a recorder: what its device path and every path on its disc
// are formed from.
#ifndef TESSALINE_DRIVE_DRIVE_LETTER_H_
#define TESSALINE_DRIVE_DRIVE_LETTER_H_

#include <cstdint>
#include <string>

#include "platform/platform.h"

namespace tessaline {

// The drive of a recorder, as the string from which the device path
// (Devices::DevicePath) and every path on the disc are formed, joined with
// the platform's separator:
// - with the separator '\\' (Windows): the first character of the first
//   volume path, in the case the system reports it, and ":" ("E:"); the
//   path must begin with a letter;
// - with the separator '/' (POSIX): the first volume path without its
//   trailing '/' ("/media/cdrom0"), the root staying "/"; the path must be
//   absolute.
// Returns 1 and sets *drive, or 1000 (mount points unreadable), 1001 (none)
// or 1002 (the first volume path does not fit the rule above), leaving
// *drive as it was. Throws what OpenRecorder throws.
std::int32_t GetDriveLetter(const platform::Platform& platform,
                            std::int32_t index, std::wstring* drive);

}  // namespace tessaline

#endif  // TESSALINE_DRIVE_DRIVE_LETTER_H_
