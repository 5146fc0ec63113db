// Child processes on POSIX: posix_spawn with the arguments split from a
// Windows command line, waited for through a pidfd.
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/platform.h"
#include "platform/posix/command_line.h"
#include "platform/posix/posix_backends.h"
#include "platform/text.h"

extern char** environ;

namespace tessaline::platform::posix {
namespace {

constexpr std::uint32_t kInfinite = 0xFFFFFFFFu;

// A pidfd for `pid`, or -1 where the kernel has none (before Linux 5.3);
// the wait then falls back to short sleeps.
int OpenPidfd(pid_t pid) {
#ifdef SYS_pidfd_open
  const long fd = syscall(SYS_pidfd_open, pid, 0);
  return fd < 0 ? -1 : static_cast<int>(fd);
#else
  (void)pid;
  return -1;
#endif
}

class SpawnActions {
 public:
  SpawnActions() { ok_ = posix_spawn_file_actions_init(&actions_) == 0; }
  ~SpawnActions() {
    if (ok_) posix_spawn_file_actions_destroy(&actions_);
  }
  SpawnActions(const SpawnActions&) = delete;
  SpawnActions& operator=(const SpawnActions&) = delete;
  bool ok() const { return ok_; }
  posix_spawn_file_actions_t* get() { return &actions_; }

 private:
  posix_spawn_file_actions_t actions_;
  bool ok_ = false;
};

class SpawnAttributes {
 public:
  SpawnAttributes() { ok_ = posix_spawnattr_init(&attributes_) == 0; }
  ~SpawnAttributes() {
    if (ok_) posix_spawnattr_destroy(&attributes_);
  }
  SpawnAttributes(const SpawnAttributes&) = delete;
  SpawnAttributes& operator=(const SpawnAttributes&) = delete;
  bool ok() const { return ok_; }
  posix_spawnattr_t* get() { return &attributes_; }

 private:
  posix_spawnattr_t attributes_;
  bool ok_ = false;
};

class PosixProcess final : public Process {
 public:
  PosixProcess(pid_t pid, int pidfd) : pid_(pid), pidfd_(pidfd) {}

  // Releasing the handle leaves a running process running; an ended one is
  // reaped, so that no zombie stays behind.
  ~PosixProcess() override {
    bool ended = false;
    if (!reaped_) Reap(&ended);
    if (pidfd_ >= 0) close(pidfd_);
  }

  WaitResult Wait(std::uint32_t milliseconds) override {
    bool ended = false;
    if (!Reap(&ended)) return WaitResult::kFailed;
    if (ended) return WaitResult::kEnded;
    using Clock = std::chrono::steady_clock;
    const bool infinite = milliseconds == kInfinite;
    const Clock::time_point deadline =
        Clock::now() + std::chrono::milliseconds(milliseconds);
    for (;;) {
      int timeout = -1;
      if (!infinite) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(
            deadline - Clock::now());
        timeout = static_cast<int>(
            std::clamp<std::int64_t>(left.count(), 0, INT_MAX));
      }
      if (pidfd_ >= 0) {
        pollfd entry{pidfd_, POLLIN, 0};
        const int ready = poll(&entry, 1, timeout);
        if (ready < 0 && errno != EINTR) return WaitResult::kFailed;
        if (!Reap(&ended)) return WaitResult::kFailed;
        if (ended) return WaitResult::kEnded;
        if (ready == 0 || timeout == 0) return WaitResult::kTimeout;
        // Readable but not yet reapable, or interrupted: wait out the rest
        // without spinning.
        if (ready > 0) SleepBriefly(timeout);
      } else {
        if (timeout == 0) return WaitResult::kTimeout;
        SleepBriefly(timeout);
        if (!Reap(&ended)) return WaitResult::kFailed;
        if (ended) return WaitResult::kEnded;
      }
    }
  }

  bool Terminate(std::uint32_t exit_code) override {
    if (reaped_) return false;
    // The tool's own children (it runs in a group of its own) go with it.
    kill(-pid_, SIGKILL);
    if (kill(pid_, SIGKILL) != 0) return false;
    terminated_ = true;
    termination_code_ = exit_code;
    return true;
  }

