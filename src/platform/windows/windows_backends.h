// Factories of the Windows backends of the platform seam. SystemPlatform()
// puts them together.
#ifndef TESSALINE_PLATFORM_WINDOWS_WINDOWS_BACKENDS_H_
#define TESSALINE_PLATFORM_WINDOWS_WINDOWS_BACKENDS_H_

#include <memory>

#include "platform/disc.h"
#include "platform/platform.h"

namespace tessaline::platform::windows {

std::shared_ptr<FileSystem> MakeFileSystem();
std::shared_ptr<Volumes> MakeVolumes();
std::shared_ptr<Profiles> MakeProfiles();
std::shared_ptr<Clock> MakeClock();
std::shared_ptr<Console> MakeConsole();
std::shared_ptr<Prompt> MakePrompt();
std::shared_ptr<Processes> MakeProcesses();
std::shared_ptr<Devices> MakeDevices();
std::shared_ptr<Apartment> MakeApartment();
// IMAPI2 through COM. The objects it makes live in the apartment of the
// thread that made them.
std::shared_ptr<DiscServices> MakeDiscServices();

// The library's own module (an HINSTANCE), recorded when the DLL is
// attached. Where the backend is linked into a program instead, nothing is
// recorded and ModuleFolder() asks for the module that holds its code.
void RecordModuleHandle(void* module);
void* RecordedModuleHandle();

}  // namespace tessaline::platform::windows

#endif  // TESSALINE_PLATFORM_WINDOWS_WINDOWS_BACKENDS_H_
