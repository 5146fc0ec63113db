// What the virtual drives know about each kind of medium: its name, its
// capacity, how it records and which drives write it.
#ifndef TESSALINE_PLATFORM_VIRTUAL_MEDIA_CATALOG_H_
#define TESSALINE_PLATFORM_VIRTUAL_MEDIA_CATALOG_H_

#include <cstdint>
#include <string>
#include <vector>

#include "tessaline/media_types.h"

namespace tessaline::platform::virtual_drive {

enum class MediaFamily { kCd, kDvd, kBd };

enum class Recording {
  // CD-R, DVD±R, BD-R: written once, never erased.
  kWriteOnce,
  // CD-RW, DVD-RW: written in sessions; must be erased to be written again.
  kSequentialRewritable,
  // DVD+RW, DVD-RAM, BD-RE: overwritten in place; may also be erased.
  kOverwrite
};

struct MediaInfo {
  IMAPI_MEDIA_PHYSICAL_TYPE type;
  // IMAPI2's name without "IMAPI_MEDIA_TYPE_".
  const char* name;
  // As printed on the disc ("DVD+R DL").
  const char* label;
  MediaFamily family;
  Recording recording;
  // 2048-byte sectors of user data of a blank disc.
  std::int64_t sectors;
};

// Recordable media a virtual drive can hold; null for any other type
// (pressed media, disks, HD DVD and unknown values).
const MediaInfo* FindRecordableMedia(IMAPI_MEDIA_PHYSICAL_TYPE type);

inline bool IsRewritable(const MediaInfo& info) {
  return info.recording != Recording::kWriteOnce;
}

// The media a drive built for `drive_type` writes, in IMAPI2's order: a CD-R
// drive writes CD-R; a CD-RW drive CD-R and CD-RW; a DVD drive every CD and
// DVD format (and its own type); a BD drive all of those and BD-R and BD-RE.
std::vector<IMAPI_MEDIA_PHYSICAL_TYPE> WritableMedia(
    IMAPI_MEDIA_PHYSICAL_TYPE drive_type);

bool DriveWrites(IMAPI_MEDIA_PHYSICAL_TYPE drive_type,
                 IMAPI_MEDIA_PHYSICAL_TYPE medium_type);

}  // namespace tessaline::platform::virtual_drive

#endif  // TESSALINE_PLATFORM_VIRTUAL_MEDIA_CATALOG_H_
