// The Linux kernel's own UDF driver mounts an image of mixed cases and
// reads every file back: the tool named by TESSALINE_KERNEL_MOUNT_CHECK
// boots a kernel under emulation and lists "md5 size path" for each file
// and "DIR path" for each folder. Without the tool the test is skipped.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <utility>

#include "support/core/temp_folder.h"
#include "udf_test_support.h"

namespace tessaline::testing::udf {
namespace {

using Listing = std::map<std::string, std::pair<std::string, std::uint64_t>>;

struct Oracle {
  bool mounted = false;
  Listing files;  // "./path" -> (md5, size)
  std::set<std::string> folders;
};

Oracle ParseOracle(const std::string& output) {
  Oracle oracle;
  std::istringstream lines(output);
  std::string line;
  bool inside = false;
  while (std::getline(lines, line)) {
    if (line.rfind("=== ORACLE BEGIN", 0) == 0) inside = true;
    if (line.rfind("=== ORACLE END", 0) == 0) inside = false;
    if (!inside) continue;
    if (line == "MOUNT OK udf") {
      oracle.mounted = true;
    } else if (line.rfind("DIR ", 0) == 0) {
      oracle.folders.insert(line.substr(4));
    } else if (line.size() > 34 && line[32] == ' ') {
      const std::size_t space = line.find(' ', 33);
      if (space == std::string::npos) continue;
      oracle.files[line.substr(space + 1)] = {
          line.substr(0, 32), std::stoull(line.substr(33, space - 33))};
    }
  }
  return oracle;
}

// What the tool should list for `folder`, computed with md5sum.
Oracle Expected(const fs::path& folder) {
  Oracle expected;
  expected.mounted = true;
  int status = 0;
  const std::string sums = RunCommand(
      "cd " + Quote(folder) + " && find . -type f -print0 | xargs -0 -r md5sum",
      &status);
  std::istringstream lines(sums);
  std::string line;
  while (std::getline(lines, line)) {
    const std::string path = line.substr(34);
    expected.files[path] = {line.substr(0, 32), fs::file_size(folder / path)};
  }
  expected.folders.insert(".");
  for (const auto& [path, is_folder] : ListFolder(folder)) {
    if (is_folder) expected.folders.insert("./" + path);
  }
  return expected;
}

TEST(UdfKernelTest, KernelMountsAndReadsEveryFile) {
  const char* tool = std::getenv("TESSALINE_KERNEL_MOUNT_CHECK");
  if (tool == nullptr || access(tool, X_OK) != 0) {
    GTEST_SKIP() << "TESSALINE_KERNEL_MOUNT_CHECK does not name the kernel "
                    "mount check tool; the kernel's reading is not checked";
  }
  TempFolder temp;
  const fs::path source = temp.path() / "source";
  WriteFile(source / "empty.txt", "");
  WriteFile(source / "sub" / "empty too", "");
  WriteFile(source / "exact2048.bin", std::string(2048, 'x'));
  WritePatternFile(source / "pattern.bin", 5 * 2048 + 5, 3);
  WriteFile(source / "café crème.txt", "accents");
  WriteFile(source / "日本語のファイル.txt", "CJK");
  WriteFile(source / "𝄞 clef.txt", "beyond the basic plane");
  WriteFile(source / "Ünïcode dir" / "文件" / "😀.bin", std::string(5000, 1));
  fs::create_directories(source / "empty folder");
  for (int i = 0; i < 300; ++i) {
    WriteFile(source / "many" / ("entry-" + std::to_string(i) + ".txt"),
              std::to_string(i));
  }
  fs::path deep = source;
  for (int depth = 0; depth < 64; ++depth) {
    deep /= "d" + std::to_string(depth);
  }
  WriteFile(deep / "bottom.txt", "bottom");

  const fs::path image = temp.path() / "mixed.udf";
  const BuiltImage built = BuildImage(source, image, std::wstring(200, L'V'));
  ASSERT_EQ(built.status, platform::kS_OK);

  int status = 0;
  const std::string output =
      RunCommand(std::string(tool) + " " + Quote(image) + " udf", &status);
  ASSERT_EQ(status, 0) << output;
  const Oracle kernel = ParseOracle(output);
  const Oracle expected = Expected(source);
  ASSERT_TRUE(kernel.mounted) << output;
  EXPECT_EQ(kernel.files, expected.files);
  EXPECT_EQ(kernel.folders, expected.folders);
  EXPECT_EQ(kernel.files.size(), 309u);
}

}  // namespace
}  // namespace tessaline::testing::udf