  bool ExitCode(std::uint32_t* code) override {
    bool ended = false;
    if (!Reap(&ended)) return false;
    if (!ended) {
      *code = kStillActive;
      return true;
    }
    if (WIFEXITED(status_)) {
      *code = static_cast<std::uint32_t>(WEXITSTATUS(status_));
    } else if (WIFSIGNALED(status_)) {
      // Killed by Terminate: the code asked for, as TerminateProcess
      // gives it. Otherwise the shell's convention for a signal.
      const int signal = WTERMSIG(status_);
      *code = terminated_ && signal == SIGKILL
                  ? termination_code_
                  : 128u + static_cast<std::uint32_t>(signal);
    } else {
      *code = kStillActive;
    }
    return true;
  }

 private:
  // Collects the child's status once it has ended. False when the system
  // refuses (the child was reaped elsewhere, for example).
  bool Reap(bool* ended) {
    if (reaped_) {
      *ended = true;
      return true;
    }
    int status = 0;
    pid_t result;
    do {
      result = waitpid(pid_, &status, WNOHANG);
    } while (result < 0 && errno == EINTR);
    if (result < 0) return false;
    *ended = result == pid_;
    if (*ended) {
      reaped_ = true;
      status_ = status;
    }
    return true;
  }

  static void SleepBriefly(int timeout) {
    constexpr int kStep = 10;
    const int step = timeout < 0 ? kStep : std::min(timeout, kStep);
    std::this_thread::sleep_for(std::chrono::milliseconds(step));
  }

  const pid_t pid_;
  const int pidfd_;
  bool reaped_ = false;
  int status_ = 0;
  bool terminated_ = false;
  std::uint32_t termination_code_ = 0;
};

class PosixProcesses final : public Processes {
 public:
  std::wstring ProgramFileName(const std::wstring& stem) override {
    return stem;
  }

  std::unique_ptr<Process> Start(const std::wstring& program,
                                 const std::wstring& command_line,
                                 std::uint32_t* error) override {
    std::uint32_t ignored = 0;
    if (error == nullptr) error = &ignored;

    const std::string path = ToUtf8(program);
    std::vector<std::string> arguments;
    for (const std::wstring& argument : SplitCommandLine(command_line)) {
      arguments.push_back(ToUtf8(argument));
    }
    if (arguments.empty()) arguments.push_back(path);
    std::vector<char*> argv;
    argv.reserve(arguments.size() + 1);
    for (std::string& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);

    SpawnActions actions;
    SpawnAttributes attributes;
    if (!actions.ok() || !attributes.ok()) {
      *error = ENOMEM;
      return nullptr;
    }
    // No terminal input, and no descriptor of ours beyond the standard
    // ones: handles are not inherited.
    int rc = posix_spawn_file_actions_addopen(actions.get(), STDIN_FILENO,
                                              "/dev/null", O_RDONLY, 0);
#if defined(__GLIBC__) && \
    (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 34))
    if (rc == 0)
      rc = posix_spawn_file_actions_addclosefrom_np(actions.get(), 3);
#endif
    // A group of its own, so that the terminal's signals do not reach the
    // tool and Terminate reaches the tool's own children; the signal state
    // of this thread (a worker may block signals) is not passed on.
    sigset_t mask;
    sigemptyset(&mask);
    sigset_t defaults;
    sigemptyset(&defaults);
    for (int signal : {SIGPIPE, SIGCHLD, SIGINT, SIGQUIT, SIGTERM, SIGHUP}) {
      sigaddset(&defaults, signal);
    }
    if (rc == 0) {
      rc = posix_spawnattr_setflags(
          attributes.get(), POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK |
                                POSIX_SPAWN_SETSIGDEF);
    }
    if (rc == 0) rc = posix_spawnattr_setpgroup(attributes.get(), 0);
    if (rc == 0) rc = posix_spawnattr_setsigmask(attributes.get(), &mask);
    if (rc == 0)
      rc = posix_spawnattr_setsigdefault(attributes.get(), &defaults);
    pid_t pid = 0;
    if (rc == 0) {
      rc = posix_spawn(&pid, path.c_str(), actions.get(), attributes.get(),
                       argv.data(), environ);
    }
    if (rc != 0) {
      *error = static_cast<std::uint32_t>(rc);
      return nullptr;
    }
    return std::make_unique<PosixProcess>(pid, OpenPidfd(pid));
  }
};

}  // namespace

std::shared_ptr<Processes> MakeProcesses() {
  return std::make_shared<PosixProcesses>();
}

}  // namespace tessaline::platform::posix
