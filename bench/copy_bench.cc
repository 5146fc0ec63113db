// Copies a tree of about 1 GiB (a thousand files of assorted sizes in twenty
// folders, and one file of 512 MiB) with CopyDiscItems and with `cp -r`, and
// prints the ratio of their wall times; the target is at most 1.1.
//
// Caches are left alone: each copy runs twice, interleaved with the other,
// into a fresh destination, and the second run counts, so both read a warm
// source. Dirty pages are flushed before every run so that no run pays for
// the write-back of the one before.
//
// Usage: copy_bench [folder in which to make the scratch folder]
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench_support.h"
#include "copy_compare/copy.h"
#include "copy_compare/file_handlers.h"
#include "platform/posix/posix_backends.h"
#include "platform/text.h"
#include "tessaline/tessaline.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Seconds = std::chrono::duration<double>;

class SteadyClock : public tessaline::platform::Clock {
 public:
  std::uint32_t TickCount() override {
    return static_cast<std::uint32_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::steady_clock::now().time_since_epoch())
            .count());
  }
  std::uint64_t SystemTime() override { return 0; }
  void Sleep(std::uint32_t) override {}
};

void FreshDestination(const fs::path& destination) {
  fs::remove_all(destination);
  fs::create_directories(destination);
  ::sync();
}

double TimeCopyDiscItems(const tessaline::platform::Platform& platform,
                         const fs::path& source, const fs::path& destination) {
  FreshDestination(destination);
  tessaline::CancelFlag cancel{0};
  const auto start = std::chrono::steady_clock::now();
  tessaline::CopyDiscItems(
      platform, {}, tessaline::platform::FromUtf8(source.string()),
      L"tree,big.bin", tessaline::platform::FromUtf8(destination.string()),
      &cancel);
  return Seconds(std::chrono::steady_clock::now() - start).count();
}

double TimeCp(const fs::path& source, const fs::path& destination) {
  FreshDestination(destination);
  return tessaline::bench::RunTimed({"cp", "-r", (source / "tree").string(),
                                     (source / "big.bin").string(),
                                     destination.string() + "/"})
      .seconds;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    tessaline::bench::Scratch scratch(
        argc > 1 ? fs::path(argv[1]) : fs::temp_directory_path(),
        "tessaline-copy-bench");
    const fs::path source = scratch.path() / "source";
    const fs::path destination = scratch.path() / "destination";
    std::printf("Making the source tree in %s ...\n", source.c_str());
    const std::uint64_t bytes =
        tessaline::bench::MakeGibTree(source / "tree", source / "big.bin");
    std::printf("%d files, %.1f MiB\n", tessaline::bench::kTreeFiles,
                static_cast<double>(bytes) / (1 << 20));

    tessaline::platform::Platform platform;
    platform.files = tessaline::platform::posix::MakeFileSystem();
    platform.clock = std::make_shared<SteadyClock>();

    double ours = 0;
    double theirs = 0;
    for (int round = 0; round < 2; ++round) {
      ours = TimeCopyDiscItems(platform, source, destination);
      theirs = TimeCp(source, destination);
    }
    // The last copy is cp's; ours is checked on a copy of its own.
    TimeCopyDiscItems(platform, source, destination);
    for (const char* item : {"tree", "big.bin"}) {
      const auto from = tessaline::platform::FromUtf8((source / item).string());
      const auto to =
          tessaline::platform::FromUtf8((destination / item).string());
      const bool same =
          fs::is_directory(source / item)
              ? tessaline::RecursiveFolderVerify(platform, from, to, nullptr) ==
                    0
              : tessaline::CompareFile(platform, from, to, 0, nullptr) == 0;
      if (!same) throw std::runtime_error(std::string("copy differs: ") + item);
    }

    std::printf("CopyDiscItems: %.3f s (%.0f MiB/s)\n", ours,
                static_cast<double>(bytes) / (1 << 20) / ours);
    std::printf("cp -r:         %.3f s (%.0f MiB/s)\n", theirs,
                static_cast<double>(bytes) / (1 << 20) / theirs);
    const double ratio = ours / theirs;
    std::printf("ratio:         %.3f (target: at most 1.1) %s\n", ratio,
                ratio <= 1.1 ? "met" : "MISSED");
    return 0;
  } catch (const MediaWriterException& e) {
    std::fprintf(stderr, "copy failed: %s\n",
                 tessaline::platform::ToUtf8(e.message).c_str());
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
  }
  return 1;
}
