// Temporary folders on Windows, below the user's temporary folder. Names
// given in UTF-8 are converted as UTF-8, not in the ANSI code page that
// std::filesystem::path would use for narrow text.
#include "support/core/temp_folder.h"

#include <atomic>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/text.h"
#include "platform/windows/win32.h"

namespace tessaline::testing {
namespace {

std::filesystem::path TemporaryRoot() {
  wchar_t buffer[MAX_PATH + 1];
  const DWORD size = ::GetTempPathW(MAX_PATH + 1, buffer);
  if (size == 0 || size > MAX_PATH)
    return std::filesystem::temp_directory_path();
  return std::filesystem::path(std::wstring(buffer, size));
}

}  // namespace

TempFolder::TempFolder() {
  static std::atomic<unsigned> counter{0};
  const std::filesystem::path root = TemporaryRoot();
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::wstring name =
        L"tessaline-test-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
        std::to_wstring(::GetTickCount()) + L"-" + std::to_wstring(++counter);
    const std::filesystem::path candidate = root / name;
    if (::CreateDirectoryW(candidate.c_str(), nullptr)) {
      path_ = candidate;
      return;
    }
    if (::GetLastError() != ERROR_ALREADY_EXISTS) break;
  }
  throw std::runtime_error("cannot create a temporary folder");
}

TempFolder::~TempFolder() {
  std::error_code ignored;
  // Read-only files must not keep the tree alive.
  for (auto it = std::filesystem::recursive_directory_iterator(
           path_, std::filesystem::directory_options::skip_permission_denied,
           ignored);
       it != std::filesystem::recursive_directory_iterator(); ++it) {
    ::SetFileAttributesW(it->path().c_str(), FILE_ATTRIBUTE_NORMAL);
  }
  std::filesystem::remove_all(path_, ignored);
}

std::wstring TempFolder::Wide(const std::string& relative) const {
  if (relative.empty()) return path_.wstring();
  return (path_ / std::filesystem::path(platform::FromUtf8(relative)))
      .make_preferred()
      .wstring();
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
