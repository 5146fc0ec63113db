// The disc services of the virtual drives: IMAPI2's disc master, recorder,
// data writer and eraser acting on drive folders, with IMAPI2's answers and
// error codes, and the project's UDF builder and the system's file streams
// for images.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "platform/disc.h"
#include "platform/posix/file_stream.h"
#include "platform/text.h"
#include "platform/udf/udf_image.h"
#include "platform/virtual/feature_pages.h"
#include "platform/virtual/media_catalog.h"
#include "platform/virtual/virtual_drive.h"
#include "platform/virtual/virtual_platform.h"

namespace tessaline::platform {
namespace virtual_drive {
namespace {

namespace fs = std::filesystem;

// CONNECT_E_NOCONNECTION: Unadvise with a cookie that names no sink.
constexpr HRESULT kNoConnection = static_cast<HRESULT>(0x80040200u);
// An unthrottled write goes on in blocks this large, page aligned, so that
// the medium file takes few and large writes.
constexpr std::uint32_t kLargestBlock = 1 << 20;
constexpr std::size_t kBufferAlignment = 4096;

// Writes all of `size` bytes; false on failure.
bool WriteAll(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t n = ::write(fd, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

std::wstring WidePath(const fs::path& path) {
  return FromUtf8(Utf8FromPath(path));
}

bool IsOverwritable(IMAPI_MEDIA_PHYSICAL_TYPE type) {
  const MediaInfo* info = FindRecordableMedia(type);
  return info != nullptr && info->recording == Recording::kOverwrite;
}

// IMAPI_FORMAT2_DATA_MEDIA_STATE of a medium as a drive reads it: blank;
// recorded and closed (write-once and sequential media) or recorded in
// place (overwrite media); or holding a write that broke off.
std::uint32_t MediaStatus(const VirtualDrive& drive,
                          const MediumState& medium) {
  const MediaInfo* info = FindRecordableMedia(medium.type);
  const bool overwrite = IsOverwritable(medium.type);
  std::uint32_t state =
      overwrite ? std::uint32_t{kMediaStateOverwriteOnly} : 0u;
  if (medium.damaged) {
    state |= kMediaStateDamaged | kMediaStateNonEmptySession;
    if (info != nullptr &&
        info->recording == Recording::kSequentialRewritable) {
      state |= kMediaStateEraseRequired;
    }
  } else if (!medium.written) {
    state |= kMediaStateBlank;
  } else {
    state |= kMediaStateNonEmptySession;
    if (!overwrite) state |= kMediaStateFinalized;
  }
  if (!DriveWrites(drive.description().type, medium.type)) {
    state |= kMediaStateUnsupportedMedia;
  }
  return state;
}

// A written medium takes no further write unless it is overwritten in
// place: write-once media are closed, sequential rewritable media must be
// erased first.
bool TakesWrite(const MediumState& medium) {
  return !medium.written || IsOverwritable(medium.type);
}

std::int64_t FreeSectors(const VirtualDrive& drive, const MediumState& medium) {
  return TakesWrite(medium) ? drive.Capacity(medium.type) : 0;
}

class VirtualRecorder;

std::shared_ptr<VirtualDrive> DriveOf(IDiscRecorder2* recorder);
bool IsInitialisedRecorder(IDiscRecorder2* recorder);

// Answers every call about the medium with the drive's current state; a
// format object without a recorder answers E_IMAPI_RECORDER_REQUIRED, and
// one whose drive has an empty tray, or cannot be read,
// E_IMAPI_RECORDER_MEDIA_NO_MEDIA.
template <typename Interface>
class MediumQueries : public Interface {
 protected:
  HRESULT ReadMedium(MediumState* medium) {
    if (!drive_) return NoDrive();
    auto lock = drive_->Lock();
    *medium = drive_->ReadMedium();
    return medium->present ? kS_OK : kE_IMAPI_RECORDER_MEDIA_NO_MEDIA;
  }

  // The answer of a format object without a drive.
  HRESULT NoDrive() const {
    return bound_unreadable_ ? kE_IMAPI_RECORDER_MEDIA_NO_MEDIA
                             : kE_IMAPI_RECORDER_REQUIRED;
  }

  HRESULT Bind(const std::shared_ptr<IDiscRecorder2>& recorder,
               HRESULT unsupported) {
    if (!recorder) {
      drive_.reset();
      bound_unreadable_ = false;
      return kS_OK;
    }
    if (!IsInitialisedRecorder(recorder.get())) return unsupported;
    drive_ = DriveOf(recorder.get());
    bound_unreadable_ = !drive_;
    return kS_OK;
  }

  std::shared_ptr<VirtualDrive> drive_;
  // Bound to a drive whose folder cannot be read: its tray counts as empty.
  bool bound_unreadable_ = false;
};

// Connection point of one event interface.
template <typename Sink>
class Sinks {
 public:
  HRESULT Advise(std::shared_ptr<Sink> sink, std::uint32_t* cookie) {
    if (!sink || cookie == nullptr) return kE_POINTER;
    std::lock_guard<std::mutex> lock(mutex_);
    *cookie = next_cookie_++;
    sinks_.emplace(*cookie, std::move(sink));
    return kS_OK;
  }
  HRESULT Unadvise(std::uint32_t cookie) {
    std::lock_guard<std::mutex> lock(mutex_);
    return sinks_.erase(cookie) == 1 ? kS_OK : kNoConnection;
  }
  // The sinks to call, taken out of the lock so that a sink may unadvise.
  std::vector<std::shared_ptr<Sink>> Current() {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<std::shared_ptr<Sink>> sinks;
    for (const auto& [cookie, sink] : sinks_) sinks.push_back(sink);
    return sinks;
  }

 private:
  std::mutex mutex_;
  std::map<std::uint32_t, std::shared_ptr<Sink>> sinks_;
  std::uint32_t next_cookie_ = 1;
};

// Holds a drive busy for the length of a write or erase.
class BusyDrive {
 public:
  explicit BusyDrive(std::shared_ptr<VirtualDrive> drive)
      : drive_(std::move(drive)) {
    drive_->set_busy(true);
  }
  ~BusyDrive() { drive_->set_busy(false); }
  BusyDrive(const BusyDrive&) = delete;
  BusyDrive& operator=(const BusyDrive&) = delete;

 private:
  std::shared_ptr<VirtualDrive> drive_;
};

// Milliseconds of the platform's tick count since `start`; the difference
// of two ticks stays right across the count's wrap.
class Stopwatch {
 public:
  explicit Stopwatch(Clock& clock) : clock_(clock), start_(clock.TickCount()) {}
  std::uint32_t Elapsed() const { return clock_.TickCount() - start_; }
  // Waits through the clock until `milliseconds` have passed since the
  // start.
  void SleepUntil(std::uint64_t milliseconds) const {
    const std::uint32_t now = Elapsed();
    if (milliseconds > now) {
      clock_.Sleep(static_cast<std::uint32_t>(milliseconds - now));
    }
  }

 private:
  Clock& clock_;
  std::uint32_t start_;
};

std::int32_t WholeSeconds(std::uint32_t milliseconds) {
  return static_cast<std::int32_t>(milliseconds / 1000);
}

class VirtualDiscMaster final : public IDiscMaster2 {
 public:
  explicit VirtualDiscMaster(fs::path dir) : dir_(std::move(dir)) {}

  HRESULT GetCount(std::int32_t* count) override {
    if (count == nullptr) return kE_POINTER;
    *count =
        dir_.empty()
            ? 0
            : static_cast<std::int32_t>(VirtualDrive::ListDrives(dir_).size());
    return kS_OK;
  }

  HRESULT GetItem(std::int32_t index, std::wstring* unique_id) override {
    if (unique_id == nullptr) return kE_POINTER;
    if (dir_.empty() || index < 0) return kE_INVALIDARG;
    const std::vector<fs::path> drives = VirtualDrive::ListDrives(dir_);
    if (static_cast<std::size_t>(index) >= drives.size()) return kE_INVALIDARG;
    std::error_code error;
    *unique_id =
        WidePath(fs::absolute(drives[static_cast<std::size_t>(index)], error)
                     .lexically_normal());
    return kS_OK;
  }

 private:
  fs::path dir_;
};

// Vendor of a drive whose folder cannot be read; its product says why.
constexpr char kUnreadableVendor[] = "UNREADABLE";

// The extended interface of a drive, or of an unreadable drive (null),
// which has no features.
class VirtualRecorderEx final : public IDiscRecorder2Ex {
 public:
  explicit VirtualRecorderEx(std::shared_ptr<VirtualDrive> drive)
      : drive_(std::move(drive)) {}

  HRESULT GetFeaturePage(std::uint32_t feature, bool current_only,
                         std::vector<std::uint8_t>* descriptor) override {
    if (descriptor == nullptr) return kE_POINTER;
    if (!drive_) return kE_IMAPI_RECORDER_NO_SUCH_FEATURE;
    MediumState medium;
    {
      auto lock = drive_->Lock();
      medium = drive_->ReadMedium();
    }
    std::vector<std::uint8_t> page = FeatureDescriptor(
        drive_->description().type, feature,
        medium.present ? medium.type : IMAPI_MEDIA_TYPE_UNKNOWN);
    if (page.empty()) return kE_IMAPI_RECORDER_NO_SUCH_FEATURE;
    if (current_only && (page[2] & 0x01) == 0) {
      return kE_IMAPI_RECORDER_FEATURE_IS_NOT_CURRENT;
    }
    *descriptor = std::move(page);
    return kS_OK;
  }

 private:
  std::shared_ptr<VirtualDrive> drive_;
};

// A recorder on a drive folder. One of the drives folder whose drive.ini
// cannot be read initialises too, as an unreadable drive: it is listed,
// with the reason as its product, keeps its index, and has no volume,
// features or medium.
class VirtualRecorder final : public IDiscRecorder2 {
 public:
  explicit VirtualRecorder(fs::path dir) : dir_(std::move(dir)) {}

  std::shared_ptr<VirtualDrive> drive() const { return drive_; }
  bool initialised() const { return drive_ || !unreadable_.empty(); }

  HRESULT InitializeDiscRecorder(const std::wstring& unique_id) override {
    const fs::path folder = PathFromUtf8(ToUtf8(unique_id));
    std::string problem;
    std::shared_ptr<VirtualDrive> drive = VirtualDrive::Open(folder, &problem);
    if (!drive && !IsDriveFolder(folder)) return kE_INVALIDARG;
    drive_ = std::move(drive);
    unreadable_ = drive_ ? std::string()
                         : Utf8FromPath(folder.filename()) + ": " + problem;
    return kS_OK;
  }

  HRESULT GetVendorId(std::wstring* vendor) override {
    if (vendor == nullptr) return kE_POINTER;
    if (!initialised()) return kE_IMAPI_RECORDER_REQUIRED;
    *vendor = FromUtf8(drive_ ? drive_->description().vendor
                              : std::string(kUnreadableVendor));
    return kS_OK;
  }

  HRESULT GetProductId(std::wstring* product) override {
    if (product == nullptr) return kE_POINTER;
    if (!initialised()) return kE_IMAPI_RECORDER_REQUIRED;
    *product = FromUtf8(drive_ ? drive_->description().product : unreadable_);
    return kS_OK;
  }

  // Asking for the volume is a use of it: a dismounted volume is mounted
  // again, as the system does at the next access.
  HRESULT GetVolumePathNames(std::vector<std::wstring>* paths) override {
    if (paths == nullptr) return kE_POINTER;
    if (!initialised()) return kE_IMAPI_RECORDER_REQUIRED;
    if (!drive_) {
      paths->clear();
      return kS_OK;
    }
    {
      auto lock = drive_->Lock();
      drive_->EnsureMounted();
    }
    *paths = {WidePath(drive_->MountPath()) + L"/"};
    return kS_OK;
  }

  HRESULT GetSupportedFeaturePages(
      std::vector<std::uint32_t>* features) override {
    if (features == nullptr) return kE_POINTER;
    if (!initialised()) return kE_IMAPI_RECORDER_REQUIRED;
    *features = drive_ ? SupportedFeatures(drive_->description().type)
                       : std::vector<std::uint32_t>();
    return kS_OK;
  }

  HRESULT DisableMcn() override { return LogMcn("DisableMcn"); }
  HRESULT EnableMcn() override { return LogMcn("EnableMcn"); }

  HRESULT QueryRecorderEx(std::shared_ptr<IDiscRecorder2Ex>* ex) override {
    if (ex == nullptr) return kE_POINTER;
    if (!initialised()) return kE_IMAPI_RECORDER_REQUIRED;
    *ex = std::make_shared<VirtualRecorderEx>(drive_);
    return kS_OK;
  }

 private:
  HRESULT LogMcn(const char* line) {
    if (!drive_) return kE_IMAPI_RECORDER_REQUIRED;
    drive_->LogRequest(line);
    return kS_OK;
  }

  // One of the drives the disc master lists.
  bool IsDriveFolder(const fs::path& folder) const {
    if (dir_.empty()) return false;
    std::error_code error;
    const fs::path wanted = fs::absolute(folder, error).lexically_normal();
    for (const fs::path& drive : VirtualDrive::ListDrives(dir_)) {
      if (fs::absolute(drive, error).lexically_normal() == wanted) return true;
    }
    return false;
  }

  fs::path dir_;
  std::shared_ptr<VirtualDrive> drive_;
  // Why the drive cannot be read, naming its folder; empty for a drive
  // that can.
  std::string unreadable_;
};

bool IsInitialisedRecorder(IDiscRecorder2* recorder) {
  const auto* virtual_recorder = dynamic_cast<VirtualRecorder*>(recorder);
  return virtual_recorder != nullptr && virtual_recorder->initialised();
}

std::shared_ptr<VirtualDrive> DriveOf(IDiscRecorder2* recorder) {
  const auto* virtual_recorder = dynamic_cast<VirtualRecorder*>(recorder);
  return virtual_recorder == nullptr ? nullptr : virtual_recorder->drive();
}

class WriteProgress final : public IDiscFormat2DataEventArgs {
 public:
  std::int32_t elapsed = 0;
  std::int32_t total = 0;
  std::int32_t action = 0;
  std::int32_t sectors = 0;
  std::int32_t last_lba = 0;
  std::int32_t buffer = 0;

  HRESULT GetElapsedTime(std::int32_t* v) override { return Get(elapsed, v); }
  HRESULT GetRemainingTime(std::int32_t* v) override {
    return Get(std::max(0, total - elapsed), v);
  }
  HRESULT GetTotalTime(std::int32_t* v) override { return Get(total, v); }
  HRESULT GetCurrentAction(std::int32_t* v) override { return Get(action, v); }
  HRESULT GetStartLba(std::int32_t* v) override { return Get(0, v); }
  HRESULT GetSectorCount(std::int32_t* v) override { return Get(sectors, v); }
  HRESULT GetLastReadLba(std::int32_t* v) override { return Get(last_lba, v); }
  HRESULT GetLastWrittenLba(std::int32_t* v) override {
    return Get(last_lba, v);
  }
  HRESULT GetTotalSystemBuffer(std::int32_t* v) override {
    return Get(buffer, v);
  }
  HRESULT GetUsedSystemBuffer(std::int32_t* v) override { return Get(0, v); }
  HRESULT GetFreeSystemBuffer(std::int32_t* v) override {
    return Get(buffer, v);
  }

 private:
  static HRESULT Get(std::int32_t value, std::int32_t* out) {
    if (out == nullptr) return kE_POINTER;
    *out = value;
    return kS_OK;
  }
};

class VirtualDataWriter final : public MediumQueries<IDiscFormat2Data> {
 public:
  explicit VirtualDataWriter(std::shared_ptr<Clock> clock)
      : clock_(std::move(clock)) {}

  HRESULT IsRecorderSupported(IDiscRecorder2* recorder,
                              bool* supported) override {
    if (recorder == nullptr || supported == nullptr) return kE_POINTER;
    // An unreadable drive is supported, so that the recorder list shows
    // it; it takes no binding.
    *supported = IsInitialisedRecorder(recorder);
    return kS_OK;
  }

  HRESULT PutRecorder(std::shared_ptr<IDiscRecorder2> recorder) override {
    if (writing_) return kE_IMAPI_DF2DATA_WRITE_IN_PROGRESS;
    return Bind(recorder, kE_IMAPI_DF2DATA_RECORDER_NOT_SUPPORTED);
  }

  HRESULT PutClientName(const std::wstring& name) override {
    if (name.empty()) return kE_IMAPI_DF2DATA_CLIENT_NAME_IS_NOT_VALID;
    client_name_ = name;
    return kS_OK;
  }

  HRESULT GetSupportedMediaTypes(
      std::vector<IMAPI_MEDIA_PHYSICAL_TYPE>* types) override {
    if (types == nullptr) return kE_POINTER;
    if (!drive_ && !bound_unreadable_) return kE_IMAPI_RECORDER_REQUIRED;
    *types = drive_ ? WritableMedia(drive_->description().type)
                    : std::vector<IMAPI_MEDIA_PHYSICAL_TYPE>();
    return kS_OK;
  }

  HRESULT GetCurrentPhysicalMediaType(
      IMAPI_MEDIA_PHYSICAL_TYPE* type) override {
    if (type == nullptr) return kE_POINTER;
    MediumState medium;
    const HRESULT hr = ReadMedium(&medium);
    if (Succeeded(hr)) *type = medium.type;
    return hr;
  }

  HRESULT GetCurrentMediaStatus(std::uint32_t* state) override {
    if (state == nullptr) return kE_POINTER;
    MediumState medium;
    const HRESULT hr = ReadMedium(&medium);
    if (Succeeded(hr)) *state = MediaStatus(*drive_, medium);
    return hr;
  }

  HRESULT GetMediaHeuristicallyBlank(bool* blank) override {
    if (blank == nullptr) return kE_POINTER;
    MediumState medium;
    const HRESULT hr = ReadMedium(&medium);
    if (Succeeded(hr)) *blank = !medium.written;
    return hr;
  }

  HRESULT GetFreeSectorsOnMedia(std::int32_t* sectors) override {
    if (sectors == nullptr) return kE_POINTER;
    MediumState medium;
    const HRESULT hr = ReadMedium(&medium);
    if (Succeeded(hr)) {
      *sectors = static_cast<std::int32_t>(
          std::min<std::int64_t>(FreeSectors(*drive_, medium), INT32_MAX));
    }
    return hr;
  }

  HRESULT GetWriteProtectStatus(std::uint32_t* state) override {
    if (state == nullptr) return kE_POINTER;
    MediumState medium;
    const HRESULT hr = ReadMedium(&medium);
    if (Succeeded(hr)) *state = kWriteProtectNone;
    return hr;
  }

  HRESULT Write(IStream* data) override;

  // Called by a sink from inside Write, or from another thread.
  HRESULT CancelWrite() override {
    if (!writing_) return kE_IMAPI_DF2DATA_WRITE_NOT_IN_PROGRESS;
    cancel_ = true;
    return kS_OK;
  }

  HRESULT Advise(std::shared_ptr<DDiscFormat2DataEvents> sink,
                 std::uint32_t* cookie) override {
    return sinks_.Advise(std::move(sink), cookie);
  }
  HRESULT Unadvise(std::uint32_t cookie) override {
    return sinks_.Unadvise(cookie);
  }

 private:
  HRESULT CheckWritable(const MediumState& medium, std::uint64_t size) const;
  HRESULT Record(VirtualDrive& drive, MediumState medium, IStream* data,
                 std::uint64_t size);
  void Report(WriteProgress& progress, std::int32_t action) {
    progress.action = action;
    for (const auto& sink : sinks_.Current()) sink->Update(this, &progress);
  }

  std::shared_ptr<Clock> clock_;
  std::wstring client_name_;
  std::atomic<bool> writing_{false};
  std::atomic<bool> cancel_{false};
  Sinks<DDiscFormat2DataEvents> sinks_;
};

HRESULT VirtualDataWriter::CheckWritable(const MediumState& medium,
                                         std::uint64_t size) const {
  if (!medium.present) return kE_IMAPI_RECORDER_MEDIA_NO_MEDIA;
  if (drive_->busy()) return kE_IMAPI_RECORDER_MEDIA_BUSY;
  if (!DriveWrites(drive_->description().type, medium.type)) {
    return kE_IMAPI_DF2DATA_MEDIA_IS_NOT_SUPPORTED;
  }
  if (!TakesWrite(medium)) return kE_IMAPI_DF2DATA_MEDIA_NOT_BLANK;
  if (size == 0 || size % kSectorBytes != 0) {
    return kE_IMAPI_DF2DATA_STREAM_NOT_SUPPORTED;
  }
  if (size / kSectorBytes >
      static_cast<std::uint64_t>(drive_->Capacity(medium.type))) {
    return kE_IMAPI_DF2DATA_STREAM_TOO_LARGE_FOR_CURRENT_MEDIA;
  }
  return kS_OK;
}

HRESULT VirtualDataWriter::Write(IStream* data) {
  if (!drive_) return NoDrive();
  if (data == nullptr) return kE_POINTER;
  if (writing_.exchange(true)) return kE_IMAPI_DF2DATA_WRITE_IN_PROGRESS;
  struct EndWrite {
    std::atomic<bool>& writing;
    ~EndWrite() { writing = false; }
  } end_write{writing_};
  cancel_ = false;

  std::uint64_t size = 0;
  const HRESULT stat = data->Stat(&size);
  if (Failed(stat)) return stat;
  const std::shared_ptr<VirtualDrive> drive = drive_;
  MediumState medium;
  std::unique_ptr<BusyDrive> busy;
  {
    auto lock = drive->Lock();
    medium = drive->ReadMedium();
    const HRESULT hr = CheckWritable(medium, size);
    if (Failed(hr)) return hr;
    busy = std::make_unique<BusyDrive>(drive);
  }
  return Record(*drive, medium, data, size);
}

// Records the stream onto the medium: the drive gets ready, then the data
// goes on in blocks, with a progress event at least once a second. The
// medium counts as damaged from the first block until the last is on.
HRESULT VirtualDataWriter::Record(VirtualDrive& drive, MediumState medium,
                                  IStream* data, std::uint64_t size) {
  const Stopwatch watch(*clock_);
  const std::uint64_t speed = drive.description().speed;
  // A throttled drive takes blocks of a quarter second, so that progress
  // and cancelling keep up with a slow disc.
  const std::uint32_t block =
      speed == 0 ? kLargestBlock
                 : static_cast<std::uint32_t>(std::clamp<std::uint64_t>(
                       speed / 4 / kSectorBytes * kSectorBytes, kSectorBytes,
                       kLargestBlock));
  WriteProgress progress;
  progress.sectors = static_cast<std::int32_t>(size / kSectorBytes);
  progress.buffer = static_cast<std::int32_t>(block);

  Report(progress, kWriteActionInitializingHardware);
  if (cancel_) return kE_IMAPI_REQUEST_CANCELLED;
  Report(progress, kWriteActionCalibratingPower);
  if (cancel_) return kE_IMAPI_REQUEST_CANCELLED;

  const std::uint32_t data_start = watch.Elapsed();
  const MediumState before = medium;
  const std::unique_ptr<char, decltype(&std::free)> buffer(
      static_cast<char*>(std::aligned_alloc(
          kBufferAlignment, (block + kBufferAlignment - 1) / kBufferAlignment *
                                kBufferAlignment)),
      &std::free);
  if (!buffer) return kE_OUTOFMEMORY;
  int out = -1;
  std::uint64_t written = 0;
  std::uint32_t last_report = data_start;
  auto update_times = [&](std::uint32_t now) {
    progress.elapsed = WholeSeconds(now);
    if (speed > 0) {
      progress.total = WholeSeconds(data_start) +
                       static_cast<std::int32_t>((size + speed - 1) / speed);
    } else if (written > 0) {
      progress.total = static_cast<std::int32_t>(
          static_cast<double>(now) / 1000 * static_cast<double>(size) /
          static_cast<double>(written));
    }
    progress.total = std::max(progress.total, progress.elapsed);
    progress.last_lba =
        written == 0 ? 0
                     : static_cast<std::int32_t>(written / kSectorBytes - 1);
  };
  update_times(data_start);
  Report(progress, kWriteActionWritingData);

  HRESULT result = kS_OK;
  while (written < size) {
    if (cancel_) {
      result = kE_IMAPI_REQUEST_CANCELLED;
      break;
    }
    const auto want = static_cast<std::uint32_t>(
        std::min<std::uint64_t>(block, size - written));
    std::uint32_t got = 0;
    const HRESULT read = data->Read(buffer.get(), want, &got);
    if (Failed(read)) {
      result = read;
      break;
    }
    if (got == 0) {
      // The stream ended before the size it gave.
      result = kE_FAIL;
      break;
    }
    if (written == 0) {
      auto lock = drive.Lock();
      medium.written = true;
      medium.damaged = true;
      medium.mounted = true;
      drive.SaveMedium(medium);
      out = ::open(drive.MediumPath().c_str(),
                   O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    }
    if (!WriteAll(out, buffer.get(), got)) {
      result = kE_FAIL;
      break;
    }
    written += got;
    if (speed > 0) {
      watch.SleepUntil(data_start + written * 1000 / speed);
    }
    const std::uint32_t now = watch.Elapsed();
    if (now - last_report >= 1000) {
      update_times(now);
      Report(progress, kWriteActionWritingData);
      last_report = now;
    }
  }
  const bool reached_medium = out >= 0;
  if (reached_medium && ::close(out) != 0 && Succeeded(result)) {
    result = kE_FAIL;
  }

  if (Failed(result)) {
    // A write that never reached the medium leaves it as it was.
    if (!reached_medium) {
      auto lock = drive.Lock();
      drive.SaveMedium(before);
    }
    return result;
  }
  update_times(watch.Elapsed());
  progress.total = progress.elapsed;
  Report(progress, kWriteActionWritingData);
  Report(progress, kWriteActionFinalization);
  {
    auto lock = drive.Lock();
    medium.damaged = false;
    drive.SaveMedium(medium);
  }
  Report(progress, kWriteActionCompleted);
  return kS_OK;
}

class VirtualEraser final : public MediumQueries<IDiscFormat2Erase> {
 public:
  explicit VirtualEraser(std::shared_ptr<Clock> clock)
      : clock_(std::move(clock)) {}

  HRESULT PutRecorder(std::shared_ptr<IDiscRecorder2> recorder) override {
    return Bind(recorder, kE_IMAPI_ERASE_RECORDER_NOT_SUPPORTED);
  }

  HRESULT PutClientName(const std::wstring& name) override {
    if (name.empty()) return kE_INVALIDARG;
    client_name_ = name;
    return kS_OK;
  }

  HRESULT GetCurrentPhysicalMediaType(
      IMAPI_MEDIA_PHYSICAL_TYPE* type) override {
    if (type == nullptr) return kE_POINTER;
    MediumState medium;
    const HRESULT hr = ReadMedium(&medium);
    if (Succeeded(hr)) *type = medium.type;
    return hr;
  }

  HRESULT PutFullErase(bool full) override {
    full_ = full;
    return kS_OK;
  }

  HRESULT EraseMedia() override;

  HRESULT Advise(std::shared_ptr<DDiscFormat2EraseEvents> sink,
                 std::uint32_t* cookie) override {
    return sinks_.Advise(std::move(sink), cookie);
  }
  HRESULT Unadvise(std::uint32_t cookie) override {
    return sinks_.Unadvise(cookie);
  }

 private:
  void Report(std::int32_t elapsed, std::int32_t expected) {
    for (const auto& sink : sinks_.Current()) {
      sink->Update(this, elapsed, expected);
    }
  }

  std::shared_ptr<Clock> clock_;
  std::wstring client_name_;
  bool full_ = false;
  Sinks<DDiscFormat2EraseEvents> sinks_;
};

// Erasing leaves the medium blank. A throttled drive takes the time a
// full erase of what is recorded would take at its speed; a quick erase
// takes none.
HRESULT VirtualEraser::EraseMedia() {
  if (!drive_) return NoDrive();
  const std::shared_ptr<VirtualDrive> drive = drive_;
  MediumState medium;
  std::uint64_t recorded = 0;
  std::unique_ptr<BusyDrive> busy;
  {
    auto lock = drive->Lock();
    medium = drive->ReadMedium();
    if (!medium.present) return kE_IMAPI_RECORDER_MEDIA_NO_MEDIA;
    if (drive->busy()) return kE_IMAPI_RECORDER_MEDIA_BUSY;
    const MediaInfo* info = FindRecordableMedia(medium.type);
    if (info == nullptr || !IsRewritable(*info) ||
        !DriveWrites(drive->description().type, medium.type)) {
      return kE_IMAPI_ERASE_MEDIA_IS_NOT_SUPPORTED;
    }
    std::error_code error;
    recorded = fs::file_size(drive->MediumPath(), error);
    if (error) recorded = 0;
    busy = std::make_unique<BusyDrive>(drive);
  }

  const Stopwatch watch(*clock_);
  const std::uint64_t speed = drive->description().speed;
  const std::int32_t expected =
      (speed > 0 && full_) ? static_cast<std::int32_t>(recorded / speed) : 0;
  Report(0, expected);
  for (std::int32_t second = 1; second <= expected; ++second) {
    watch.SleepUntil(static_cast<std::uint64_t>(second) * 1000);
    if (second < expected) Report(second, expected);
  }

  bool erased = false;
  {
    auto lock = drive->Lock();
    std::ofstream truncate(drive->MediumPath(),
                           std::ios::binary | std::ios::trunc);
    erased = truncate.is_open();
    if (erased) {
      MediumState blank;
      blank.present = true;
      blank.type = medium.type;
      drive->SaveMedium(blank);
    }
  }
  if (!erased) return kE_FAIL;
  // Which erase ran is the one thing a blank medium cannot show.
  drive->LogRequest(full_ ? "EraseMedia full" : "EraseMedia quick");
  const std::int32_t elapsed = WholeSeconds(watch.Elapsed());
  Report(elapsed, std::max(expected, elapsed));
  return kS_OK;
}

class VirtualDiscServices final : public DiscServices {
 public:
  VirtualDiscServices(fs::path dir, std::shared_ptr<Clock> clock)
      : dir_(std::move(dir)), clock_(std::move(clock)) {}

  HRESULT CreateDiscMaster(std::shared_ptr<IDiscMaster2>* out) override {
    return Make(std::make_shared<VirtualDiscMaster>(dir_), out);
  }
  HRESULT CreateRecorder(std::shared_ptr<IDiscRecorder2>* out) override {
    return Make(std::make_shared<VirtualRecorder>(dir_), out);
  }
  HRESULT CreateDataWriter(std::shared_ptr<IDiscFormat2Data>* out) override {
    return Make(std::make_shared<VirtualDataWriter>(clock_), out);
  }
  HRESULT CreateEraser(std::shared_ptr<IDiscFormat2Erase>* out) override {
    return Make(std::make_shared<VirtualEraser>(clock_), out);
  }
  HRESULT CreateFileSystemImage(
      std::shared_ptr<IFileSystemImage>* out) override {
    return Make(udf::CreateUdfFileSystemImage(), out);
  }
  HRESULT CreateBootOptions(std::shared_ptr<IBootOptions>* out) override {
    return Make(udf::CreateBootOptions(), out);
  }
  HRESULT CreateStreamOnFile(const std::wstring& path,
                             std::shared_ptr<IStream>* out) override {
    if (out == nullptr) return kE_POINTER;
    return posix::OpenFileStream(path, out);
  }

 private:
  template <typename Interface, typename Object>
  static HRESULT Make(std::shared_ptr<Object> object,
                      std::shared_ptr<Interface>* out) {
    if (out == nullptr) return kE_POINTER;
    if (!object) return kE_OUTOFMEMORY;
    *out = std::move(object);
    return kS_OK;
  }

  fs::path dir_;
  std::shared_ptr<Clock> clock_;
};

}  // namespace
}  // namespace virtual_drive

std::shared_ptr<DiscServices> MakeVirtualDiscServices(
    const std::string& drives_dir, std::shared_ptr<Clock> clock) {
  return std::make_shared<virtual_drive::VirtualDiscServices>(
      drives_dir.empty() ? std::filesystem::path()
                         : virtual_drive::PathFromUtf8(drives_dir),
      std::move(clock));
}

std::shared_ptr<Platform> MakeVirtualPlatform(std::shared_ptr<Platform> base,
                                              const std::string& drives_dir) {
  auto platform = std::make_shared<Platform>(*base);
  platform->disc = MakeVirtualDiscServices(drives_dir, platform->clock);
  platform->devices = MakeVirtualDevices(drives_dir);
  platform->files = MakeVirtualFileSystem(platform->files, drives_dir);
  return platform;
}

}  // namespace tessaline::platform
