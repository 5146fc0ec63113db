#include "support/core/test_platform.h"

namespace tessaline::testing {

TestPlatform MakeTestPlatform() {
  TestPlatform test;
  test.clock = std::make_shared<FakeClock>();
  test.console = std::make_shared<StatusLog>();
  test.prompt = test.console;
  test.volumes = std::make_shared<FakeVolumes>();
  test.platform = std::make_shared<platform::Platform>();
  test.platform->files = MakeSystemFileSystem();
  test.platform->profiles = MakeSystemProfiles();
  test.platform->volumes = test.volumes;
  test.platform->clock = test.clock;
  test.platform->console = test.console;
  test.platform->prompt = test.prompt;
  test.platform->apartment = MakeSystemApartment();
  return test;
}

}  // namespace tessaline::testing
