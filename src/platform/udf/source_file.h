// One source file read for the image, held to the size the layout was
// made with: a file that has grown or shrunk since fails the read instead
// of giving an image whose entries disagree with its data.
#ifndef TESSALINE_PLATFORM_UDF_SOURCE_FILE_H_
#define TESSALINE_PLATFORM_UDF_SOURCE_FILE_H_

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/disc.h"

namespace tessaline::platform::udf {

class SourceFile : NonCopyable {
 public:
  SourceFile() = default;
  ~SourceFile();

  // Opens `path` for sequential reading and checks that it is a regular
  // file of `expected_size` bytes: IMAPI_E_DATA_STREAM_CREATE_FAILURE when
  // it cannot be opened, IMAPI_E_DATA_STREAM_INCONSISTENCY when its size
  // differs.
  HRESULT Open(const std::string& path, std::uint64_t expected_size);
  // Reads exactly `size` bytes: IMAPI_E_DATA_STREAM_INCONSISTENCY when the
  // file ends first, IMAPI_E_DATA_STREAM_READ_FAILURE on a read error.
  HRESULT Read(std::uint8_t* buffer, std::size_t size);
  // Checks the size once more and closes the file.
  HRESULT Close();
  bool is_open() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
  std::uint64_t expected_size_ = 0;
};

}  // namespace tessaline::platform::udf

#endif  // TESSALINE_PLATFORM_UDF_SOURCE_FILE_H_
