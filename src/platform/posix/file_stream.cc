#include "platform/posix/file_stream.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "platform/text.h"

namespace tessaline::platform::posix {
namespace {

// HRESULT_FROM_WIN32 of the Win32 errors a file open reports.
constexpr HRESULT kFileNotFound = static_cast<HRESULT>(0x80070002u);
constexpr HRESULT kPathNotFound = static_cast<HRESULT>(0x80070003u);
constexpr HRESULT kAccessDenied = static_cast<HRESULT>(0x80070005u);
constexpr HRESULT kSharingViolation = static_cast<HRESULT>(0x80070020u);
constexpr HRESULT kReadFault = static_cast<HRESULT>(0x8007001Eu);

HRESULT FromErrno(int error) {
  switch (error) {
    case ENOENT:
      return kFileNotFound;
    case ENOTDIR:
    case ENAMETOOLONG:
      return kPathNotFound;
    case EACCES:
    case EPERM:
    case EISDIR:
      return kAccessDenied;
    case EWOULDBLOCK:
      return kSharingViolation;
    default:
      return kE_FAIL;
  }
}

class FileStream : public IStream {
 public:
  explicit FileStream(int fd) : fd_(fd) {}
  ~FileStream() override { close(fd_); }  // also drops the lock

  HRESULT Stat(std::uint64_t* size) override {
    if (size == nullptr) return kE_POINTER;
    struct stat info;
    if (fstat(fd_, &info) != 0) return FromErrno(errno);
    *size = static_cast<std::uint64_t>(info.st_size);
    return kS_OK;
  }

  HRESULT Read(void* buffer, std::uint32_t size,
               std::uint32_t* read_count) override {
    if (buffer == nullptr && size > 0) return kE_POINTER;
    auto* out = static_cast<char*>(buffer);
    std::uint32_t done = 0;
    HRESULT status = kS_OK;
    while (done < size) {
      const ssize_t got = read(fd_, out + done, size - done);
      if (got < 0 && errno == EINTR) continue;
      if (got < 0) {
        status = kReadFault;
        break;
      }
      if (got == 0) break;
      done += static_cast<std::uint32_t>(got);
    }
    if (read_count != nullptr) *read_count = done;
    return status;
  }

 private:
  int fd_;
};

}  // namespace

HRESULT OpenFileStream(const std::wstring& path,
                       std::shared_ptr<IStream>* out) {
  if (out == nullptr) return kE_POINTER;
  out->reset();
  const std::string native = ToUtf8(path);
  const int fd = open(native.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    const int error = errno;
    // Windows tells a missing folder on the way from a missing file.
    struct stat parent;
    const std::size_t slash = native.find_last_of('/');
    if (error == ENOENT && slash != std::string::npos &&
        stat(slash == 0 ? "/" : native.substr(0, slash).c_str(), &parent) !=
            0) {
      return kPathNotFound;
    }
    return FromErrno(error);
  }
  struct stat info {};
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    const HRESULT status = S_ISDIR(info.st_mode) ? kAccessDenied : kE_FAIL;
    close(fd);
    return status;
  }
  if (flock(fd, LOCK_SH | LOCK_NB) != 0) {
    const HRESULT status = FromErrno(errno);
    close(fd);
    return status;
  }
  *out = std::make_shared<FileStream>(fd);
  return kS_OK;
}

}  // namespace tessaline::platform::posix
