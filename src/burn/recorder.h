// Recorder access by drive index, the recorder list and media change
// notification.
#ifndef TESSALINE_BURN_RECORDER_H_
#define TESSALINE_BURN_RECORDER_H_

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/disc.h"
#include "tessaline/tessaline.h"

namespace tessaline {

// Throws MediaWriterException(text) when hr is a failure.
void ThrowIfFailed(platform::HRESULT hr, const std::wstring& text);

// The initialised recorder at `index`, and its unique id in *unique_id when
// given. Throws MediaWriterException.
std::shared_ptr<platform::IDiscRecorder2> OpenRecorder(
    const platform::Platform& platform, std::int32_t index,
    std::wstring* unique_id = nullptr);

// Replaces the list with the recorders that can be examined and that the
// data writer supports. Throws MediaWriterException only when the disc
// master cannot be created.
void EnumerateRecorders(const platform::Platform& platform,
                        std::vector<RecorderInfo>& list);

// Marks the media types that one feature page of the drive supports in
// info.mediaSupportFlags.
void ApplyFeaturePage(std::uint32_t feature,
                      platform::IDiscRecorder2Ex& recorder_ex,
                      RecorderInfo& info);

// Disables the recorder's media change notification, or enables it again
// as often as it was disabled on that recorder. Safe from any thread.
// Returns 1. Throws what OpenRecorder throws.
std::int32_t SetMediaChangeNotification(const platform::Platform& platform,
                                        std::uint32_t index, bool disable);

// Binds a data writer or eraser to a recorder for its lifetime.
template <typename Format>
class RecorderBinding {
 public:
  RecorderBinding(std::shared_ptr<Format> format,
                  std::shared_ptr<platform::IDiscRecorder2> recorder)
      : format_(std::move(format)) {
    if (format_) format_->PutRecorder(std::move(recorder));
  }
  ~RecorderBinding() {
    if (format_) format_->PutRecorder(nullptr);
  }
  RecorderBinding(const RecorderBinding&) = delete;
  RecorderBinding& operator=(const RecorderBinding&) = delete;

 private:
  std::shared_ptr<Format> format_;
};

}  // namespace tessaline

#endif  // TESSALINE_BURN_RECORDER_H_
