// The test platform on Windows: the Win32 file system and profile reader in
// place of the POSIX ones; the fakes are the same.
#include "support/core/test_platform.h"

#include "platform/windows/windows_backends.h"

namespace tessaline::testing {

TestPlatform MakeTestPlatform() {
  TestPlatform test;
  test.clock = std::make_shared<FakeClock>();
  test.console = std::make_shared<CapturingConsole>();
  test.prompt = std::make_shared<CountingPrompt>();
  test.volumes = std::make_shared<FakeVolumes>();
  test.platform = std::make_shared<platform::Platform>();
  test.platform->files = platform::windows::MakeFileSystem();
  test.platform->profiles = platform::windows::MakeProfiles();
  test.platform->volumes = test.volumes;
  test.platform->clock = test.clock;
  test.platform->console = test.console;
  test.platform->prompt = test.prompt;
  // Entering COM on a test's thread harms nothing; the job's thread does.
  test.platform->apartment = platform::windows::MakeApartment();
  return test;
}

std::shared_ptr<platform::Profiles> MakeSystemProfiles() {
  return platform::windows::MakeProfiles();
}

std::shared_ptr<platform::Processes> MakeSystemProcesses() {
  return platform::windows::MakeProcesses();
}

}  // namespace tessaline::testing
