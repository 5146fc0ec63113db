// Checks of the creator's inputs that keep the library from writing or
// deleting outside the folders it owns.
#ifndef TESSALINE_CREATOR_INPUT_CHECKS_H_
#define TESSALINE_CREATOR_INPUT_CHECKS_H_

#include <string>

#include "platform/platform.h"

namespace tessaline {

// The media name becomes part of file and folder names (the disc marker,
// the staging folder), so it must stay one name: a path separator, "..",
// a drive colon, a NUL or any other control character throws
// CreateMediaException naming it.
void RefuseUnusableMediaName(const std::wstring& media_name);

// Every disc deletes and refills parts of the work folder, so a work folder
// that lies in the source folder, or holds it, would destroy the source.
// Both are compared as the system resolves them (links and ".." followed).
// Returns the failure text naming both folders, or nothing when they are
// apart or either cannot be resolved.
std::wstring WorkSourceOverlap(platform::FileSystem& files,
                               const std::wstring& work_folder,
                               const std::wstring& source_folder);

}  // namespace tessaline

#endif  // TESSALINE_CREATOR_INPUT_CHECKS_H_
