// The platform of a Windows machine: Win32 for files, volumes, processes
// and devices, IMAPI2 for the disc services.
#include <memory>

#include "platform/platform.h"
#include "platform/windows/windows_backends.h"

namespace tessaline::platform {

std::shared_ptr<Platform> SystemPlatform() {
  // The services keep no state of their own, so one set serves every
  // creator and every thread.
  static const std::shared_ptr<Platform> system = [] {
    auto made = std::make_shared<Platform>();
    made->files = windows::MakeFileSystem();
    made->volumes = windows::MakeVolumes();
    made->profiles = windows::MakeProfiles();
    made->clock = windows::MakeClock();
    made->console = windows::MakeConsole();
    made->prompt = windows::MakePrompt();
    made->processes = windows::MakeProcesses();
    made->devices = windows::MakeDevices();
    made->apartment = windows::MakeApartment();
    made->disc = windows::MakeDiscServices();
    return made;
  }();
  return system;
}

}  // namespace tessaline::platform
