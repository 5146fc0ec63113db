// A fake of the child processes (platform::Processes) that runs on a clock:
// a process ends at a scripted time after its start, and Wait advances the
// clock by the time it waits, so a tool of several seconds runs in no real
// time with a FakeClock.
//
//   auto processes = std::make_shared<FakeProcesses>(test.clock);
//   processes->Script({.run_milliseconds = 3500, .exit_code = 2});
//   ... run the code under test ...
//   EXPECT_EQ(processes->Starts()[0].command_line, L"\"C:\\t.exe\" /x");
//
// Thread use: the code under test may run on another thread; everything is
// guarded by a lock, which is not held while the clock sleeps.
#ifndef TESSALINE_TESTS_SUPPORT_DRIVE_FAKE_PROCESSES_H_
#define TESSALINE_TESTS_SUPPORT_DRIVE_FAKE_PROCESSES_H_

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace tessaline::testing {

inline constexpr std::uint32_t kNever = 0xFFFFFFFFu;

// How a started process behaves; times count from its start.
struct FakeProcessScript {
  // It ends this long after its start with `exit_code`; kNever: it runs
  // until it is terminated.
  std::uint32_t run_milliseconds = 0;
  std::uint32_t exit_code = 0;
  // After Terminate it ends this much later with the code asked for;
  // kNever: it does not end at all.
  std::uint32_t terminate_milliseconds = 0;
  // The n-th Wait (counted from 1) fails without waiting; 0: none fails.
  int failing_wait = 0;
};

struct FakeStart {
  std::wstring program;
  std::wstring command_line;
};

struct FakeTermination {
  std::uint32_t exit_code = 0;
  std::uint32_t at = 0;  // since the start of the process
};

class FakeProcessesState;

class FakeProcesses : public platform::Processes {
 public:
  // `clock` must advance on Sleep (a FakeClock).
  explicit FakeProcesses(std::shared_ptr<platform::Clock> clock);
  ~FakeProcesses() override;

  // Applies to the processes started from now on.
  void Script(const FakeProcessScript& script);
  // Start fails with this native error code; 0 lets starts succeed again.
  void FailStart(std::uint32_t error);

  // Every Start, the failed ones included, in order.
  std::vector<FakeStart> Starts() const;
  // Processes whose handle has not been released.
  int OpenHandles() const;
  std::vector<FakeTermination> Terminations() const;

  // The program's name as given, on every system.
  std::wstring ProgramFileName(const std::wstring& stem) override {
    return stem;
  }
  std::unique_ptr<platform::Process> Start(const std::wstring& program,
                                           const std::wstring& command_line,
                                           std::uint32_t* error) override;

 private:
  std::shared_ptr<FakeProcessesState> state_;
};

}  // namespace tessaline::testing

#endif  // TESSALINE_TESTS_SUPPORT_DRIVE_FAKE_PROCESSES_H_
