// What the benchmarks share: a scratch folder removed on every way out, and
// timing a peer tool run as a child process.
#ifndef TESSALINE_BENCH_BENCH_SUPPORT_H_
#define TESSALINE_BENCH_BENCH_SUPPORT_H_

#include <spawn.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

extern char** environ;

namespace tessaline::bench {

class Scratch {
 public:
  Scratch(const std::filesystem::path& parent, const std::string& name) {
    std::string pattern = (parent / (name + "-XXXXXX")).string();
    if (::mkdtemp(pattern.data()) == nullptr) {
      throw std::runtime_error("cannot create a folder in " + parent.string());
    }
    path_ = pattern;
  }
  ~Scratch() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  Scratch(const Scratch&) = delete;
  Scratch& operator=(const Scratch&) = delete;
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

struct CommandRun {
  double seconds = 0;
  double peak_mib = 0;
};

// Runs a program (found on the PATH) to its end; throws unless it exits 0.
inline CommandRun RunTimed(std::vector<std::string> args) {
  std::vector<char*> argv;
  for (auto& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  const auto start = std::chrono::steady_clock::now();
  pid_t pid;
  if (::posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) !=
      0) {
    throw std::runtime_error("cannot start " + args[0]);
  }
  int status = 0;
  rusage usage{};
  while (::wait4(pid, &status, 0, &usage) < 0) {
    if (errno != EINTR) throw std::runtime_error("cannot wait for " + args[0]);
  }
  CommandRun run;
  run.seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start)
          .count();
  run.peak_mib = static_cast<double>(usage.ru_maxrss) / 1024;
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    throw std::runtime_error(args[0] + " failed");
  }
  return run;
}

}  // namespace tessaline::bench

#endif  // TESSALINE_BENCH_BENCH_SUPPORT_H_
