// POSIX clock, console and (empty) apartment.
#include <time.h>

#include "platform/posix/posix_backends.h"
#include "platform/stdout_console.h"

namespace tessaline::platform::posix {
namespace {

// Seconds from 1601-01-01 to 1970-01-01.
constexpr std::uint64_t kEpochDelta = 11644473600ULL;

class PosixClock final : public Clock {
 public:
  std::uint32_t TickCount() override {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    auto ms = static_cast<std::uint64_t>(now.tv_sec) * 1000 +
              static_cast<std::uint64_t>(now.tv_nsec) / 1000000;
    return static_cast<std::uint32_t>(ms);
  }
  std::uint64_t SystemTime() override {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return (static_cast<std::uint64_t>(now.tv_sec) + kEpochDelta) * 10000000 +
           static_cast<std::uint64_t>(now.tv_nsec) / 100;
  }
  void Sleep(std::uint32_t milliseconds) override {
    timespec rest{static_cast<time_t>(milliseconds / 1000),
                  static_cast<long>(milliseconds % 1000) * 1000000L};
    while (nanosleep(&rest, &rest) != 0) {
    }
  }
};

// POSIX has no COM: entering always succeeds and leaving does nothing.
class NoApartment final : public Apartment {
 public:
  std::int32_t Enter() override { return 0; }
  void Leave() override {}
};

}  // namespace

std::shared_ptr<Clock> MakeClock() { return std::make_shared<PosixClock>(); }
std::shared_ptr<Console> MakeConsole() { return MakeStdoutConsole(); }
std::shared_ptr<Apartment> MakeApartment() {
  return std::make_shared<NoApartment>();
}

}  // namespace tessaline::platform::posix
