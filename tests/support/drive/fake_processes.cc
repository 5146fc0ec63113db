#include "support/drive/fake_processes.h"

#include <algorithm>
#include <mutex>
#include <optional>

namespace tessaline::testing {

struct FakeProcessesState {
  std::shared_ptr<platform::Clock> clock;
  std::mutex mutex;
  FakeProcessScript script;
  std::uint32_t start_error = 0;
  std::vector<FakeStart> starts;
  int open_handles = 0;
  std::vector<FakeTermination> terminations;

  template <typename Action>
  auto Locked(Action action) {
    std::lock_guard<std::mutex> lock(mutex);
    return action();
  }
};

namespace {

using platform::WaitResult;

class FakeProcess : public platform::Process {
 public:
  FakeProcess(std::shared_ptr<FakeProcessesState> state,
              const FakeProcessScript& script)
      : state_(std::move(state)),
        script_(script),
        start_(state_->clock->TickCount()),
        end_code_(script.exit_code) {
    if (script.run_milliseconds != kNever) end_ = script.run_milliseconds;
  }
  ~FakeProcess() override {
    state_->Locked([&] { --state_->open_handles; });
  }

  WaitResult Wait(std::uint32_t milliseconds) override {
    std::uint32_t sleep = milliseconds;
    const auto now = state_->Locked([&]() -> std::optional<WaitResult> {
      if (++waits_ == script_.failing_wait) return WaitResult::kFailed;
      if (Ended()) return WaitResult::kEnded;
      if (end_) sleep = std::min(sleep, *end_ - Now());
      return std::nullopt;
    });
    if (now) return *now;
    if (sleep > 0) state_->clock->Sleep(sleep);
    return state_->Locked([&] { return Ended(); }) ? WaitResult::kEnded
                                                   : WaitResult::kTimeout;
  }

  bool Terminate(std::uint32_t exit_code) override {
    return state_->Locked([&] {
      state_->terminations.push_back({exit_code, Now()});
      // As TerminateProcess, nothing is done to a process that has ended.
      if (Ended()) return false;
      const std::uint32_t end = Now() + script_.terminate_milliseconds;
      if (script_.terminate_milliseconds != kNever && (!end_ || end < *end_)) {
        end_ = end;
        end_code_ = exit_code;
      }
      return true;
    });
  }

  bool ExitCode(std::uint32_t* code) override {
    *code = state_->Locked([&] { return Ended(); }) ? end_code_
                                                    : platform::kStillActive;
    return true;
  }

 private:
  std::uint32_t Now() const { return state_->clock->TickCount() - start_; }
  bool Ended() const { return end_ && *end_ <= Now(); }

  const std::shared_ptr<FakeProcessesState> state_;
  const FakeProcessScript script_;
  const std::uint32_t start_;
  std::optional<std::uint32_t> end_;
  std::uint32_t end_code_;
  int waits_ = 0;
};

}  // namespace

FakeProcesses::FakeProcesses(std::shared_ptr<platform::Clock> clock)
    : state_(std::make_shared<FakeProcessesState>()) {
  state_->clock = std::move(clock);
}
FakeProcesses::~FakeProcesses() = default;

void FakeProcesses::Script(const FakeProcessScript& script) {
  state_->Locked([&] { state_->script = script; });
}
void FakeProcesses::FailStart(std::uint32_t error) {
  state_->Locked([&] { state_->start_error = error; });
}
std::vector<FakeStart> FakeProcesses::Starts() const {
  return state_->Locked([&] { return state_->starts; });
}
int FakeProcesses::OpenHandles() const {
  return state_->Locked([&] { return state_->open_handles; });
}
std::vector<FakeTermination> FakeProcesses::Terminations() const {
  return state_->Locked([&] { return state_->terminations; });
}

std::unique_ptr<platform::Process> FakeProcesses::Start(
    const std::wstring& program, const std::wstring& command_line,
    std::uint32_t* error) {
  const auto script = state_->Locked([&]() -> std::optional<FakeProcessScript> {
    state_->starts.push_back({program, command_line});
    if (state_->start_error == 0) return ++state_->open_handles, state_->script;
    if (error != nullptr) *error = state_->start_error;
    return std::nullopt;
  });
  if (!script) return nullptr;
  if (script->on_start) script->on_start(command_line);
  return std::make_unique<FakeProcess>(state_, *script);
}

}  // namespace tessaline::testing
