// Child processes that run on a fake clock: a process ends at a scripted
// time after its start, and Wait advances the clock by the time it waits.
#ifndef TESSALINE_TESTS_SUPPORT_DRIVE_FAKE_PROCESSES_H_
#define TESSALINE_TESTS_SUPPORT_DRIVE_FAKE_PROCESSES_H_

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace tessaline::testing {

inline constexpr std::uint32_t kNever = 0xFFFFFFFFu;

// How a started process behaves. It ends `run_milliseconds` after its start
// with `exit_code`, or `terminate_milliseconds` after Terminate with the code
// asked for (kNever: not on its own); the `failing_wait`th Wait fails.
struct FakeProcessScript {
  std::uint32_t run_milliseconds = 0;
  std::uint32_t exit_code = 0;
  std::uint32_t terminate_milliseconds = 0;
  int failing_wait = 0;
  // Runs as the process starts (to leave what the tool would write).
  std::function<void(const std::wstring& command_line)> on_start = nullptr;
};

struct FakeStart {
  std::wstring program;
  std::wstring command_line;
};

struct FakeTermination {
  std::uint32_t exit_code = 0;
  std::uint32_t at = 0;  // since the start of the process
};

struct FakeProcessesState;

class FakeProcesses : public platform::Processes {
 public:
  explicit FakeProcesses(std::shared_ptr<platform::Clock> clock);
  ~FakeProcesses() override;

  void Script(const FakeProcessScript& script);
  void FailStart(std::uint32_t error);  // 0: starts succeed again
  // Every Start, the failed ones included, in order.
  std::vector<FakeStart> Starts() const;
  int OpenHandles() const;
  std::vector<FakeTermination> Terminations() const;

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
