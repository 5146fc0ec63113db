// Filling and reading files in the tests' temporary folders.
#include <algorithm>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <vector>

#include "support/core/temp_folder.h"

namespace tessaline::testing {

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

std::map<std::string, std::string> TreeOf(const std::filesystem::path& folder) {
  namespace fs = std::filesystem;
  std::map<std::string, std::string> tree;
  for (const fs::directory_entry& entry :
       fs::recursive_directory_iterator(folder)) {
    const std::string name = entry.path().lexically_relative(folder).string();
    if (entry.is_symlink()) {
      tree[name] = "link to " + fs::read_symlink(entry.path()).string();
    } else if (entry.is_directory()) {
      tree[name] = "dir";
    } else {
      tree[name] = ReadFile(entry.path());
    }
  }
  return tree;
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
