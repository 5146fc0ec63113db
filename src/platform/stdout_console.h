// The console of both systems: the library's diagnostic lines on the C
// runtime's standard output (whose text mode ends lines as the system
// does).
#ifndef TESSALINE_PLATFORM_STDOUT_CONSOLE_H_
#define TESSALINE_PLATFORM_STDOUT_CONSOLE_H_

#include <memory>

#include "platform/platform.h"

namespace tessaline::platform {

std::shared_ptr<Console> MakeStdoutConsole();

}  // namespace tessaline::platform

#endif  // TESSALINE_PLATFORM_STDOUT_CONSOLE_H_
