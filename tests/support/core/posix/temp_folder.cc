// Temporary folders below the system's temporary folder.
#include "support/core/temp_folder.h"

#include <stdlib.h>
#include <sys/wait.h>

#include <cstdio>
#include <stdexcept>
#include <vector>

#include "platform/text.h"

namespace tessaline::testing {

TempFolder::TempFolder() {
  std::string pattern =
      (std::filesystem::temp_directory_path() / "tessaline-test-XXXXXX")
          .string();
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  if (mkdtemp(buffer.data()) == nullptr) {
    throw std::runtime_error("cannot create a temporary folder");
  }
  path_ = buffer.data();
}

TempFolder::~TempFolder() {
  std::error_code ignored;
  // Read-only files and folders must not keep the tree alive.
  for (auto it = std::filesystem::recursive_directory_iterator(
           path_, std::filesystem::directory_options::skip_permission_denied,
           ignored);
       it != std::filesystem::recursive_directory_iterator(); ++it) {
    std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ignored);
  }
  std::filesystem::remove_all(path_, ignored);
}

std::wstring TempFolder::Wide(const std::string& relative) const {
  std::string full =
      relative.empty() ? path_.string() : (path_ / relative).string();
  return platform::FromUtf8(full);
}

CommandResult RunCommand(const std::vector<std::string>& arguments) {
  // Each argument quoted whole, so that the shell splits nothing.
  std::string command;
  for (const std::string& argument : arguments) {
    command += " '";
    for (char c : argument) command += c == '\'' ? "'\\''" : std::string(1, c);
    command += "'";
  }
  CommandResult result;
  FILE* pipe = popen((command + " 2>&1").c_str(), "r");
  if (pipe == nullptr) return result;
  char buffer[4096];
  for (std::size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
    result.output.append(buffer, n);
  }
  const int status = pclose(pipe);
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

}  // namespace tessaline::testing
