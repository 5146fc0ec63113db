// Recorder access by drive index, drive addressing, the recorder list and
// media change notification.
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

// The drive of a recorder, as the string from which the device path
// (Devices::DevicePath) and every path on the disc are formed, joined with
// the platform's separator:
// - with the separator '\\' (Windows): the first character of the first
//   volume path, in the case the system reports it, and ":" ("E:"); the
//   path must begin with a letter;
// - with the separator '/' (POSIX): the first volume path without its
//   trailing '/' ("/media/cdrom0"), the root staying "/"; the path must be
//   absolute.
// Returns 1 and sets *drive, or 1000 (mount points unreadable), 1001 (none)
// or 1002 (the first volume path does not fit the rule above), leaving
// *drive as it was. Throws what OpenRecorder throws.
std::int32_t GetDriveLetter(const platform::Platform& platform,
                            std::int32_t index, std::wstring* drive);

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
