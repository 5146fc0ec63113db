// The Windows clock, prompt and COM apartment.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
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

// A message-only window that counts what it receives.
class Counter {
 public:
  Counter() {
    WNDCLASSW type{};
    type.lpfnWndProc = &Counter::Receive;
    type.hInstance = ::GetModuleHandleW(nullptr);
    type.lpszClassName = L"TessalinePumpCounter";
    ::RegisterClassW(&type);
    window_ = ::CreateWindowExW(0, type.lpszClassName, L"", 0, 0, 0, 0, 0,
                                HWND_MESSAGE, nullptr, type.hInstance, nullptr);
  }
  ~Counter() {
    if (window_ != nullptr) ::DestroyWindow(window_);
  }
  HWND window() const { return window_; }
  static int received() { return received_; }

 private:
  static LRESULT CALLBACK Receive(HWND window, UINT message, WPARAM w,
                                  LPARAM l) {
    if (message == WM_APP) {
      ++received_;
      return 0;
    }
    return ::DefWindowProcW(window, message, w, l);
  }

  HWND window_ = nullptr;
  static inline int received_ = 0;
};

TEST(WindowsPromptTest, PumpDispatchesOneMessageAndNeverWaits) {
  Counter counter;
  ASSERT_NE(counter.window(), nullptr);
  const auto prompt = windows::MakePrompt();
  const int before = Counter::received();
  ASSERT_TRUE(::PostMessageW(counter.window(), WM_APP, 0, 0));
  ASSERT_TRUE(::PostMessageW(counter.window(), WM_APP, 0, 0));
  prompt->PumpOneMessage();
  EXPECT_EQ(Counter::received() - before, 1);
  prompt->PumpOneMessage();
  EXPECT_EQ(Counter::received() - before, 2);
  // Nothing is waiting: the call returns at once.
  prompt->PumpOneMessage();
  EXPECT_EQ(Counter::received() - before, 2);
}

// The box is shown until someone closes it. Where the system has no screen
// to show it on (Wine without a display), MessageBoxW returns at once and
// there is nothing to look at.
TEST(WindowsPromptTest, ShowsTheTextUntilTheBoxIsClosed) {
  std::atomic<bool> shown{false};
  std::wstring text;
  std::atomic<bool> done{false};
  std::thread closer([&] {
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!done && std::chrono::steady_clock::now() < deadline) {
      if (HWND box = ::FindWindowW(L"#32770", L"Tessaline test")) {
        wchar_t buffer[256] = {};
        ::GetDlgItemTextW(box, 0xFFFF, buffer, 256);
        text = buffer;
        shown = true;
        ::PostMessageW(box, WM_COMMAND, IDOK, 0);
        return;
      }
      std::this_thread::yield();
    }
  });
  windows::MakePrompt()->Show(L"Please insert disc 2", L"Tessaline test");
  done = true;
  closer.join();
  if (!shown) GTEST_SKIP() << "no screen to show a message box on";
  EXPECT_EQ(text, L"Please insert disc 2");
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
