#include "support/core/status_log.h"

namespace tessaline::testing {

std::ostream& operator<<(std::ostream& out, const StatusReport& report) {
  return out << "(" << report.code << ", " << report.first << ", "
             << report.second << ")";
}

void StatusLog::Callback(std::int32_t code, std::intptr_t first,
                         std::intptr_t second, void* context) {
  auto* log = static_cast<StatusLog*>(context);
  std::lock_guard<std::mutex> lock(log->mutex_);
  log->reports_.push_back({code, first, second});
}

std::vector<StatusReport> StatusLog::Reports() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return reports_;
}

}  // namespace tessaline::testing
