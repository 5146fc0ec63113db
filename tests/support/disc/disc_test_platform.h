// A test platform with the fake disc services in place, a file system that
// can report the Windows separator (so drives come out as "E:"), and a log
// of status reports for the callbacks the burn code is given.
#ifndef TESSALINE_TESTS_SUPPORT_DISC_DISC_TEST_PLATFORM_H_
#define TESSALINE_TESTS_SUPPORT_DISC_DISC_TEST_PLATFORM_H_

#include <cstdint>
#include <memory>
#include <mutex>
#include <ostream>
#include <vector>

#include "support/core/status_log.h"
#include "support/core/test_platform.h"
#include "support/disc/fake_disc_services.h"

namespace tessaline::testing {

struct DiscTestPlatform : TestPlatform {
  std::shared_ptr<FakeDiscServices> disc;
};

// MakeTestPlatform with platform->disc set to a new FakeDiscServices that
// advances the platform's fake clock. With `separator` L'\\' the file
// system reports the Windows separator (the files themselves stay real).
DiscTestPlatform MakeDiscTestPlatform(wchar_t separator = L'/');

}  // namespace tessaline::testing

#endif  // TESSALINE_TESTS_SUPPORT_DISC_DISC_TEST_PLATFORM_H_
