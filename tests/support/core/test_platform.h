// The system's file system and profiles with fakes for the clock, console,
// prompt and volumes; processes, devices and disc services are left empty.
#ifndef TESSALINE_TESTS_SUPPORT_CORE_TEST_PLATFORM_H_
#define TESSALINE_TESTS_SUPPORT_CORE_TEST_PLATFORM_H_

#include <memory>

#include "platform/platform.h"
#include "support/core/fake_clock.h"
#include "support/core/fake_volumes.h"
#include "support/core/status_log.h"
#include "support/core/temp_folder.h"

namespace tessaline::testing {

struct TestPlatform {
  std::shared_ptr<platform::Platform> platform;
  std::shared_ptr<FakeClock> clock;
  // The platform's console and prompt: one log of what the user is told.
  std::shared_ptr<StatusLog> console;
  std::shared_ptr<StatusLog> prompt;
  std::shared_ptr<FakeVolumes> volumes;
};

TestPlatform MakeTestPlatform();

// The machine's own backends, for tests that run on both systems.
std::shared_ptr<platform::FileSystem> MakeSystemFileSystem();
std::shared_ptr<platform::Profiles> MakeSystemProfiles();
std::shared_ptr<platform::Apartment> MakeSystemApartment();
std::shared_ptr<platform::Processes> MakeSystemProcesses();

}  // namespace tessaline::testing

#endif  // TESSALINE_TESTS_SUPPORT_CORE_TEST_PLATFORM_H_
