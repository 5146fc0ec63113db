// A read stream over a file: the POSIX counterpart of
// SHCreateStreamOnFileW with STGM_READ | STGM_SHARE_DENY_WRITE.
//
// POSIX has no share modes. As far as it allows, the stream denies
// writers: it holds an advisory shared lock (flock) for as long as it is
// open, so a writer that takes an exclusive lock is kept out, and opening
// fails with a sharing violation while such a writer holds its lock.
// Writers that take no lock are not stopped.
#ifndef TESSALINE_PLATFORM_POSIX_FILE_STREAM_H_
#define TESSALINE_PLATFORM_POSIX_FILE_STREAM_H_

#include <memory>
#include <string>

#include "platform/disc.h"

namespace tessaline::platform::posix {

// Opens a regular file for reading. Fails with the HRESULT Windows gives:
// 0x80070002 (file not found), 0x80070003 (path not found), 0x80070005
// (access denied, also for a folder), 0x80070020 (sharing violation), or
// E_FAIL.
HRESULT OpenFileStream(const std::wstring& path, std::shared_ptr<IStream>* out);

}  // namespace tessaline::platform::posix

#endif  // TESSALINE_PLATFORM_POSIX_FILE_STREAM_H_
