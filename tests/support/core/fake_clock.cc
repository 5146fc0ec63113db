#include "support/core/fake_clock.h"

#include <numeric>

namespace tessaline::testing {

std::uint32_t FakeClock::TickCount() {
  std::lock_guard<std::mutex> lock(mutex_);
  return ticks_;
}

std::uint64_t FakeClock::SystemTime() {
  std::lock_guard<std::mutex> lock(mutex_);
  return system_time_;
}

void FakeClock::Sleep(std::uint32_t milliseconds) {
  std::function<void(std::uint32_t)> hook;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    ticks_ += milliseconds;
    system_time_ += static_cast<std::uint64_t>(milliseconds) * 10000;
    sleeps_.push_back(milliseconds);
    hook = hook_;
  }
  if (hook) hook(milliseconds);
}

void FakeClock::SetTickCount(std::uint32_t ticks) {
  std::lock_guard<std::mutex> lock(mutex_);
  ticks_ = ticks;
}

void FakeClock::SetSleepHook(std::function<void(std::uint32_t)> hook) {
  std::lock_guard<std::mutex> lock(mutex_);
  hook_ = std::move(hook);
}

std::vector<std::uint32_t> FakeClock::Sleeps() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return sleeps_;
}

std::uint64_t FakeClock::TotalSlept() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return std::accumulate(sleeps_.begin(), sleeps_.end(), std::uint64_t{0});
}

}  // namespace tessaline::testing
