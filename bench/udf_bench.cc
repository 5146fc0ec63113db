// Builds the UDF image of a tree of about 1 GiB (a thousand files of
// assorted sizes and one file of 512 MiB) and streams it to /dev/null,
// beside `genisoimage -udf -o /dev/null` of the same tree and `cat` of all
// its files to /dev/null. Prints the ratios of wall times (targets: at most
// 1.0 against genisoimage, 1.2 against cat) and the peak resident memory of
// the image build, then that memory for a tree of 100,000 small files
// (target: under 64 MiB).
//
// Each contender runs as a child process, so that its wall time and peak
// memory are its own. Caches are warm: every contender runs twice,
// interleaved with the others, and the second run counts.
//
// Usage: udf_bench [folder in which to make the scratch folder]
//        udf_bench --image FOLDER   (the child: build and stream one image)
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench_support.h"
#include "platform/disc.h"
#include "platform/text.h"
#include "platform/udf/udf_image.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
namespace platform = tessaline::platform;

constexpr int kSmallFolders = 100;
constexpr int kSmallFilesPerFolder = 1000;

void MakeSmallTree(const fs::path& source) {
  for (int folder = 0; folder < kSmallFolders; ++folder) {
    const fs::path dir = source / ("folder" + std::to_string(folder));
    fs::create_directories(dir);
    for (int file = 0; file < kSmallFilesPerFolder; ++file) {
      std::ofstream(dir / ("small-file-" + std::to_string(file) + ".txt"))
          << folder << '/' << file << '\n';
    }
  }
}

// The child's work: the image of `folder`, streamed to /dev/null in 1 MiB
// pulls as a recorder would take it.
int BuildAndStream(const char* folder) {
  auto image = platform::udf::CreateUdfFileSystemImage();
  std::shared_ptr<platform::IFsiDirectoryItem> root;
  std::shared_ptr<platform::IFileSystemImageResult> result;
  std::shared_ptr<platform::IStream> stream;
  platform::HRESULT status = image->PutFreeMediaBlocks(0);
  if (platform::Succeeded(status)) status = image->GetRoot(&root);
  if (platform::Succeeded(status)) {
    status = root->AddTree(platform::FromUtf8(folder), false);
  }
  if (platform::Succeeded(status)) status = image->PutVolumeName(L"BENCH");
  if (platform::Succeeded(status)) status = image->CreateResultImage(&result);
  if (platform::Succeeded(status)) status = result->GetImageStream(&stream);
  const int sink = ::open("/dev/null", O_WRONLY);
  std::vector<char> buffer(1 << 20);
  std::uint32_t got = static_cast<std::uint32_t>(buffer.size());
  while (platform::Succeeded(status) && got == buffer.size()) {
    status = stream->Read(buffer.data(), got, &got);
    if (::write(sink, buffer.data(), got) != static_cast<ssize_t>(got)) {
      status = platform::kE_FAIL;
    }
  }
  ::close(sink);
  if (platform::Failed(status)) {
    std::fprintf(stderr, "image failed: %08x\n", static_cast<unsigned>(status));
    return 1;
  }
  return 0;
}

using Run = tessaline::bench::CommandRun;

Run Spawn(std::vector<std::string> args) {
  return tessaline::bench::RunTimed(std::move(args));
}

Run Ours(const fs::path& tree) {
  return Spawn({"/proc/self/exe", "--image", tree.string()});
}
Run Genisoimage(const fs::path& tree) {
  return Spawn(
      {"genisoimage", "-quiet", "-udf", "-o", "/dev/null", tree.string()});
}
Run Cat(const fs::path& tree) {
  return Spawn({"sh", "-c",
                "find \"$0\" -type f -print0 | xargs -0 cat > /dev/null",
                tree.string()});
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "--image") == 0) {
    return BuildAndStream(argv[2]);
  }
  try {
    tessaline::bench::Scratch scratch(
        argc > 1 ? fs::path(argv[1]) : fs::temp_directory_path(),
        "tessaline-udf-bench");
    const fs::path large = scratch.path() / "large";
    std::printf("Making the tree in %s ...\n", large.c_str());
    const std::uint64_t bytes =
        tessaline::bench::MakeGibTree(large, large / "big.bin");
    std::printf("%d files, %.1f MiB\n", tessaline::bench::kTreeFiles,
                static_cast<double>(bytes) / (1 << 20));
    ::sync();

    Run ours, genisoimage, cat;
    for (int round = 0; round < 2; ++round) {
      cat = Cat(large);
      ours = Ours(large);
      genisoimage = Genisoimage(large);
    }
    std::printf("image build and stream: %.2f s, peak %.1f MiB\n", ours.seconds,
                ours.peak_mib);
    std::printf("genisoimage -udf:       %.2f s\n", genisoimage.seconds);
    std::printf("cat:                    %.2f s\n", cat.seconds);
    const double versus_genisoimage = ours.seconds / genisoimage.seconds;
    const double versus_cat = ours.seconds / cat.seconds;
    std::printf("ratio to genisoimage: %.2f (target <= 1.0) %s\n",
                versus_genisoimage,
                versus_genisoimage <= 1.0 ? "ok" : "MISSED");
    std::printf("ratio to cat:         %.2f (target <= 1.2) %s\n", versus_cat,
                versus_cat <= 1.2 ? "ok" : "MISSED");
    fs::remove_all(large);

    const fs::path small = scratch.path() / "small";
    std::printf("Making %d small files ...\n",
                kSmallFolders * kSmallFilesPerFolder);
    MakeSmallTree(small);
    Ours(small);
    const Run many = Ours(small);
    std::printf(
        "100,000 small files: %.2f s, peak %.1f MiB (target < 64 MiB) %s\n",
        many.seconds, many.peak_mib, many.peak_mib < 64 ? "ok" : "MISSED");
    const bool met =
        versus_genisoimage <= 1.0 && versus_cat <= 1.2 && many.peak_mib < 64;
    return met ? 0 : 2;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "udf_bench: %s\n", e.what());
    return 1;
  }
}
