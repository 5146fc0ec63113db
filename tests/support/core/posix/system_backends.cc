// The POSIX backends that the tests use for real.
#include "platform/posix/posix_backends.h"
#include "support/core/test_platform.h"

namespace tessaline::testing {

std::shared_ptr<platform::FileSystem> MakeSystemFileSystem() {
  return platform::posix::MakeFileSystem();
}

std::shared_ptr<platform::Profiles> MakeSystemProfiles() {
  return platform::posix::MakeProfiles();
}

std::shared_ptr<platform::Processes> MakeSystemProcesses() {
  return platform::posix::MakeProcesses();
}

std::shared_ptr<platform::Apartment> MakeSystemApartment() {
  return platform::posix::MakeApartment();
}

}  // namespace tessaline::testing
