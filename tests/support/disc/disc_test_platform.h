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

struct StatusReport {
  std::int32_t code = 0;
  std::intptr_t first = 0;
  std::intptr_t second = 0;
  bool operator==(const StatusReport&) const = default;
};
std::ostream& operator<<(std::ostream& out, const StatusReport& report);

// Collects reports: pass StatusLog::Callback with the log as context.
class StatusLog {
 public:
  static void Callback(std::int32_t code, std::intptr_t first,
                       std::intptr_t second, void* context);
  std::vector<StatusReport> Reports() const;

 private:
  mutable std::mutex mutex_;
  std::vector<StatusReport> reports_;
};

}  // namespace tessaline::testing

#endif  // TESSALINE_TESTS_SUPPORT_DISC_DISC_TEST_PLATFORM_H_
