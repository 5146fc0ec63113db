// Runs the external mastering tool as a hidden child process.
#ifndef TESSALINE_MASTERING_IMAGE_TOOL_H_
#define TESSALINE_MASTERING_IMAGE_TOOL_H_

#include <cstdint>
#include <string>

#include "base/status.h"
#include "platform/platform.h"

namespace tessaline {

// Runs `tool_path` with `arguments`, reporting code 3 with the elapsed
// seconds once a second and at the end; stops the tool when the cancel flag
// is set. Returns the tool's exit code. Throws MediaWriterException
// ("CreateProcess() failed", "WaitForSingleObject() failed").
std::uint32_t RunImageTool(const platform::Platform& platform,
                           const StatusReporter& report,
                           const std::wstring& tool_path,
                           const std::wstring& arguments,
                           const CancelFlag* cancel);

}  // namespace tessaline

#endif  // TESSALINE_MASTERING_IMAGE_TOOL_H_
