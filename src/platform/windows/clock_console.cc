// The Windows clock, console and COM apartment.
#include <cstdio>
#include <mutex>

#include "platform/windows/win32.h"
#include "platform/windows/windows_backends.h"

namespace tessaline::platform::windows {
namespace {

class WinClock final : public Clock {
 public:
  std::uint32_t TickCount() override { return ::GetTickCount(); }

  std::uint64_t SystemTime() override {
    SYSTEMTIME now;
    ::GetSystemTime(&now);
    FILETIME file_time{};
    if (!::SystemTimeToFileTime(&now, &file_time)) return 0;
    return (static_cast<std::uint64_t>(file_time.dwHighDateTime) << 32) |
           file_time.dwLowDateTime;
  }

  void Sleep(std::uint32_t milliseconds) override { ::Sleep(milliseconds); }
};

// Lines go to the C runtime's standard output, whose text mode ends them
// as Windows ends lines.
class StdoutConsole final : public Console {
 public:
  void Write(const std::string& text) override {
    // Lines come from the job's thread and the host's; keep each whole.
    std::lock_guard<std::mutex> lock(mutex_);
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
  }

 private:
  std::mutex mutex_;
};

class ComApartment final : public Apartment {
 public:
  std::int32_t Enter() override {
    return ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  }
  void Leave() override { ::CoUninitialize(); }
};

}  // namespace

std::shared_ptr<Clock> MakeClock() { return std::make_shared<WinClock>(); }
std::shared_ptr<Console> MakeConsole() {
  return std::make_shared<StdoutConsole>();
}
std::shared_ptr<Apartment> MakeApartment() {
  return std::make_shared<ComApartment>();
}

}  // namespace tessaline::platform::windows
