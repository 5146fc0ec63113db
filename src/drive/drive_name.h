// Which drive names the tray operations accept.
#ifndef TESSALINE_DRIVE_DRIVE_NAME_H_
#define TESSALINE_DRIVE_DRIVE_NAME_H_

#include <string>

#include "platform/platform.h"

namespace tessaline {

// A drive letter A to Z (either case) where drives are letters (the
// separator is '\'); an absolute path where drives are mount points.
bool IsDriveName(const platform::Platform& platform, const std::wstring& drive);

}  // namespace tessaline

#endif  // TESSALINE_DRIVE_DRIVE_NAME_H_
