// Child processes on POSIX: fork and exec with the arguments split from a
// Windows command line, waited for through a pidfd. Not posix_spawn: the
// child must be bound to its starter's death before it runs the program.
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#ifdef __linux__
#include <sys/prctl.h>
#endif
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

// What the child does between fork and exec: only async-signal-safe calls,
// since the parent has other threads whose locks the child inherits.
// Writes errno to `report` and ends when it cannot exec.
[[noreturn]] void BecomeChild(const char* path, char* const* argv, pid_t parent,
                              int report) {
  // A group of its own, so that the terminal's signals do not reach the
  // tool and Terminate reaches the tool's own children.
  setpgid(0, 0);
#ifdef __linux__
  // The tool must not outlive its starter. The kernel ties this to the
  // starting thread, which waits for the tool before it ends.
  prctl(PR_SET_PDEATHSIG, SIGKILL);
  if (getppid() != parent) _exit(127);
#else
  (void)parent;
#endif
  // The signal state of the starting thread (a worker may block signals,
  // the host may catch some) is not passed on.
  struct sigaction defaults {};
  defaults.sa_handler = SIG_DFL;
  sigemptyset(&defaults.sa_mask);
  for (int signal : {SIGPIPE, SIGCHLD, SIGINT, SIGQUIT, SIGTERM, SIGHUP}) {
    sigaction(signal, &defaults, nullptr);
  }
  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);
  // No terminal input, and no descriptor of ours beyond the standard ones.
  const int input = open("/dev/null", O_RDONLY);
  if (input > STDIN_FILENO) {
    dup2(input, STDIN_FILENO);
    close(input);
  }
#ifdef SYS_close_range
  syscall(SYS_close_range, 3u, ~0u, 4u /* CLOSE_RANGE_CLOEXEC */);
#endif
  execve(path, argv, environ);
  const int error = errno;
  ssize_t written;
  do {
    written = write(report, &error, sizeof error);
  } while (written < 0 && errno == EINTR);
  _exit(127);
}

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

    // The child tells why exec failed through this pipe; exec closes it.
    int report[2];
    if (pipe2(report, O_CLOEXEC) != 0) {
      *error = static_cast<std::uint32_t>(errno);
      return nullptr;
    }
    const pid_t parent = getpid();
    const pid_t pid = fork();
    if (pid == 0) BecomeChild(path.c_str(), argv.data(), parent, report[1]);
    const int fork_error = errno;
    close(report[1]);
    if (pid < 0) {
      close(report[0]);
      *error = static_cast<std::uint32_t>(fork_error);
      return nullptr;
    }
    int exec_error = 0;
    ssize_t got;
    do {
      got = read(report[0], &exec_error, sizeof exec_error);
    } while (got < 0 && errno == EINTR);
    close(report[0]);
    if (got == static_cast<ssize_t>(sizeof exec_error)) {
      int status = 0;
      while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
      }
      *error = static_cast<std::uint32_t>(exec_error);
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
