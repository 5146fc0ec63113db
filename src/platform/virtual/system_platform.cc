// The platform of the machine on POSIX: the POSIX backends, with the
// virtual drives in the folder that TESSALINE_DRIVES names as recorders.
// Without it the recorders are the machine's own, through libburn, where
// the library was built with it; else there are none.
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "platform/platform.h"
#include "platform/posix/posix_backends.h"
#include "platform/virtual/virtual_platform.h"
#if TESSALINE_HAVE_LIBBURN
#include "platform/libburn/libburn_platform.h"
#endif

namespace tessaline::platform {

std::shared_ptr<Platform> SystemPlatform() {
  auto platform = std::make_shared<Platform>();
  platform->files = posix::MakeFileSystem();
  platform->volumes = posix::MakeVolumes();
  platform->profiles = posix::MakeProfiles();
  platform->clock = posix::MakeClock();
  platform->console = posix::MakeConsole();
  platform->prompt = posix::MakePrompt();
  platform->processes = posix::MakeProcesses();
  platform->apartment = posix::MakeApartment();
  // Read at every call, so that a change of the variable reaches the next
  // creator or static operation.
  const char* drives = std::getenv("TESSALINE_DRIVES");
  std::string dir = drives == nullptr ? std::string() : std::string(drives);
  if (!dir.empty()) {
    // Recorder ids are absolute, whatever the working folder later is.
    std::error_code error;
    const std::filesystem::path absolute =
        std::filesystem::absolute(std::filesystem::path(dir), error);
    if (!error) dir = absolute.lexically_normal().string();
  }
#if TESSALINE_HAVE_LIBBURN
  if (dir.empty()) {
    platform->disc = libburn::MakeDiscServices(platform->console);
    platform->devices = libburn::MakeDevices();
    return platform;
  }
#endif
  platform->disc = MakeVirtualDiscServices(dir, platform->clock);
  platform->devices = MakeVirtualDevices(dir);
  platform->files = MakeVirtualFileSystem(platform->files, dir);
  return platform;
}

}  // namespace tessaline::platform
