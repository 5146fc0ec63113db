// The POSIX file system: wide paths become UTF-8 at this boundary, native
// error codes are errno values.
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/posix/posix_backends.h"
#include "platform/text.h"

namespace tessaline::platform::posix {
namespace {

// Large enough that a tree of small files costs one kernel call per file,
// small enough that a cancel is seen within a fraction of a second.
constexpr std::size_t kKernelCopyChunk = 64u << 20;
constexpr std::size_t kBufferSize = 1u << 20;

std::string Native(const std::wstring& path) { return ToUtf8(path); }

class Descriptor {
 public:
  explicit Descriptor(int fd = -1) : fd_(fd) {}
  ~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;

  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  // Closes now so that a late write error (NFS, full disk) is seen; 0 or
  // errno.
  int Close() {
    int fd = fd_;
    fd_ = -1;
    return fd >= 0 && ::close(fd) != 0 ? errno : 0;
  }

 private:
  int fd_;
};

int OpenRetrying(const std::string& path, int flags, mode_t mode = 0) {
  int fd;
  do {
    fd = ::open(path.c_str(), flags, mode);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

// Writes all of `size` bytes; 0 or errno.
int WriteAll(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    ssize_t n = ::write(fd, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return 0;
}

bool Cancelled(const std::atomic<std::uint8_t>* cancel) {
  return cancel != nullptr && cancel->load(std::memory_order_relaxed) != 0;
}

enum class CopyOutcome { kDone, kCancelled, kFailed };

CopyOutcome CopyWithBuffer(int in, int out,
                           const std::atomic<std::uint8_t>* cancel,
                           int* error) {
  std::unique_ptr<char[]> buffer(new char[kBufferSize]);
  for (;;) {
    if (Cancelled(cancel)) return CopyOutcome::kCancelled;
    ssize_t n = ::read(in, buffer.get(), kBufferSize);
    if (n == 0) return CopyOutcome::kDone;
    if (n < 0) {
      if (errno == EINTR) continue;
      *error = errno;
      return CopyOutcome::kFailed;
    }
    if ((*error = WriteAll(out, buffer.get(), static_cast<std::size_t>(n))) !=
        0) {
      return CopyOutcome::kFailed;
    }
  }
}

// The kernel copies without the data passing through user space; where it
// cannot (another file system type, an old kernel, a file system that
// reports nothing to copy), the buffer copy takes over from the start.
CopyOutcome CopyContent(int in, int out, off_t size,
                        const std::atomic<std::uint8_t>* cancel, int* error) {
  off_t copied = 0;
  while (size > 0 && copied < size) {
    if (Cancelled(cancel)) return CopyOutcome::kCancelled;
    std::size_t want = static_cast<std::size_t>(
        std::min<off_t>(size - copied, static_cast<off_t>(kKernelCopyChunk)));
    ssize_t n = ::copy_file_range(in, nullptr, out, nullptr, want, 0);
    if (n > 0) {
      copied += n;
      continue;
    }
    if (n == 0) {
      if (copied > 0) return CopyOutcome::kDone;  // the file shrank
      break;
    }
    if (errno == EINTR) continue;
    bool unsupported = errno == EXDEV || errno == ENOSYS || errno == EINVAL ||
                       errno == EOPNOTSUPP || errno == EPERM;
    if (!unsupported || copied > 0) {
      *error = errno;
      return CopyOutcome::kFailed;
    }
    break;
  }
  if (size > 0 && copied >= size) return CopyOutcome::kDone;
  // Empty by its size (which files under /proc claim) or not copyable by the
  // kernel: read until the end.
  return CopyWithBuffer(in, out, cancel, error);
}

// Opens the destination for a copy of `source`, refusing to truncate the
// source itself when both name the same file.
int OpenDestination(const std::string& path, const struct stat& source,
                    mode_t mode, int* error) {
  int fd = OpenRetrying(path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
  if (fd >= 0) return fd;
  if (errno != EEXIST) {
    *error = errno;
    return -1;
  }
  fd = OpenRetrying(path, O_WRONLY | O_CLOEXEC);
  if (fd < 0) {
    *error = errno;
    return -1;
  }
  struct stat existing;
  if (::fstat(fd, &existing) != 0) {
    *error = errno;
  } else if (existing.st_dev == source.st_dev &&
             existing.st_ino == source.st_ino) {
    *error = EINVAL;
  } else if (existing.st_size != 0 && ::ftruncate(fd, 0) != 0) {
    *error = errno;
  } else {
    return fd;
  }
  ::close(fd);
  return -1;
}

std::uint32_t Copy(const std::wstring& source, const std::wstring& destination,
                   const std::atomic<std::uint8_t>* cancel) {
  Descriptor in(OpenRetrying(Native(source),
                             O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
  if (!in.valid()) return static_cast<std::uint32_t>(errno);
  struct stat st;
  if (::fstat(in.get(), &st) != 0) return static_cast<std::uint32_t>(errno);
  // A folder, a pipe or a device has no content to copy as a file.
  if (S_ISDIR(st.st_mode)) return EISDIR;
  if (!S_ISREG(st.st_mode)) return EINVAL;

  const std::string target = Native(destination);
  const mode_t mode = st.st_mode & 0777;
  int error = 0;
  Descriptor out(OpenDestination(target, st, mode | S_IWUSR, &error));
  if (!out.valid()) return static_cast<std::uint32_t>(error);

  CopyOutcome outcome =
      CopyContent(in.get(), out.get(), st.st_size, cancel, &error);
  if (outcome == CopyOutcome::kDone) {
    // Like the system copy elsewhere: permissions and the modification time
    // travel with the content. Where the file system cannot keep them (FAT),
    // the copy still counts.
    ::fchmod(out.get(), mode);
    const struct timespec times[2] = {{0, UTIME_OMIT}, st.st_mtim};
    ::futimens(out.get(), times);
    error = out.Close();
    if (error == 0) return 0;
  }
  out.Close();
  // A half-written file must not pass for a copy.
  ::unlink(target.c_str());
  return static_cast<std::uint32_t>(error);
}

class PosixFile : public File {
 public:
  explicit PosixFile(int fd) : fd_(fd) {}
  ~PosixFile() override {
    if (fd_ >= 0) ::close(fd_);
  }

  std::int64_t Read(void* buffer, std::int64_t size) override {
    if (fd_ < 0 || size < 0) return -1;
    std::size_t want = static_cast<std::size_t>(
        std::min<std::int64_t>(size, static_cast<std::int64_t>(SSIZE_MAX)));
    for (;;) {
      ssize_t n = ::read(fd_, buffer, want);
      if (n >= 0) return n;
      if (errno != EINTR) return -1;
    }
  }
  bool Write(const void* buffer, std::int64_t size) override {
    if (fd_ < 0 || size < 0) return false;
    return WriteAll(fd_, static_cast<const char*>(buffer),
                    static_cast<std::size_t>(size)) == 0;
  }
  bool Seek(std::int64_t offset) override {
    return fd_ >= 0 && ::lseek(fd_, offset, SEEK_SET) == offset;
  }
  std::int64_t Size() override {
    struct stat st;
    if (fd_ < 0 || ::fstat(fd_, &st) != 0) return -1;
    return st.st_size;
  }
  bool Close() override {
    if (fd_ < 0) return true;
    int fd = fd_;
    fd_ = -1;
    return ::close(fd) == 0;
  }

 private:
  int fd_;
};

// strerror_r comes as the GNU variant (returns the text) or the XSI one
// (fills the buffer); these pick the text from either.
[[maybe_unused]] const char* MessageOf(int, const char* buffer) {
  return buffer;
}
[[maybe_unused]] const char* MessageOf(const char* text, const char*) {
  return text;
}

// realpath of the nearest existing parent, then the remaining steps as
// written: they name nothing yet, so there is no link to follow in them.
std::string ResolveNative(std::string path) {
  if (path.empty()) return {};
  if (path.front() != '/') {
    char here[PATH_MAX];
    if (::getcwd(here, sizeof here) == nullptr) return {};
    path = std::string(here) + '/' + path;
  }
  std::vector<std::string> rest;
  for (;;) {
    char resolved[PATH_MAX];
    if (::realpath(path.c_str(), resolved) != nullptr) {
      std::string result = resolved;
      for (auto step = rest.rbegin(); step != rest.rend(); ++step) {
        if (*step == "..") {
          const std::size_t slash = result.rfind('/');
          result.erase(slash == 0 ? 1 : slash);
        } else if (!step->empty() && *step != ".") {
          if (result.back() != '/') result += '/';
          result += *step;
        }
      }
      return result;
    }
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    const std::size_t slash = path.rfind('/');
    if (path == "/" || slash == std::string::npos) return {};
    rest.push_back(path.substr(slash + 1));
    path.erase(slash == 0 ? 1 : slash);
  }
}

// flock on an open lock file. The file is removed before the lock goes, so
// a holder checks after locking that its file is still the one the path
// names; otherwise it locked a file already on its way out.
class PosixFileLock final : public FileLock {
 public:
  PosixFileLock(std::string path, int fd) : path_(std::move(path)), fd_(fd) {}
  ~PosixFileLock() override {
    ::unlink(path_.c_str());
    ::close(fd_);
  }

  static std::unique_ptr<FileLock> Take(const std::string& path, bool* in_use) {
    *in_use = false;
    for (int attempt = 0; attempt < 8; ++attempt) {
      const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
      if (fd < 0) return nullptr;
      if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        *in_use = errno == EWOULDBLOCK;
        ::close(fd);
        return nullptr;
      }
      struct stat held;
      struct stat named;
      if (::fstat(fd, &held) == 0 && ::stat(path.c_str(), &named) == 0 &&
          held.st_dev == named.st_dev && held.st_ino == named.st_ino) {
        return std::make_unique<PosixFileLock>(path, fd);
      }
      ::close(fd);
    }
    *in_use = true;
    return nullptr;
  }

 private:
  const std::string path_;
  const int fd_;
};

class PosixFileSystem : public FileSystem {
 public:
  wchar_t Separator() const override { return L'/'; }

  bool Exists(const std::wstring& path) override {
    struct stat st;
    return ::stat(Native(path).c_str(), &st) == 0;
  }

  bool IsDirectory(const std::wstring& path) override {
    struct stat st;
    return ::stat(Native(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
  }

  CreateFolderResult CreateFolder(const std::wstring& path) override {
    if (::mkdir(Native(path).c_str(), 0777) == 0) {
      return CreateFolderResult::kCreated;
    }
    return errno == EEXIST ? CreateFolderResult::kAlreadyExists
                           : CreateFolderResult::kFailed;
  }

  CreateFolderResult CreateFolderTree(const std::wstring& path) override {
    return MakeTree(Native(path));
  }

  bool RemoveFolder(const std::wstring& path) override {
    return ::rmdir(Native(path).c_str()) == 0;
  }

  bool ListFolder(const std::wstring& path,
                  std::vector<FolderEntry>* entries) override {
    entries->clear();
    std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(Native(path).c_str()),
                                            &::closedir);
    if (!dir) return false;
    for (;;) {
      errno = 0;
      const struct dirent* entry = ::readdir(dir.get());
      if (entry == nullptr) return errno == 0;
      const char* name = entry->d_name;
      if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) {
        continue;
      }
      bool is_directory = entry->d_type == DT_DIR;
      bool is_link = entry->d_type == DT_LNK;
      struct stat st;
      if (entry->d_type == DT_UNKNOWN) {
        if (::fstatat(::dirfd(dir.get()), name, &st, AT_SYMLINK_NOFOLLOW) !=
            0) {
          continue;
        }
        is_link = S_ISLNK(st.st_mode);
        is_directory = S_ISDIR(st.st_mode);
      }
      if (is_link) {
        if (::fstatat(::dirfd(dir.get()), name, &st, 0) == 0) {
          is_directory = S_ISDIR(st.st_mode);
        } else if (errno != ELOOP) {
          // A link that leads nowhere does not exist, as Exists says.
          continue;
        }
      }
      entries->push_back({FromUtf8(name), is_directory, is_link});
    }
  }

  std::wstring ResolveLinks(const std::wstring& path, bool* loop) override {
    std::unique_ptr<char, void (*)(void*)> real(
        ::realpath(Native(path).c_str(), nullptr), &std::free);
    if (loop != nullptr) *loop = !real && errno == ELOOP;
    return real ? FromUtf8(real.get()) : std::wstring();
  }

  std::uint32_t CopyFile(const std::wstring& source,
                         const std::wstring& destination) override {
    return Copy(source, destination, nullptr);
  }

  std::uint32_t CopyFileCancellable(
      const std::wstring& source, const std::wstring& destination,
      const std::atomic<std::uint8_t>* cancel) override {
    std::uint32_t error = Copy(source, destination, cancel);
    return Cancelled(cancel) ? 0 : error;
  }

  bool DeleteFile(const std::wstring& path) override {
    return ::unlink(Native(path).c_str()) == 0;
  }

  bool MakeWritable(const std::wstring& path) override {
    return AddOwnerWrite(Native(path));
  }

  // The nearest thing to clearing the read-only attribute.
  bool SetNormalAttributes(const std::wstring& path) override {
    return AddOwnerWrite(Native(path));
  }

  bool DeleteAtRestart(const std::wstring&) override { return false; }

  std::unique_ptr<File> OpenRead(const std::wstring& path,
                                 std::uint32_t* error) override {
    return Open(path, O_RDONLY | O_CLOEXEC | O_NOCTTY, error);
  }

  std::unique_ptr<File> OpenWrite(const std::wstring& path,
                                  std::uint32_t* error) override {
    return Open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOCTTY,
                error);
  }

  std::wstring ErrorText(std::uint32_t code) override {
    char buffer[256] = {};
    return FromUtf8(MessageOf(
        ::strerror_r(static_cast<int>(code), buffer, sizeof buffer), buffer));
  }

  std::wstring ResolvePath(const std::wstring& path) override {
    return FromUtf8(ResolveNative(Native(path)));
  }

  std::unique_ptr<FileLock> LockExclusive(const std::wstring& path,
                                          bool* in_use) override {
    return PosixFileLock::Take(Native(path), in_use);
  }

 private:
  static bool AddOwnerWrite(const std::string& path) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) return false;
    if ((st.st_mode & S_IWUSR) != 0) return true;
    return ::chmod(path.c_str(), (st.st_mode & 07777) | S_IWUSR) == 0;
  }

  // Creates the deepest folder first and climbs only as far as parents are
  // missing, so an existing parent costs one call.
  static CreateFolderResult MakeTree(const std::string& path) {
    if (::mkdir(path.c_str(), 0777) == 0) return CreateFolderResult::kCreated;
    if (errno == EEXIST) return Folder(path);
    if (errno != ENOENT) return CreateFolderResult::kFailed;
    std::string::size_type end = path.find_last_not_of('/');
    if (end == std::string::npos) return CreateFolderResult::kFailed;
    std::string::size_type slash = path.find_last_of('/', end);
    if (slash == std::string::npos) return CreateFolderResult::kFailed;
    std::string parent = path.substr(0, slash == 0 ? 1 : slash);
    if (MakeTree(parent) == CreateFolderResult::kFailed) {
      return CreateFolderResult::kFailed;
    }
    if (::mkdir(path.c_str(), 0777) == 0) return CreateFolderResult::kCreated;
    // Another thread or process may have made it in between.
    return errno == EEXIST ? Folder(path) : CreateFolderResult::kFailed;
  }

  static CreateFolderResult Folder(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)
               ? CreateFolderResult::kAlreadyExists
               : CreateFolderResult::kFailed;
  }

  static std::unique_ptr<File> Open(const std::wstring& path, int flags,
                                    std::uint32_t* error) {
    int fd = OpenRetrying(Native(path), flags, 0666);
    if (fd < 0) {
      if (error != nullptr) *error = static_cast<std::uint32_t>(errno);
      return nullptr;
    }
    if (error != nullptr) *error = 0;
    return std::make_unique<PosixFile>(fd);
  }
};

}  // namespace

std::shared_ptr<FileSystem> MakeFileSystem() {
  return std::make_shared<PosixFileSystem>();
}

}  // namespace tessaline::platform::posix
