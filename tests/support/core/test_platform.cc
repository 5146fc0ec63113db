#include "support/core/test_platform.h"

#include "platform/posix/posix_backends.h"

namespace tessaline::testing {

TestPlatform MakeTestPlatform() {
  TestPlatform test;
  test.clock = std::make_shared<FakeClock>();
  test.console = std::make_shared<CapturingConsole>();
  test.prompt = std::make_shared<CountingPrompt>();
  test.volumes = std::make_shared<FakeVolumes>();
  test.platform = std::make_shared<platform::Platform>();
  test.platform->files = platform::posix::MakeFileSystem();
  test.platform->profiles = platform::posix::MakeProfiles();
  test.platform->volumes = test.volumes;
  test.platform->clock = test.clock;
  test.platform->console = test.console;
  test.platform->prompt = test.prompt;
  test.platform->apartment = platform::posix::MakeApartment();
  return test;
}

std::shared_ptr<platform::Profiles> MakeSystemProfiles() {
  return platform::posix::MakeProfiles();
}

std::shared_ptr<platform::Processes> MakeSystemProcesses() {
  return platform::posix::MakeProcesses();
}

}  // namespace tessaline::testing
