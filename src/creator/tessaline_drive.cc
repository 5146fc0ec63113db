// The creator's static drive operations: tray and drive lock. A recorder
// that cannot be opened ends them with their plain results.
#include <memory>

#include "drive/drive_control.h"
#include "platform/platform.h"
#include "tessaline/tessaline.h"

namespace {

// The given platform, or the system's when the host passed none.
std::shared_ptr<tessaline::platform::Platform> PlatformOrSystem(
    Tessaline::PlatformPtr platform) {
  return platform ? platform : tessaline::platform::SystemPlatform();
}

}  // namespace

void Tessaline::EjectClose(std::uint32_t index, bool close) {
  EjectClose(index, close, tessaline::platform::SystemPlatform());
}

void Tessaline::EjectClose(std::uint32_t index, bool close,
                           PlatformPtr platform) {
  const PlatformPtr used = PlatformOrSystem(std::move(platform));
  try {
    tessaline::EjectClose(*used, index, close);
  } catch (const MediaWriterException&) {
  }
}

std::int32_t Tessaline::DriveLock(std::uint32_t index, bool lock) {
  return DriveLock(index, lock, tessaline::platform::SystemPlatform());
}

std::int32_t Tessaline::DriveLock(std::uint32_t index, bool lock,
                                  PlatformPtr platform) {
  const PlatformPtr used = PlatformOrSystem(std::move(platform));
  try {
    return tessaline::DriveLock(*used, index, lock);
  } catch (const MediaWriterException&) {
    return 1;
  }
}
