// The Windows backends that the tests use for real. Entering COM on a
// test's thread harms nothing; the job's thread does.
#include "platform/windows/windows_backends.h"
#include "support/core/test_platform.h"

namespace tessaline::testing {

std::shared_ptr<platform::FileSystem> MakeSystemFileSystem() {
  return platform::windows::MakeFileSystem();
}

std::shared_ptr<platform::Profiles> MakeSystemProfiles() {
  return platform::windows::MakeProfiles();
}

std::shared_ptr<platform::Processes> MakeSystemProcesses() {
  return platform::windows::MakeProcesses();
}

std::shared_ptr<platform::Apartment> MakeSystemApartment() {
  return platform::windows::MakeApartment();
}

}  // namespace tessaline::testing
