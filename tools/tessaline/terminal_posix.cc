// The terminal on POSIX systems.
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdio>

#include "terminal.h"

namespace tessaline_cli {
namespace {

std::atomic<int> interrupts{0};
static_assert(std::atomic<int>::is_always_lock_free,
              "the signal handler needs a lock-free counter");

void OnInterrupt(int) {
  if (interrupts.fetch_add(1) > 0) _exit(130);
}

void WriteAll(int fd, std::string_view text) {
  while (!text.empty()) {
    const ssize_t written = write(fd, text.data(), text.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      return;
    }
    text.remove_prefix(static_cast<std::size_t>(written));
  }
}

}  // namespace

void WriteStdout(std::string_view text) { WriteAll(STDOUT_FILENO, text); }

void SetEnvironment(const std::string& name, const std::string& value) {
  setenv(name.c_str(), value.c_str(), 1);
}

bool StdoutIsTerminal() { return isatty(STDOUT_FILENO) == 1; }

int TerminalColumns() {
  winsize size{};
  if (ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) {
    return size.ws_col;
  }
  return 80;
}

void InstallInterruptHandler() {
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  // The library's threads get the signal too; their calls must go on.
  action.sa_flags = SA_RESTART;
  // Being told to end, or losing the terminal, is a Ctrl-C: the running
  // disc is cancelled, which stops the mastering tool and removes the build
  // folder. A second signal ends at once; the library's tools end with us.
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
    sigaction(signal, &action, nullptr);
  }
}

bool Interrupted() { return interrupts.load() > 0; }

Answer WaitForEnter() {
  for (;;) {
    if (Interrupted()) return Answer::kInterrupted;
    pollfd input{STDIN_FILENO, POLLIN, 0};
    if (poll(&input, 1, 200) <= 0) continue;
    char c = 0;
    const ssize_t got = read(STDIN_FILENO, &c, 1);
    if (got < 0) continue;
    if (got == 0) return Answer::kEndOfInput;
    if (c == '\n') return Answer::kEnter;
  }
}

StdoutCapture::StdoutCapture(LineHandler on_line)
    : on_line_(std::move(on_line)) {
  std::fflush(stdout);
  int ends[2];
  if (pipe2(ends, O_CLOEXEC) != 0) return;
  const int saved = fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3);
  if (saved < 0 || dup2(ends[1], STDOUT_FILENO) < 0) {
    if (saved >= 0) close(saved);
    close(ends[0]);
    close(ends[1]);
    return;
  }
  close(ends[1]);
  saved_ = saved;
  read_end_ = ends[0];
  reader_ = std::thread(&StdoutCapture::Pump, this);
}

StdoutCapture::~StdoutCapture() {
  if (saved_ < 0) return;
  std::fflush(stdout);
  // Standard output no longer leads into the pipe, so the reader sees its
  // end once the last writer (a tool the library started) is gone.
  dup2(saved_, STDOUT_FILENO);
  reader_.join();
  close(read_end_);
  close(saved_);
}

void StdoutCapture::Write(std::string_view text) const {
  WriteAll(active() ? saved_ : STDOUT_FILENO, text);
}

void StdoutCapture::Pump() {
  std::string pending;
  char buffer[4096];
  for (;;) {
    const ssize_t got = read(read_end_, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    pending.append(buffer, static_cast<std::size_t>(got));
    std::size_t end;
    while ((end = pending.find('\n')) != std::string::npos) {
      on_line_(pending.substr(0, end));
      pending.erase(0, end + 1);
    }
  }
  if (!pending.empty()) on_line_(pending);
}

}  // namespace tessaline_cli
