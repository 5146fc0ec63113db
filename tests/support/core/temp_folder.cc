#include "support/core/temp_folder.h"

#include <stdlib.h>

#include <fstream>
#include <sstream>
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

void WriteFile(const std::filesystem::path& path, const std::string& content) {
  if (path.has_parent_path()) {
    std::filesystem::create_directories(path.parent_path());
  }
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(content.data(), static_cast<std::streamsize>(content.size()));
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

void WritePatternFile(const std::filesystem::path& path, std::uint64_t size,
                      std::uint32_t seed) {
  if (path.has_parent_path()) {
    std::filesystem::create_directories(path.parent_path());
  }
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  std::vector<char> block(1 << 16);
  std::uint32_t state = seed * 2654435761u + 1;
  while (size > 0) {
    for (auto& byte : block) {
      state = state * 1103515245u + 12345u;
      byte = static_cast<char>(state >> 24);
    }
    auto n =
        static_cast<std::size_t>(std::min<std::uint64_t>(size, block.size()));
    out.write(block.data(), static_cast<std::streamsize>(n));
    size -= n;
  }
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

}  // namespace tessaline::testing
