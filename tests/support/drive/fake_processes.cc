#include "support/drive/fake_processes.h"

#include <algorithm>
#include <mutex>
#include <optional>

namespace tessaline::testing {

class FakeProcessesState {
 public:
  explicit FakeProcessesState(std::shared_ptr<platform::Clock> clock)
      : clock(std::move(clock)) {}

  const std::shared_ptr<platform::Clock> clock;
  mutable std::mutex mutex;
  FakeProcessScript script;
  std::uint32_t start_error = 0;
  std::vector<FakeStart> starts;
  int open_handles = 0;
  std::vector<FakeTermination> terminations;
};

namespace {

class FakeProcess : public platform::Process {
 public:
  FakeProcess(std::shared_ptr<FakeProcessesState> state,
              const FakeProcessScript& script)
      : state_(std::move(state)),
        script_(script),
        start_(state_->clock->TickCount()) {
    if (script.run_milliseconds != kNever) end_ = script.run_milliseconds;
    end_code_ = script.exit_code;
  }

  ~FakeProcess() override {
    std::lock_guard<std::mutex> lock(state_->mutex);
    --state_->open_handles;
  }

  platform::WaitResult Wait(std::uint32_t milliseconds) override {
    std::uint32_t sleep = milliseconds;
    {
      std::lock_guard<std::mutex> lock(state_->mutex);
      if (++waits_ == script_.failing_wait) {
        return platform::WaitResult::kFailed;
      }
      if (end_ && *end_ <= Now()) return platform::WaitResult::kEnded;
      if (end_) sleep = std::min(sleep, *end_ - Now());
    }
    if (sleep > 0) state_->clock->Sleep(sleep);
    return Ended() ? platform::WaitResult::kEnded
                   : platform::WaitResult::kTimeout;
  }

  bool Terminate(std::uint32_t exit_code) override {
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->terminations.push_back({exit_code, Now()});
    // As TerminateProcess, nothing is done to a process that has ended.
    if (end_ && *end_ <= Now()) return false;
    if (script_.terminate_milliseconds != kNever) {
      const std::uint32_t end = Now() + script_.terminate_milliseconds;
      if (!end_ || end < *end_) {
        end_ = end;
        end_code_ = exit_code;
      }
    }
    return true;
  }

  bool ExitCode(std::uint32_t* code) override {
    *code = Ended() ? end_code_ : platform::kStillActive;
    return true;
  }

 private:
  std::uint32_t Now() const { return state_->clock->TickCount() - start_; }
  bool Ended() const {
    std::lock_guard<std::mutex> lock(state_->mutex);
    return end_ && *end_ <= Now();
  }

  const std::shared_ptr<FakeProcessesState> state_;
  const FakeProcessScript script_;
  const std::uint32_t start_;
  std::optional<std::uint32_t> end_;
  std::uint32_t end_code_ = 0;
  int waits_ = 0;
};

}  // namespace

FakeProcesses::FakeProcesses(std::shared_ptr<platform::Clock> clock)
    : state_(std::make_shared<FakeProcessesState>(std::move(clock))) {}

FakeProcesses::~FakeProcesses() = default;

template <typename Action>
auto Locked(FakeProcessesState& state, Action action) {
  std::lock_guard<std::mutex> lock(state.mutex);
  return action();
}

void FakeProcesses::Script(const FakeProcessScript& script) {
  Locked(*state_, [&] { state_->script = script; });
}
void FakeProcesses::FailStart(std::uint32_t error) {
  Locked(*state_, [&] { state_->start_error = error; });
}
std::vector<FakeStart> FakeProcesses::Starts() const {
  return Locked(*state_, [&] { return state_->starts; });
}
int FakeProcesses::OpenHandles() const {
  return Locked(*state_, [&] { return state_->open_handles; });
}
std::vector<FakeTermination> FakeProcesses::Terminations() const {
  return Locked(*state_, [&] { return state_->terminations; });
}

std::unique_ptr<platform::Process> FakeProcesses::Start(
    const std::wstring& program, const std::wstring& command_line,
    std::uint32_t* error) {
  FakeProcessScript script;
  {
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->starts.push_back({program, command_line});
    if (state_->start_error != 0) {
      if (error != nullptr) *error = state_->start_error;
      return nullptr;
    }
    ++state_->open_handles;
    script = state_->script;
  }
  if (script.on_start) script.on_start(command_line);
  return std::make_unique<FakeProcess>(state_, script);
}

}  // namespace tessaline::testing
