// A real temporary folder, removed with all it holds, and file helpers.
#ifndef TESSALINE_TESTS_SUPPORT_CORE_TEMP_FOLDER_H_
#define TESSALINE_TESTS_SUPPORT_CORE_TEMP_FOLDER_H_

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace tessaline::testing {

class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::filesystem::path& path() const { return path_; }
  // The folder, or a path below it, as wide text.
  std::wstring Wide(const std::string& relative = "") const;

 private:
  std::filesystem::path path_;
};

void WriteFile(const std::filesystem::path& path, const std::string& content);
std::string ReadFile(const std::filesystem::path& path);
// Each relative path below `folder` with "dir", "link to " and the target,
// or the file's bytes.
std::map<std::string, std::string> TreeOf(const std::filesystem::path& folder);
void WritePatternFile(const std::filesystem::path& path, std::uint64_t size,
                      std::uint32_t seed);

// Runs a program (POSIX only) with each argument passed whole; its standard
// output and error together, and its exit status.
struct CommandResult {
  int status = -1;
  std::string output;
};
CommandResult RunCommand(const std::vector<std::string>& arguments);

}  // namespace tessaline::testing

#endif  // TESSALINE_TESTS_SUPPORT_CORE_TEMP_FOLDER_H_
