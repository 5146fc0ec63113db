// The image as a read stream: fixed areas and rendered descriptors from the
// layout, file data from the source files as the stream is pulled. Large
// pulls, and pulls of the rest of a file, are read straight into the
// caller's buffer; other small ones go through a read-ahead buffer, so a
// source file is always read in large blocks.
#ifndef TESSALINE_PLATFORM_UDF_IMAGE_STREAM_H_
#define TESSALINE_PLATFORM_UDF_IMAGE_STREAM_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/disc.h"
#include "platform/udf/image_layout.h"
#include "platform/udf/source_file.h"

namespace tessaline::platform::udf {

class ImageStream : public IStream {
 public:
  explicit ImageStream(std::shared_ptr<const ImageLayout> layout);

  HRESULT Stat(std::uint64_t* size) override;
  // Fails for good once a source file cannot be read or has changed size
  // since the layout was made; `*read` then counts the bytes given before
  // the failure.
  HRESULT Read(void* buffer, std::uint32_t size, std::uint32_t* read) override;

 private:
  enum class Phase {
    kHead,
    kFileSet,
    kEntries,
    kDirectories,
    kFiles,
    kTail,
    kEnd
  };
  // Each step gives up to `size` bytes of the current phase in *given.
  HRESULT StepFixed(const std::vector<std::uint8_t>& bytes, Phase next,
                    std::uint8_t* out, std::size_t size, std::size_t* given);
  HRESULT StepEntries(std::uint8_t* out, std::size_t size, std::size_t* given);
  HRESULT StepDirectories(std::uint8_t* out, std::size_t size,
                          std::size_t* given);
  HRESULT StepFiles(std::uint8_t* out, std::size_t size, std::size_t* given);
  HRESULT FileBytes(std::uint64_t file_size, std::uint8_t* out,
                    std::size_t size, std::size_t* given);
  // Moves position_ to the next item that is (or is not) a directory;
  // false at the end of the items.
  bool SeekItem(bool directory);

  std::shared_ptr<const ImageLayout> layout_;
  Phase phase_ = Phase::kHead;
  std::uint64_t offset_ = 0;    // within the current piece
  std::uint32_t position_ = 0;  // item, in breadth-first order
  std::vector<std::uint8_t> block_;
  std::vector<std::uint8_t> directory_;
  SourceFile file_;
  std::vector<std::uint8_t> ahead_;
  std::size_t ahead_begin_ = 0;
  std::size_t ahead_end_ = 0;
  HRESULT failure_ = kS_OK;
};

}  // namespace tessaline::platform::udf

#endif  // TESSALINE_PLATFORM_UDF_IMAGE_STREAM_H_
