// The user prompt on POSIX: the text goes to standard error; the prompt
// waits for Enter only where a person can give it, so that no run without a
// terminal blocks for ever.
#include <errno.h>
#include <fcntl.h>
#include <unistd.h>

#include <memory>
#include <mutex>
#include <string>

#include "platform/platform.h"
#include "platform/posix/posix_backends.h"
#include "platform/text.h"

namespace tessaline::platform::posix {
namespace {

void WriteAll(int fd, const std::string& text) {
  std::size_t done = 0;
  while (done < text.size()) {
    const ssize_t written = write(fd, text.data() + done, text.size() - done);
    if (written < 0) {
      if (errno == EINTR) continue;
      return;
    }
    done += static_cast<std::size_t>(written);
  }
}

class TerminalPrompt final : public Prompt {
 public:
  void Show(const std::wstring& text, const std::wstring& caption) override {
    // Prompts of two threads come one after the other, not interleaved.
    std::lock_guard<std::mutex> lock(mutex_);
    std::string message;
    if (!caption.empty()) message = ToUtf8(caption) + ": ";
    message += ToUtf8(text);
    message += '\n';
    WriteAll(STDERR_FILENO, message);

    const int terminal = open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (terminal < 0) return;  // No controlling terminal.
    // Reading the terminal from a background group would stop the process.
    if (tcgetpgrp(terminal) == getpgrp()) {
      WriteAll(terminal, "Press Enter to continue.");
      char c = 0;
      for (;;) {
        const ssize_t got = read(terminal, &c, 1);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0 || c == '\n') break;
      }
    }
    close(terminal);
  }

  // POSIX threads have no message queue.
  void PumpOneMessage() override {}

 private:
  std::mutex mutex_;
};

}  // namespace

std::shared_ptr<Prompt> MakePrompt() {
  return std::make_shared<TerminalPrompt>();
}

}  // namespace tessaline::platform::posix
