// Compares a 1 GiB image with a device holding the same bytes through the
// boot disc's read-back comparison, and the same two files with `cmp`, and
// prints the ratio of their wall times; the target is at most 1.1.
//
// The device is a virtual drive whose medium file holds the image's bytes,
// read raw as the library reads a recorder's volume device. Each side runs
// twice, interleaved, and the second run counts, so both read warm files.
//
// Usage: read_back_bench [folder in which to make the scratch folder]
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench_support.h"
#include "copy_compare/read_back.h"
#include "platform/platform.h"
#include "platform/text.h"
#include "platform/virtual/drive_folder.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Seconds = std::chrono::duration<double>;

constexpr std::uint64_t kImageBytes = 1ull << 30;

void WriteImage(const fs::path& path) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  std::mt19937_64 random(7);
  std::vector<std::uint64_t> block(1 << 17);  // 1 MiB
  for (std::uint64_t written = 0; written < kImageBytes;
       written += block.size() * sizeof(std::uint64_t)) {
    for (auto& word : block) word = random();
    out.write(reinterpret_cast<const char*>(block.data()),
              static_cast<std::streamsize>(block.size() * 8));
  }
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

double TimeCmp(const fs::path& a, const fs::path& b) {
  return tessaline::bench::RunTimed({"cmp", a.string(), b.string()}).seconds;
}

double TimeReadBack(const tessaline::platform::Platform& platform,
                    const fs::path& work) {
  auto start = std::chrono::steady_clock::now();
  tessaline::CompareDiscWithImage(platform, tessaline::StatusReporter(),
                                  tessaline::platform::FromUtf8(work.string()),
                                  0, nullptr);
  return Seconds(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
  try {
    tessaline::bench::Scratch scratch(
        argc > 1 ? fs::path(argv[1]) : fs::temp_directory_path(),
        "tessaline-read-back");
    const fs::path drives = scratch.path() / "drives";
    const fs::path work = scratch.path() / "work";
    fs::create_directories(work);
    std::string error;
    if (!tessaline::platform::CreateDriveFolder(
            drives.string(), "drive0", IMAPI_MEDIA_TYPE_DVDPLUSR_DUALLAYER,
            &error)) {
      throw std::runtime_error(error);
    }
    std::printf("writing a %llu MiB image...\n",
                static_cast<unsigned long long>(kImageBytes >> 20));
    WriteImage(work / "boot.iso");
    // The medium holds the image's bytes, as after writing the boot disc.
    fs::remove(drives / "drive0" / "medium.ini");
    fs::copy_file(work / "boot.iso", drives / "drive0" / "medium.img",
                  fs::copy_options::overwrite_existing);

    setenv("TESSALINE_DRIVES", drives.c_str(), 1);
    auto platform = tessaline::platform::SystemPlatform();
    double ours = 0, theirs = 0;
    for (int run = 0; run < 2; ++run) {
      ours = TimeReadBack(*platform, work);
      theirs = TimeCmp(work / "boot.iso", drives / "drive0" / "medium.img");
    }
    std::printf("read-back comparison %.2f s, cmp %.2f s\n", ours, theirs);
    std::printf("ratio %.2f (target: at most 1.10)\n", ours / theirs);
    return 0;
  } catch (const MediaVerifyException& e) {
    std::fprintf(stderr, "verification failed: chunk %d code %d\n", e.chunk,
                 e.code);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "read_back_bench: %s\n", e.what());
  }
  return 1;
}
