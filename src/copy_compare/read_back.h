// Verifying the boot disc by reading it back through the drive's volume
// device and comparing it with its image, chunk by chunk.
#ifndef TESSALINE_COPY_COMPARE_READ_BACK_H_
#define TESSALINE_COPY_COMPARE_READ_BACK_H_

#include <cstdint>
#include <string>

#include "base/status.h"
#include "platform/platform.h"

namespace tessaline {

// Returns 0 after a full comparison or a cancel, 1 when closing a handle
// failed. Throws MediaVerifyException and what GetDriveLetter throws.
std::int32_t CompareDiscWithImage(const platform::Platform& platform,
                                  const StatusReporter& report,
                                  const std::wstring& work_folder,
                                  std::int32_t recorder_index,
                                  const CancelFlag* cancel);

// Deletes work_folder/boot.iso, or has it deleted at the next start.
// Returns 1 when the work folder is empty, else 0.
std::int32_t RemoveBootImage(const platform::Platform& platform,
                             const std::wstring& work_folder);

}  // namespace tessaline

#endif  // TESSALINE_COPY_COMPARE_READ_BACK_H_
