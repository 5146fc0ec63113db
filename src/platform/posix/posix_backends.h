// Factories of the POSIX backends of the platform seam. SystemPlatform()
// puts them together.
#ifndef TESSALINE_PLATFORM_POSIX_POSIX_BACKENDS_H_
#define TESSALINE_PLATFORM_POSIX_POSIX_BACKENDS_H_

#include <memory>

#include "platform/platform.h"

namespace tessaline::platform::posix {

std::shared_ptr<FileSystem> MakeFileSystem();
std::shared_ptr<Volumes> MakeVolumes();
std::shared_ptr<Profiles> MakeProfiles();
std::shared_ptr<Clock> MakeClock();
std::shared_ptr<Console> MakeConsole();
std::shared_ptr<Prompt> MakePrompt();
std::shared_ptr<Processes> MakeProcesses();
std::shared_ptr<Apartment> MakeApartment();

}  // namespace tessaline::platform::posix

#endif  // TESSALINE_PLATFORM_POSIX_POSIX_BACKENDS_H_
