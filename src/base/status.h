// The reporter through which a writer job's stages send their status
// reports (codes in tessaline/status_codes.h), and the cancel flag that the
// host sets.
#ifndef TESSALINE_BASE_STATUS_H_
#define TESSALINE_BASE_STATUS_H_

#include <atomic>
#include <cstdint>
#include <functional>

#include "tessaline/tessaline.h"

namespace tessaline {

// One byte shared by a creator and its jobs: 0 = go on, non-zero = cancel.
using CancelFlag = std::atomic<std::uint8_t>;

inline bool IsCancelled(const CancelFlag* flag) {
  return flag != nullptr && flag->load(std::memory_order_relaxed) != 0;
}

// Where a stage sends (code, first, second). An empty reporter drops them.
class StatusReporter {
 public:
  StatusReporter() = default;
  StatusReporter(StatusCallback callback, void* context)
      : callback_(callback), context_(context) {}

  void operator()(std::int32_t code, std::intptr_t first,
                  std::intptr_t second) const {
    if (callback_ != nullptr) callback_(code, first, second, context_);
  }
  StatusCallback callback() const { return callback_; }
  void* context() const { return context_; }

 private:
  StatusCallback callback_ = nullptr;
  void* context_ = nullptr;
};

}  // namespace tessaline

#endif  // TESSALINE_BASE_STATUS_H_
