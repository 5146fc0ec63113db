// Erasing the medium, the media queries and the elapsed-time helpers.
#ifndef TESSALINE_BURN_ERASE_H_
#define TESSALINE_BURN_ERASE_H_

#include <cstdint>

#include "base/status.h"
#include "platform/disc.h"

namespace tessaline {

// Throws MediaWriterException and UserNeededException(3).
platform::HRESULT EraseRecorderMedia(const platform::Platform& platform,
                                     std::int32_t drive_index, bool full_erase,
                                     StatusCallback notify, void* context);

// Throws MediaWriterException.
IMAPI_MEDIA_PHYSICAL_TYPE ReadMediaType(const platform::Platform& platform,
                                        std::int32_t drive_index,
                                        std::int32_t* media_status);
// Throws MediaWriterException.
bool ReadMediaBlank(const platform::Platform& platform,
                    std::int32_t drive_index);

// Whole seconds between two system times (100-ns units since 1601).
std::uint32_t ElapsedSeconds(std::uint64_t start, std::uint64_t end);

struct ElapsedParts {
  std::uint16_t days = 0;
  std::uint16_t hours = 0;
  std::uint16_t minutes = 0;
  std::uint16_t seconds = 0;
};
ElapsedParts SplitElapsed(std::uint64_t start, std::uint64_t end);

}  // namespace tessaline

#endif  // TESSALINE_BURN_ERASE_H_
