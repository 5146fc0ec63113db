#include "platform/stdout_console.h"

#include <cstdio>
#include <mutex>

namespace tessaline::platform {
namespace {

class StdoutConsole final : public Console {
 public:
  void Write(const std::string& text) override {
    // Lines come from the job's thread and the host's; keep each whole.
    std::lock_guard<std::mutex> lock(mutex_);
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
  }

 private:
  std::mutex mutex_;
};

}  // namespace

std::shared_ptr<Console> MakeStdoutConsole() {
  return std::make_shared<StdoutConsole>();
}

}  // namespace tessaline::platform
