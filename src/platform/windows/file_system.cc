// The Win32 file system. Paths go to the wide ("W") calls unchanged; native
// error codes are GetLastError values.
#include <io.h>
#include <sys/stat.h>

#include <algorithm>
#include <cwchar>
#include <limits>
#include <memory>
#include <string>

#include "platform/windows/win32.h"
#include "platform/windows/windows_backends.h"

namespace tessaline::platform::windows {
namespace {

// ReadFile and WriteFile take 32-bit counts.
constexpr std::int64_t kMaxTransfer = 1 << 30;

// The final path of an existing file or folder, links and junctions
// followed, without the "\\?\" prefix; empty when it cannot be opened.
std::wstring FinalPath(const std::wstring& path) {
  UniqueHandle handle(::CreateFileW(
      path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!handle.valid()) return {};
  std::wstring final(MAX_PATH, L'\0');
  for (;;) {
    const DWORD size = ::GetFinalPathNameByHandleW(
        handle.get(), final.data(), static_cast<DWORD>(final.size()),
        FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (size == 0) return {};
    if (size < final.size()) {
      final.resize(size);
      break;
    }
    final.resize(size + 1);
  }
  if (final.rfind(L"\\\\?\\UNC\\", 0) == 0) {
    final = L"\\\\" + final.substr(8);
  } else if (final.rfind(L"\\\\?\\", 0) == 0) {
    final.erase(0, 4);
  }
  return final;
}

bool Cancelled(const std::atomic<std::uint8_t>* cancel) {
  return cancel != nullptr && cancel->load(std::memory_order_relaxed) != 0;
}

DWORD CALLBACK CopyProgress(LARGE_INTEGER, LARGE_INTEGER, LARGE_INTEGER,
                            LARGE_INTEGER, DWORD, DWORD, HANDLE, HANDLE,
                            LPVOID context) {
  // PROGRESS_CANCEL makes CopyFileExW delete the partial destination.
  return Cancelled(static_cast<const std::atomic<std::uint8_t>*>(context))
             ? PROGRESS_CANCEL
             : PROGRESS_CONTINUE;
}

class WinFileLock final : public FileLock {
 public:
  explicit WinFileLock(UniqueHandle handle) : handle_(std::move(handle)) {}

 private:
  UniqueHandle handle_;
};

class WinFile final : public File {
 public:
  explicit WinFile(UniqueHandle handle) : handle_(std::move(handle)) {}

  std::int64_t Read(void* buffer, std::int64_t size) override {
    if (!handle_.valid() || size < 0) return -1;
    DWORD read = 0;
    const auto want =
        static_cast<DWORD>(std::min<std::int64_t>(size, kMaxTransfer));
    if (!::ReadFile(handle_.get(), buffer, want, &read, nullptr)) return -1;
    return read;
  }

  bool Write(const void* buffer, std::int64_t size) override {
    if (!handle_.valid() || size < 0) return false;
    const char* data = static_cast<const char*>(buffer);
    while (size > 0) {
      DWORD written = 0;
      const auto chunk =
          static_cast<DWORD>(std::min<std::int64_t>(size, kMaxTransfer));
      if (!::WriteFile(handle_.get(), data, chunk, &written, nullptr) ||
          written == 0) {
        return false;
      }
      data += written;
      size -= written;
    }
    return true;
  }

  bool Seek(std::int64_t offset) override {
    LARGE_INTEGER position;
    position.QuadPart = offset;
    return handle_.valid() &&
           ::SetFilePointerEx(handle_.get(), position, nullptr, FILE_BEGIN);
  }

  std::int64_t Size() override {
    LARGE_INTEGER size;
    if (!handle_.valid() || !::GetFileSizeEx(handle_.get(), &size)) return -1;
    return size.QuadPart;
  }

  bool Close() override { return handle_.Close(); }

 private:
  UniqueHandle handle_;
};

class WinFileSystem final : public FileSystem {
 public:
  wchar_t Separator() const override { return L'\\'; }

  bool Exists(const std::wstring& path) override {
    return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
  }

  // The directory bit of the first entry the search finds. A drive root
  // has no entry of its own to find; its attributes answer instead.
  bool IsDirectory(const std::wstring& path) override {
    WIN32_FIND_DATAW found;
    HANDLE search = ::FindFirstFileW(path.c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
      ::FindClose(search);
      return (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    }
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES &&
           (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  }

  CreateFolderResult CreateFolder(const std::wstring& path) override {
    if (::CreateDirectoryW(path.c_str(), nullptr)) {
      return CreateFolderResult::kCreated;
    }
    return ::GetLastError() == ERROR_ALREADY_EXISTS
               ? CreateFolderResult::kAlreadyExists
               : CreateFolderResult::kFailed;
  }

  CreateFolderResult CreateFolderTree(const std::wstring& path) override {
    // Inheritable, with the default security descriptor.
    // SHCreateDirectoryExW insists on a full path; a relative one is taken
    // from the current folder, as every other call here takes it.
    SECURITY_ATTRIBUTES security{};
    security.nLength = sizeof security;
    security.lpSecurityDescriptor = nullptr;
    security.bInheritHandle = TRUE;
    const int result =
        ::SHCreateDirectoryExW(nullptr, FullPathName(path).c_str(), &security);
    if (result == ERROR_SUCCESS) return CreateFolderResult::kCreated;
    if (result == ERROR_ALREADY_EXISTS || result == ERROR_FILE_EXISTS) {
      return CreateFolderResult::kAlreadyExists;
    }
    return CreateFolderResult::kFailed;
  }

  bool RemoveFolder(const std::wstring& path) override {
    return ::RemoveDirectoryW(path.c_str()) != FALSE;
  }

  bool ListFolder(const std::wstring& path,
                  std::vector<FolderEntry>* entries) override {
    entries->clear();
    const std::wstring pattern = path + L"\\*";
    WIN32_FIND_DATAW found;
    HANDLE search = ::FindFirstFileW(pattern.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
      // An empty drive root has not even "." to find.
      return ::GetLastError() == ERROR_FILE_NOT_FOUND;
    }
    do {
      const std::wstring name = found.cFileName;
      if (name == L"." || name == L"..") continue;
      FolderEntry entry{
          name, (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0,
          IsLink(found)};
      if (entry.is_link && !LeadsSomewhere(path + L"\\" + name, &entry)) {
        continue;
      }
      entries->push_back(std::move(entry));
    } while (::FindNextFileW(search, &found));
    const DWORD error = ::GetLastError();
    ::FindClose(search);
    return error == ERROR_NO_MORE_FILES;
  }

  std::wstring ResolveLinks(const std::wstring& path, bool* loop) override {
    if (loop != nullptr) *loop = false;
    UniqueHandle handle(OpenFollowing(path));
    if (!handle.valid()) {
      if (loop != nullptr)
        *loop = ::GetLastError() == ERROR_CANT_RESOLVE_FILENAME;
      return std::wstring();
    }
    std::wstring real(MAX_PATH, L'\0');
    for (;;) {
      const DWORD size = ::GetFinalPathNameByHandleW(
          handle.get(), real.data(), static_cast<DWORD>(real.size()),
          FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
      // A file system that cannot name its files (some RAM disks and
      // network redirectors) has no links to follow either.
      if (size == 0) return FullPathName(path);
      const bool fits = size < real.size();
      real.resize(size);
      if (fits) break;
    }
    // The system answers in the long form; the other calls are given the
    // short one.
    if (real.rfind(L"\\\\?\\UNC\\", 0) == 0) {
      real.replace(0, 8, L"\\\\");
    } else if (real.rfind(L"\\\\?\\", 0) == 0) {
      real.erase(0, 4);
    }
    return real;
  }

  std::uint32_t CopyFile(const std::wstring& source,
                         const std::wstring& destination) override {
    return ::CopyFileW(source.c_str(), destination.c_str(), FALSE)
               ? 0
               : ::GetLastError();
  }

  std::uint32_t CopyFileCancellable(
      const std::wstring& source, const std::wstring& destination,
      const std::atomic<std::uint8_t>* cancel) override {
    if (Cancelled(cancel)) return 0;
    const BOOL copied = ::CopyFileExW(
        source.c_str(), destination.c_str(), &CopyProgress,
        const_cast<std::atomic<std::uint8_t>*>(cancel), nullptr, 0);
    const DWORD error = copied ? 0 : ::GetLastError();
    return Cancelled(cancel) ? 0 : error;
  }

  bool DeleteFile(const std::wstring& path) override {
    return ::DeleteFileW(path.c_str()) != FALSE;
  }

  bool MakeWritable(const std::wstring& path) override {
    return ::_wchmod(path.c_str(), _S_IWRITE) == 0;
  }

  bool SetNormalAttributes(const std::wstring& path) override {
    return ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL) != FALSE;
  }

  // A rename to nothing deletes the file now where that is possible (a
  // handle that allowed deletion has gone since); otherwise the system is
  // asked to delete it when it starts next, which needs the right to write
  // the machine's session settings.
  bool DeleteAtRestart(const std::wstring& path) override {
    if (::MoveFileExW(path.c_str(), nullptr, 0)) return true;
    return ::MoveFileExW(path.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT) !=
           FALSE;
  }

  std::unique_ptr<File> OpenRead(const std::wstring& path,
                                 std::uint32_t* error) override {
    return Open(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, error);
  }

  std::unique_ptr<File> OpenWrite(const std::wstring& path,
                                  std::uint32_t* error) override {
    return Open(path, GENERIC_WRITE, FILE_SHARE_READ, CREATE_ALWAYS, error);
  }

  std::wstring ErrorText(std::uint32_t code) override {
    wchar_t* text = nullptr;
    const DWORD length = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
            FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
        reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    if (length == 0 || text == nullptr) {
      wchar_t unknown[40];
      std::swprintf(unknown, sizeof unknown / sizeof unknown[0],
                    L"Unknown error 0x%0lX", static_cast<unsigned long>(code));
      return unknown;
    }
    std::wstring message(text, length);
    ::LocalFree(text);
    while (!message.empty() &&
           (message.back() == L'\n' || message.back() == L'\r')) {
      message.pop_back();
    }
    return message;
  }

  // GetFullPathNameW takes the "." and ".." steps by the text; the nearest
  // existing parent then gives the final path of what is there.
  std::wstring ResolvePath(const std::wstring& path) override {
    if (path.empty()) return {};
    std::wstring existing = FullPathName(path);
    std::wstring rest;
    for (;;) {
      const std::wstring final = FinalPath(existing);
      if (!final.empty()) {
        if (rest.empty()) return final;
        return final.back() == L'\\' ? final + rest.substr(1) : final + rest;
      }
      while (existing.size() > 3 && existing.back() == L'\\') {
        existing.pop_back();
      }
      const std::size_t slash = existing.rfind(L'\\');
      if (slash == std::wstring::npos || slash + 1 == existing.size()) {
        return {};
      }
      rest = existing.substr(slash) + rest;
      existing.erase(slash == 2 ? 3 : slash);
    }
  }

  std::unique_ptr<FileLock> LockExclusive(const std::wstring& path,
                                          bool* in_use) override {
    *in_use = false;
    // Shares nothing and goes with its last handle, so a holder that dies
    // leaves neither the lock nor the file behind.
    UniqueHandle handle(::CreateFileW(
        path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
        FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
    if (!handle.valid()) {
      const DWORD error = ::GetLastError();
      *in_use = error == ERROR_SHARING_VIOLATION ||
                error == ERROR_ACCESS_DENIED || error == ERROR_LOCK_VIOLATION;
      return nullptr;
    }
    return std::make_unique<WinFileLock>(std::move(handle));
  }

 private:
  // Symbolic links, junctions and the other reparse points that stand for
  // another name; not the ones that only mark a file (deduplication, cloud
  // placeholders).
  static bool IsLink(const WIN32_FIND_DATAW& found) {
    return (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 &&
           IsReparseTagNameSurrogate(found.dwReserved0);
  }

  // Opens what `path` leads to, with no access asked, so folders open too.
  static HANDLE OpenFollowing(const std::wstring& path) {
    return ::CreateFileW(
        path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
        nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  }

  // Tells what a link leads to, as the POSIX listing does: false for a link
  // that leads nowhere; a loop is kept, not as a folder.
  static bool LeadsSomewhere(const std::wstring& path, FolderEntry* entry) {
    UniqueHandle handle(OpenFollowing(path));
    BY_HANDLE_FILE_INFORMATION information;
    if (!handle.valid()) {
      entry->is_directory = false;
      return ::GetLastError() == ERROR_CANT_RESOLVE_FILENAME;
    }
    if (::GetFileInformationByHandle(handle.get(), &information)) {
      entry->is_directory =
          (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    }
    return true;
  }

  static std::unique_ptr<File> Open(const std::wstring& path, DWORD access,
                                    DWORD share, DWORD disposition,
                                    std::uint32_t* error) {
    UniqueHandle handle(::CreateFileW(path.c_str(), access, share, nullptr,
                                      disposition, FILE_ATTRIBUTE_NORMAL,
                                      nullptr));
    if (!handle.valid()) {
      if (error != nullptr) *error = ::GetLastError();
      return nullptr;
    }
    return std::make_unique<WinFile>(std::move(handle));
  }
};

}  // namespace

std::shared_ptr<FileSystem> MakeFileSystem() {
  return std::make_shared<WinFileSystem>();
}

}  // namespace tessaline::platform::windows
