// The Windows clock, prompt and COM apartment.
#include <gtest/gtest.h>

#include <ctime>
#include <thread>

#include "platform/windows/win32.h"
#include "platform/windows/windows_backends.h"

namespace tessaline::platform {
namespace {

TEST(WindowsClockTest, SystemTimeIsUtcInHundredsOfNanosecondsSince1601) {
  const auto clock = windows::MakeClock();
  // The C runtime's own idea of now, in seconds since 1970.
  const auto before = static_cast<std::uint64_t>(std::time(nullptr));
  const std::uint64_t now = clock->SystemTime();
  const auto after = static_cast<std::uint64_t>(std::time(nullptr));
  constexpr std::uint64_t k1970 = 116444736000000000ULL;
  EXPECT_GE(now, (before - 1) * 10000000 + k1970);
  EXPECT_LE(now, (after + 1) * 10000000 + k1970);

  const std::uint32_t first = clock->TickCount();
  const std::uint32_t second = clock->TickCount();
  EXPECT_LT(second - first, 1000u);  // in 32-bit arithmetic, across a wrap
}

int received = 0;
LRESULT CALLBACK Receive(HWND window, UINT message, WPARAM w, LPARAM l) {
  received += message == WM_APP;
  return ::DefWindowProcW(window, message, w, l);
}

// The pump dispatches one message a call, and returns at once when none
// waits.
TEST(WindowsPromptTest, PumpDispatchesOneMessageAndNeverWaits) {
  WNDCLASSW type{};
  type.lpfnWndProc = &Receive;
  type.hInstance = ::GetModuleHandleW(nullptr);
  type.lpszClassName = L"TessalinePumpCounter";
  ::RegisterClassW(&type);
  HWND window =
      ::CreateWindowExW(0, type.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE,
                        nullptr, type.hInstance, nullptr);
  ASSERT_NE(window, nullptr);
  const auto prompt = windows::MakePrompt();
  ASSERT_TRUE(::PostMessageW(window, WM_APP, 0, 0));
  ASSERT_TRUE(::PostMessageW(window, WM_APP, 0, 0));
  for (int expected : {1, 2, 2}) {
    prompt->PumpOneMessage();
    EXPECT_EQ(received, expected);
  }
  ::DestroyWindow(window);
}

TEST(WindowsApartmentTest, EntersASingleThreadedApartmentPerThread) {
  const auto apartment = windows::MakeApartment();
  std::int32_t first = 0;
  std::int32_t second = 0;
  ::HRESULT multi = S_OK;
  std::thread worker([&] {
    first = apartment->Enter();
    second = apartment->Enter();  // again on the same thread: S_FALSE
    // The thread is single-threaded now; it cannot become multi-threaded.
    multi = ::CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    if (SUCCEEDED(multi)) ::CoUninitialize();
    apartment->Leave();
    apartment->Leave();
  });
  worker.join();
  EXPECT_EQ(first, S_OK);
  EXPECT_EQ(second, S_FALSE);
  EXPECT_EQ(multi, RPC_E_CHANGED_MODE);
}

}  // namespace
}  // namespace tessaline::platform
