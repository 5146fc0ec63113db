#include "platform/udf/source_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace tessaline::platform::udf {

SourceFile::~SourceFile() {
  if (fd_ >= 0) close(fd_);
}

HRESULT SourceFile::Open(const std::string& path, std::uint64_t expected_size) {
  if (fd_ >= 0) close(fd_);
  fd_ = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd_ < 0) return kIMAPI_E_DATA_STREAM_CREATE_FAILURE;
  expected_size_ = expected_size;
  struct stat info;
  if (fstat(fd_, &info) != 0 || !S_ISREG(info.st_mode)) {
    return kIMAPI_E_DATA_STREAM_CREATE_FAILURE;
  }
  if (static_cast<std::uint64_t>(info.st_size) != expected_size) {
    return kIMAPI_E_DATA_STREAM_INCONSISTENCY;
  }
  posix_fadvise(fd_, 0, 0, POSIX_FADV_SEQUENTIAL);
  return kS_OK;
}

HRESULT SourceFile::Read(std::uint8_t* buffer, std::size_t size) {
  while (size > 0) {
    const ssize_t got = read(fd_, buffer, size);
    if (got < 0) {
      if (errno == EINTR) continue;
      return kIMAPI_E_DATA_STREAM_READ_FAILURE;
    }
    if (got == 0) return kIMAPI_E_DATA_STREAM_INCONSISTENCY;
    buffer += got;
    size -= static_cast<std::size_t>(got);
  }
  return kS_OK;
}

HRESULT SourceFile::Close() {
  struct stat info;
  HRESULT status = kS_OK;
  if (fstat(fd_, &info) != 0 ||
      static_cast<std::uint64_t>(info.st_size) != expected_size_) {
    status = kIMAPI_E_DATA_STREAM_INCONSISTENCY;
  }
  close(fd_);
  fd_ = -1;
  return status;
}

}  // namespace tessaline::platform::udf
