// Temporary folders on Windows, below the user's temporary folder. Names
// given in UTF-8 are converted as UTF-8, not in the ANSI code page that
// std::filesystem::path would use for narrow text.
#include "support/core/temp_folder.h"

#include <atomic>
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

}  // namespace tessaline::testing
