// The Windows clock, console and COM apartment.

#include "platform/stdout_console.h"
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

class ComApartment final : public Apartment {
 public:
  std::int32_t Enter() override {
    return ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  }
  void Leave() override { ::CoUninitialize(); }
};

}  // namespace

std::shared_ptr<Clock> MakeClock() { return std::make_shared<WinClock>(); }
std::shared_ptr<Console> MakeConsole() { return MakeStdoutConsole(); }
std::shared_ptr<Apartment> MakeApartment() {
  return std::make_shared<ComApartment>();
}

}  // namespace tessaline::platform::windows
