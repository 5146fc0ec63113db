// A clock whose Sleep advances time at once, so no test waits for real.
#ifndef TESSALINE_TESTS_SUPPORT_CORE_FAKE_CLOCK_H_
#define TESSALINE_TESTS_SUPPORT_CORE_FAKE_CLOCK_H_

#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

#include "platform/platform.h"

namespace tessaline::testing {

class FakeClock : public platform::Clock {
 public:
  // 2026-01-01 00:00:00 UTC as a FILETIME.
  static constexpr std::uint64_t kStartSystemTime = 134116992000000000ULL;

  std::uint32_t TickCount() override;
  std::uint64_t SystemTime() override;
  // Advances both clocks, records the wait, then runs the sleep hook.
  void Sleep(std::uint32_t milliseconds) override;

  void SetTickCount(std::uint32_t ticks);
  // Runs on the sleeping thread, outside the lock.
  void SetSleepHook(std::function<void(std::uint32_t milliseconds)> hook);

  std::vector<std::uint32_t> Sleeps() const;
  std::uint64_t TotalSlept() const;

 private:
  mutable std::mutex mutex_;
  std::uint32_t ticks_ = 1000;
  std::uint64_t system_time_ = kStartSystemTime;
  std::vector<std::uint32_t> sleeps_;
  std::function<void(std::uint32_t)> hook_;
};

}  // namespace tessaline::testing

#endif  // TESSALINE_TESTS_SUPPORT_CORE_FAKE_CLOCK_H_
