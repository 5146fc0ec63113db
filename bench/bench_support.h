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
#include <cstdint>
#include <filesystem>
#include <fstream>
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

// The tree both file benchmarks measure: about 1 GiB of real data (no file
// is a hole, and no two blocks are alike), a thousand files of 1 KiB to
// 1 MiB in twenty folders below `folders`, and one file of 512 MiB.
inline constexpr int kTreeFolders = 20;
inline constexpr int kTreeFilesPerFolder = 50;
inline constexpr int kTreeFiles = kTreeFolders * kTreeFilesPerFolder + 1;
inline constexpr std::uint64_t kTreeBigFile = 512ull << 20;

class Filler {
 public:
  void Write(const std::filesystem::path& path, std::uint64_t size) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    std::vector<std::uint64_t> block(1 << 17);  // 1 MiB
    while (size > 0) {
      for (auto& word : block) word = Next();
      const std::uint64_t bytes = block.size() * sizeof(block[0]);
      const std::uint64_t n = size < bytes ? size : bytes;
      out.write(reinterpret_cast<const char*>(block.data()),
                static_cast<std::streamsize>(n));
      size -= n;
    }
    if (!out) throw std::runtime_error("cannot write " + path.string());
  }
  // 1 KiB to 1 MiB, 512 KiB on average.
  std::uint64_t NextSize() { return 1024 + Next() % ((1u << 20) - 1024); }

 private:
  std::uint64_t Next() {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 7;
    state_ ^= state_ << 17;
    return state_;
  }
  std::uint64_t state_ = 0x9E3779B97F4A7C15ull;
};

// Makes the tree; returns its size in bytes.
inline std::uint64_t MakeGibTree(const std::filesystem::path& folders,
                                 const std::filesystem::path& big_file) {
  Filler filler;
  std::uint64_t total = kTreeBigFile;
  for (int folder = 0; folder < kTreeFolders; ++folder) {
    const auto dir = folders / ("folder" + std::to_string(folder));
    std::filesystem::create_directories(dir);
    for (int file = 0; file < kTreeFilesPerFolder; ++file) {
      const std::uint64_t size = filler.NextSize();
      filler.Write(dir / ("file" + std::to_string(file) + ".dat"), size);
      total += size;
    }
  }
  filler.Write(big_file, kTreeBigFile);
  return total;
}

}  // namespace tessaline::bench

#endif  // TESSALINE_BENCH_BENCH_SUPPORT_H_
