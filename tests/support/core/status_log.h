// Collects the status reports of a callback: pass StatusLog::Callback with
// the log as its context.
#ifndef TESSALINE_TESTS_SUPPORT_CORE_STATUS_LOG_H_
#define TESSALINE_TESTS_SUPPORT_CORE_STATUS_LOG_H_

#include <cstdint>
#include <mutex>
#include <ostream>
#include <vector>

namespace tessaline::testing {

struct StatusReport {
  std::int32_t code = 0;
  std::intptr_t first = 0;
  std::intptr_t second = 0;
  bool operator==(const StatusReport&) const = default;
};
std::ostream& operator<<(std::ostream& out, const StatusReport& report);

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

#endif  // TESSALINE_TESTS_SUPPORT_CORE_STATUS_LOG_H_
