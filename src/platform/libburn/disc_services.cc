// The disc services on libburn: IMAPI2's disc master, recorder, data writer
// and eraser acting on the machine's recorders and on libburn's
// pseudo-drives, with IMAPI2's answers and error codes; this project's UDF
// builder and the system's file streams for images.
#include <libburn/libburn.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/libburn/burn_drive.h"
#include "platform/libburn/cdrom.h"
#include "platform/libburn/libburn_platform.h"
#include "platform/libburn/medium_view.h"
#include "platform/posix/file_stream.h"
#include "platform/text.h"
#include "platform/udf/udf_image.h"

namespace tessaline::platform::libburn {
namespace {

using namespace burn;  // NOLINT(build/namespaces): libburn's C names

using SteadyClock = std::chrono::steady_clock;

// CONNECT_E_NOCONNECTION: Unadvise with a cookie that names no sink.
constexpr HRESULT kNoConnection = static_cast<HRESULT>(0x80040200u);
constexpr std::int64_t kSectorBytes = 2048;
constexpr auto kPollInterval = std::chrono::milliseconds(100);
constexpr auto kReportInterval = std::chrono::seconds(1);
// The fifo between the image stream and the drive: 4 MiB.
constexpr int kFifoChunkBytes = 2048;
constexpr int kFifoChunks = 2048;
constexpr std::int64_t kOverwriteBytes = 64 * 1024;

std::int32_t WholeSeconds(SteadyClock::duration duration) {
  return static_cast<std::int32_t>(
      std::chrono::duration_cast<std::chrono::seconds>(duration).count());
}

// Waits until libburn has finished with the drive's running job, calling
// `poll` with the drive's progress on the way.
template <typename Poll>
void WaitUntilIdle(burn_drive* drive, Poll poll) {
  while (burn_drive_get_status(drive, nullptr) == BURN_DRIVE_SPAWNING) {
    std::this_thread::sleep_for(kPollInterval);
  }
  for (;;) {
    burn_progress progress{};
    const burn_drive_status status = burn_drive_get_status(drive, &progress);
    if (status == BURN_DRIVE_IDLE) break;
    poll(status, progress);
    std::this_thread::sleep_for(kPollInterval);
  }
}

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

class BurnDiscMaster final : public IDiscMaster2 {
 public:
  HRESULT GetCount(std::int32_t* count) override {
    if (count == nullptr) return kE_POINTER;
    std::vector<DriveAddress> drives;
    if (!ListDrives(&drives)) return kE_FAIL;
    *count = static_cast<std::int32_t>(drives.size());
    return kS_OK;
  }

  HRESULT GetItem(std::int32_t index, std::wstring* unique_id) override {
    if (unique_id == nullptr) return kE_POINTER;
    std::vector<DriveAddress> drives;
    if (!ListDrives(&drives)) return kE_FAIL;
    if (index < 0 || static_cast<std::size_t>(index) >= drives.size()) {
      return kE_INVALIDARG;
    }
    *unique_id = FromUtf8(UniqueId(drives[static_cast<std::size_t>(index)]));
    return kS_OK;
  }
};

class BurnRecorderEx final : public IDiscRecorder2Ex {
 public:
  explicit BurnRecorderEx(DriveFacts facts) : facts_(std::move(facts)) {}

  HRESULT GetFeaturePage(std::uint32_t feature, bool current_only,
                         std::vector<std::uint8_t>* descriptor) override {
    if (descriptor == nullptr) return kE_POINTER;
    std::vector<std::uint8_t> page =
        FeatureDescriptor(feature, facts_.profiles, facts_.current_profile);
    if (page.empty()) return kE_IMAPI_RECORDER_NO_SUCH_FEATURE;
    if (current_only && (page[2] & 0x01) == 0) {
      return kE_IMAPI_RECORDER_FEATURE_IS_NOT_CURRENT;
    }
    *descriptor = std::move(page);
    return kS_OK;
  }

 private:
  DriveFacts facts_;
};

// The recorder reads what libburn knows of the drive once, when it is
// initialised, and lets the drive go again.
class BurnRecorder final : public IDiscRecorder2 {
 public:
  const DriveAddress* address() const {
    return initialised_ ? &address_ : nullptr;
  }

  HRESULT InitializeDiscRecorder(const std::wstring& unique_id) override {
    DriveAddress address;
    if (!ParseUniqueId(ToUtf8(unique_id), &address)) return kE_INVALIDARG;
    HRESULT hr = kS_OK;
    std::unique_ptr<HeldDrive> held = HeldDrive::Grab(address, &hr);
    if (!held) return hr;
    HeldDrive::Medium medium;
    held->ReadMedium(&medium);
    facts_ = held->facts();
    address_ = address;
    initialised_ = true;
    return kS_OK;
  }

  HRESULT GetVendorId(std::wstring* vendor) override {
    return Text(facts_.vendor, vendor);
  }
  HRESULT GetProductId(std::wstring* product) override {
    return Text(facts_.product, product);
  }

  // The system's mount points of the medium or, where nothing mounted it,
  // the library's own view of it. A drive always has one, as a drive
  // letter stays with a drive whatever its tray holds.
  HRESULT GetVolumePathNames(std::vector<std::wstring>* paths) override {
    if (paths == nullptr) return kE_POINTER;
    if (!initialised_) return kE_IMAPI_RECORDER_REQUIRED;
    const std::string device = DevicePathOf(address_);
    std::vector<std::string> points = MountPointsOf(device);
    if (points.empty()) {
      const std::string view = ShowMedium(device);
      if (view.empty()) return kE_FAIL;
      points.push_back(view);
    }
    paths->clear();
    for (const std::string& point : points) {
      paths->push_back(FromUtf8(point == "/" ? point : point + "/"));
    }
    return kS_OK;
  }

  HRESULT GetSupportedFeaturePages(
      std::vector<std::uint32_t>* features) override {
    if (features == nullptr) return kE_POINTER;
    if (!initialised_) return kE_IMAPI_RECORDER_REQUIRED;
    *features = FeaturesOfProfiles(facts_.profiles);
    return kS_OK;
  }

  HRESULT DisableMcn() override { return Mcn(false); }
  HRESULT EnableMcn() override { return Mcn(true); }

  HRESULT QueryRecorderEx(std::shared_ptr<IDiscRecorder2Ex>* ex) override {
    if (ex == nullptr) return kE_POINTER;
    if (!initialised_) return kE_IMAPI_RECORDER_REQUIRED;
    *ex = std::make_shared<BurnRecorderEx>(facts_);
    return kS_OK;
  }

 private:
  HRESULT Text(const std::string& value, std::wstring* out) const {
    if (out == nullptr) return kE_POINTER;
    if (!initialised_) return kE_IMAPI_RECORDER_REQUIRED;
    *out = FromUtf8(value);
    return kS_OK;
  }

  // A pseudo-drive has no notification to switch.
  HRESULT Mcn(bool enable) {
    if (!initialised_) return kE_IMAPI_RECORDER_REQUIRED;
    if (IsPseudoDrive(address_)) return kS_OK;
    return SetMediaChangeNotification(DevicePathOf(address_), enable) ? kS_OK
                                                                      : kE_FAIL;
  }

  bool initialised_ = false;
  DriveAddress address_;
  DriveFacts facts_;
};

const DriveAddress* AddressOf(IDiscRecorder2* recorder) {
  const auto* burn_recorder = dynamic_cast<BurnRecorder*>(recorder);
  return burn_recorder == nullptr ? nullptr : burn_recorder->address();
}

// Answers the questions about the medium for both formats: a format
// without a recorder answers E_IMAPI_RECORDER_REQUIRED, one whose drive has
// an empty tray E_IMAPI_RECORDER_MEDIA_NO_MEDIA.
template <typename Interface>
class MediumQueries : public Interface {
 public:
  explicit MediumQueries(std::shared_ptr<Console> console)
      : console_(std::move(console)) {}

 protected:
  HRESULT Bind(const std::shared_ptr<IDiscRecorder2>& recorder,
               HRESULT unsupported) {
    if (!recorder) {
      bound_ = false;
      return kS_OK;
    }
    const DriveAddress* address = AddressOf(recorder.get());
    if (address == nullptr) return unsupported;
    address_ = *address;
    bound_ = true;
    return kS_OK;
  }

  // Holds the drive and reads its medium.
  HRESULT Hold(std::unique_ptr<HeldDrive>* held, HeldDrive::Medium* medium) {
    if (!bound_) return kE_IMAPI_RECORDER_REQUIRED;
    HRESULT hr = kS_OK;
    *held = HeldDrive::Grab(address_, &hr);
    if (!*held) return hr;
    return (*held)->ReadMedium(medium);
  }

  HRESULT PhysicalMediaType(IMAPI_MEDIA_PHYSICAL_TYPE* type) {
    if (type == nullptr) return kE_POINTER;
    std::unique_ptr<HeldDrive> held;
    HeldDrive::Medium medium;
    const HRESULT hr = Hold(&held, &medium);
    if (Succeeded(hr)) *type = MediaTypeOfProfile(medium.profile);
    return hr;
  }

  // Passes libburn's complaints on and leaves the failure to the caller.
  HRESULT Failure(HRESULT hr) {
    DrainMessages(console_.get());
    return hr;
  }

  std::shared_ptr<Console> console_;
  bool bound_ = false;
  DriveAddress address_;
};

class WriteProgress final : public IDiscFormat2DataEventArgs {
 public:
  std::int32_t elapsed = 0;
  std::int32_t total = 0;
  std::int32_t action = 0;
  std::int32_t sectors = 0;
  std::int32_t last_lba = 0;
  std::int32_t buffer = 0;
  std::int32_t buffer_free = 0;

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
  HRESULT GetUsedSystemBuffer(std::int32_t* v) override {
    return Get(buffer - buffer_free, v);
  }
  HRESULT GetFreeSystemBuffer(std::int32_t* v) override {
    return Get(buffer_free, v);
  }

 private:
  static HRESULT Get(std::int32_t value, std::int32_t* out) {
    if (out == nullptr) return kE_POINTER;
    *out = value;
    return kS_OK;
  }
};

// The image stream as libburn's data source. libburn reads it on threads
// of its own; once the write is over the stream is closed to them, so a
// late read cannot reach a stream the caller has let go.
struct StreamSource {
  std::mutex mutex;
  IStream* stream = nullptr;
  off_t size = 0;
  bool failed = false;
  // A pseudo-drive given a speed writes no faster: the data comes no
  // faster. Read on libburn's thread only.
  std::int64_t speed = 0;
  std::int64_t delivered = 0;
  SteadyClock::time_point start = SteadyClock::now();

  static StreamSource* Of(burn_source* source) {
    return static_cast<std::shared_ptr<StreamSource>*>(source->data)->get();
  }

  static int Read(burn_source* source, unsigned char* buffer, int size) {
    StreamSource* self = Of(source);
    self->Throttle(size);
    std::lock_guard<std::mutex> lock(self->mutex);
    if (self->stream == nullptr) return -1;
    int total = 0;
    while (total < size) {
      std::uint32_t got = 0;
      if (Failed(self->stream->Read(buffer + total,
                                    static_cast<std::uint32_t>(size - total),
                                    &got))) {
        self->failed = true;
        return -1;
      }
      if (got == 0) break;
      total += static_cast<int>(got);
    }
    self->delivered += total;
    return total;
  }

  // Waits, in steps short enough for a cancel to be seen, until `size`
  // more bytes are due at the drive's speed.
  void Throttle(int size) {
    if (speed <= 0) return;
    const auto due = start + std::chrono::duration_cast<SteadyClock::duration>(
                                 std::chrono::duration<double>(
                                     static_cast<double>(delivered + size) /
                                     static_cast<double>(speed)));
    while (SteadyClock::now() < due) {
      {
        std::lock_guard<std::mutex> lock(mutex);
        if (stream == nullptr) return;
      }
      std::this_thread::sleep_for(std::min<SteadyClock::duration>(
          due - SteadyClock::now(), std::chrono::milliseconds(50)));
    }
  }
  static off_t GetSize(burn_source* source) { return Of(source)->size; }
  static int SetSize(burn_source* source, off_t size) {
    Of(source)->size = size;
    return 1;
  }
  static void FreeData(burn_source* source) {
    delete static_cast<std::shared_ptr<StreamSource>*>(source->data);
    source->data = nullptr;
  }

  // A new burn_source with one reference, which the caller frees with
  // burn_source_free.
  static burn_source* Make(const std::shared_ptr<StreamSource>& shared) {
    auto* source =
        static_cast<burn_source*>(std::calloc(1, sizeof(burn_source)));
    if (source == nullptr) return nullptr;
    source->refcount = 1;
    source->read = &StreamSource::Read;
    source->get_size = &StreamSource::GetSize;
    source->set_size = &StreamSource::SetSize;
    source->free_data = &StreamSource::FreeData;
    source->data = new std::shared_ptr<StreamSource>(shared);
    return source;
  }

  void Close() {
    std::lock_guard<std::mutex> lock(mutex);
    stream = nullptr;
  }
};

// The libburn objects of one write, freed in the order libburn needs.
struct BurnJob {
  burn_disc* disc = nullptr;
  burn_session* session = nullptr;
  burn_track* track = nullptr;
  burn_source* source = nullptr;
  burn_source* fifo = nullptr;
  burn_write_opts* options = nullptr;

  ~BurnJob() {
    if (options != nullptr) burn_write_opts_free(options);
    if (fifo != nullptr) burn_source_free(fifo);
    if (source != nullptr) burn_source_free(source);
    if (track != nullptr) burn_track_free(track);
    if (session != nullptr) burn_session_free(session);
    if (disc != nullptr) burn_disc_free(disc);
  }
};

class BurnDataWriter final : public MediumQueries<IDiscFormat2Data> {
 public:
  using MediumQueries::MediumQueries;

  HRESULT IsRecorderSupported(IDiscRecorder2* recorder,
                              bool* supported) override {
    if (recorder == nullptr || supported == nullptr) return kE_POINTER;
    *supported = AddressOf(recorder) != nullptr;
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
    if (!bound_) return kE_IMAPI_RECORDER_REQUIRED;
    HRESULT hr = kS_OK;
    const std::unique_ptr<HeldDrive> held = HeldDrive::Grab(address_, &hr);
    if (!held) return hr;
    types->clear();
    if (IsPseudoDrive(address_)) types->push_back(IMAPI_MEDIA_TYPE_DISK);
    for (int profile : held->facts().profiles) {
      const IMAPI_MEDIA_PHYSICAL_TYPE type = MediaTypeOfProfile(profile);
      if (IsWritableProfile(profile) &&
          std::find(types->begin(), types->end(), type) == types->end()) {
        types->push_back(type);
      }
    }
    return kS_OK;
  }

  HRESULT GetCurrentPhysicalMediaType(
      IMAPI_MEDIA_PHYSICAL_TYPE* type) override {
    return PhysicalMediaType(type);
  }

  HRESULT GetCurrentMediaStatus(std::uint32_t* state) override {
    if (state == nullptr) return kE_POINTER;
    std::unique_ptr<HeldDrive> held;
    HeldDrive::Medium medium;
    const HRESULT hr = Hold(&held, &medium);
    if (Failed(hr)) return hr;
    std::uint32_t flags = 0;
    if (IsOverwriteProfile(medium.profile)) flags |= kMediaStateOverwriteOnly;
    if (medium.blank) {
      flags |= kMediaStateBlank;
    } else if (medium.status == BURN_DISC_APPENDABLE) {
      flags |= kMediaStateAppendable | kMediaStateNonEmptySession;
    } else {
      flags |= kMediaStateNonEmptySession;
      if (!IsOverwriteProfile(medium.profile)) flags |= kMediaStateFinalized;
    }
    if (medium.status == BURN_DISC_UNSUITABLE ||
        !IsWritableProfile(medium.profile)) {
      flags |= kMediaStateUnsupportedMedia;
    }
    *state = flags;
    return kS_OK;
  }

  HRESULT GetMediaHeuristicallyBlank(bool* blank) override {
    if (blank == nullptr) return kE_POINTER;
    std::unique_ptr<HeldDrive> held;
    HeldDrive::Medium medium;
    const HRESULT hr = Hold(&held, &medium);
    if (Succeeded(hr)) *blank = medium.blank;
    return hr;
  }

  HRESULT GetFreeSectorsOnMedia(std::int32_t* sectors) override {
    if (sectors == nullptr) return kE_POINTER;
    std::unique_ptr<HeldDrive> held;
    HeldDrive::Medium medium;
    const HRESULT hr = Hold(&held, &medium);
    if (Failed(hr)) return hr;
    const bool takes_write =
        IsWritableProfile(medium.profile) &&
        (medium.blank || IsOverwriteProfile(medium.profile));
    *sectors = takes_write ? static_cast<std::int32_t>(std::min<std::int64_t>(
                                 held->FreeBytes() / kSectorBytes, INT32_MAX))
                           : 0;
    return kS_OK;
  }

  HRESULT GetWriteProtectStatus(std::uint32_t* state) override {
    if (state == nullptr) return kE_POINTER;
    std::unique_ptr<HeldDrive> held;
    HeldDrive::Medium medium;
    const HRESULT hr = Hold(&held, &medium);
    if (Succeeded(hr)) {
      *state = IsWritableProfile(medium.profile) ? kWriteProtectNone
                                                 : kWriteProtectReadOnlyMedia;
    }
    return hr;
  }

  HRESULT Write(IStream* data) override;

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
  HRESULT Record(HeldDrive& held, const HeldDrive::Medium& medium,
                 IStream* data, std::uint64_t size);
  void Report(WriteProgress& progress, std::int32_t action) {
    progress.action = action;
    for (const auto& sink : sinks_.Current()) sink->Update(this, &progress);
  }

  std::wstring client_name_;
  std::atomic<bool> writing_{false};
  std::atomic<bool> cancel_{false};
  Sinks<DDiscFormat2DataEvents> sinks_;
};

HRESULT BurnDataWriter::Write(IStream* data) {
  if (!bound_) return kE_IMAPI_RECORDER_REQUIRED;
  if (data == nullptr) return kE_POINTER;
  if (writing_.exchange(true)) return kE_IMAPI_DF2DATA_WRITE_IN_PROGRESS;
  struct EndWrite {
    std::atomic<bool>& writing;
    ~EndWrite() { writing = false; }
  } end_write{writing_};
  cancel_ = false;

  std::uint64_t size = 0;
  HRESULT hr = data->Stat(&size);
  if (Failed(hr)) return hr;
  std::unique_ptr<HeldDrive> held;
  HeldDrive::Medium medium;
  hr = Hold(&held, &medium);
  if (Failed(hr)) return hr;
  if (!IsWritableProfile(medium.profile) ||
      medium.status == BURN_DISC_UNSUITABLE) {
    return kE_IMAPI_DF2DATA_MEDIA_IS_NOT_SUPPORTED;
  }
  if (!medium.blank && !IsOverwriteProfile(medium.profile)) {
    return kE_IMAPI_DF2DATA_MEDIA_NOT_BLANK;
  }
  if (size == 0 || size % kSectorBytes != 0) {
    return kE_IMAPI_DF2DATA_STREAM_NOT_SUPPORTED;
  }
  if (size > static_cast<std::uint64_t>(held->FreeBytes())) {
    return kE_IMAPI_DF2DATA_STREAM_TOO_LARGE_FOR_CURRENT_MEDIA;
  }
  DrainMessages(nullptr);
  hr = Record(*held, medium, data, size);
  ForgetMedium(DevicePathOf(address_));
  return hr;
}

// Writes the stream as one data track in the best write type the drive
// offers for the medium, and closes the disc. Progress goes to the sinks
// about once a second.
HRESULT BurnDataWriter::Record(HeldDrive& held, const HeldDrive::Medium& medium,
                               IStream* data, std::uint64_t size) {
  burn_drive* drive = held.drive();
  const SteadyClock::time_point start = SteadyClock::now();
  WriteProgress progress;
  progress.sectors = static_cast<std::int32_t>(size / kSectorBytes);
  progress.buffer = kFifoChunkBytes * kFifoChunks;

  Report(progress, kWriteActionInitializingHardware);
  if (cancel_) return kE_IMAPI_REQUEST_CANCELLED;

  auto shared = std::make_shared<StreamSource>();
  shared->stream = data;
  shared->size = static_cast<off_t>(size);
  shared->speed = held.address().speed;
  struct CloseSource {
    StreamSource& source;
    ~CloseSource() { source.Close(); }
  } close_source{*shared};

  BurnJob job;
  job.disc = burn_disc_create();
  job.session = burn_session_create();
  job.track = burn_track_create();
  job.source = StreamSource::Make(shared);
  if (job.disc == nullptr || job.session == nullptr || job.track == nullptr ||
      job.source == nullptr) {
    return kE_OUTOFMEMORY;
  }
  job.fifo = burn_fifo_source_new(job.source, kFifoChunkBytes, kFifoChunks, 0);
  if (job.fifo == nullptr) return kE_OUTOFMEMORY;
  burn_disc_add_session(job.disc, job.session, BURN_POS_END);
  burn_track_define_data(job.track, 0, 0, 1, BURN_MODE1);
  if (burn_track_set_source(job.track, job.fifo) != BURN_SOURCE_OK) {
    return Failure(kE_FAIL);
  }
  burn_session_add_track(job.session, job.track, BURN_POS_END);

  job.options = burn_write_opts_new(drive);
  if (job.options == nullptr) return kE_OUTOFMEMORY;
  burn_write_opts_set_perform_opc(job.options, 1);
  burn_write_opts_set_multi(job.options, 0);
  burn_write_opts_set_underrun_proof(job.options, 1);
  if (IsOverwriteProfile(medium.profile)) {
    burn_write_opts_set_start_byte(job.options, 0);
  }
  char reasons[BURN_REASONS_LEN] = {};
  if (burn_write_opts_auto_write_type(job.options, job.disc, reasons, 0) ==
      BURN_WRITE_NONE) {
    if (console_) {
      console_->Write(std::string("libburn refuses the write: ") + reasons +
                      "\n");
    }
    return Failure(kE_IMAPI_DF2DATA_MEDIA_IS_NOT_SUPPORTED);
  }

  Report(progress, kWriteActionCalibratingPower);
  if (cancel_) return kE_IMAPI_REQUEST_CANCELLED;
  const SteadyClock::time_point data_start = SteadyClock::now();
  burn_disc_write(job.options, job.disc);

  bool cancel_sent = false;
  SteadyClock::time_point last_report = data_start - kReportInterval;
  std::int32_t last_action = kWriteActionWritingData;
  WaitUntilIdle(drive, [&](burn_drive_status status, const burn_progress& p) {
    if (cancel_ && !cancel_sent) {
      burn_drive_cancel(drive);
      cancel_sent = true;
    }
    const SteadyClock::time_point now = SteadyClock::now();
    const bool closing = status == BURN_DRIVE_CLOSING_TRACK ||
                         status == BURN_DRIVE_CLOSING_SESSION ||
                         status == BURN_DRIVE_WRITING_LEADOUT;
    const std::int32_t action =
        closing ? kWriteActionFinalization : kWriteActionWritingData;
    if (now - last_report < kReportInterval && action == last_action) return;
    last_report = now;
    last_action = action;
    progress.elapsed = WholeSeconds(now - start);
    progress.last_lba = std::max(0, p.sector - 1);
    if (p.sector > 0) {
      const double seconds = std::chrono::duration<double>(now - start).count();
      progress.total = static_cast<std::int32_t>(
          seconds * static_cast<double>(progress.sectors) / p.sector);
    }
    progress.total = std::max(progress.total, progress.elapsed);
    progress.buffer_free = static_cast<std::int32_t>(p.buffer_available);
    Report(progress, action);
    // A sink cancels from inside its event.
    if (cancel_ && !cancel_sent) {
      burn_drive_cancel(drive);
      cancel_sent = true;
    }
  });

  const bool wrote_well = burn_drive_wrote_well(drive) == 1;
  shared->Close();
  if (cancel_ || cancel_sent) {
    DrainMessages(nullptr);
    return kE_IMAPI_REQUEST_CANCELLED;
  }
  if (!wrote_well) {
    return Failure(shared->failed ? kIMAPI_E_DATA_STREAM_READ_FAILURE
                                  : kE_FAIL);
  }
  DrainMessages(console_.get());
  progress.elapsed = WholeSeconds(SteadyClock::now() - start);
  progress.total = progress.elapsed;
  progress.last_lba = progress.sectors - 1;
  Report(progress, kWriteActionWritingData);
  Report(progress, kWriteActionFinalization);
  Report(progress, kWriteActionCompleted);
  return kS_OK;
}

class BurnEraser final : public MediumQueries<IDiscFormat2Erase> {
 public:
  using MediumQueries::MediumQueries;

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
    return PhysicalMediaType(type);
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
  HRESULT Erase(HeldDrive& held, const HeldDrive::Medium& medium);
  void Report(std::int32_t elapsed, std::int32_t expected) {
    for (const auto& sink : sinks_.Current()) {
      sink->Update(this, elapsed, expected);
    }
  }

  std::wstring client_name_;
  bool full_ = false;
  Sinks<DDiscFormat2EraseEvents> sinks_;
};

HRESULT BurnEraser::EraseMedia() {
  std::unique_ptr<HeldDrive> held;
  HeldDrive::Medium medium;
  HRESULT hr = Hold(&held, &medium);
  if (Failed(hr)) return hr;
  DrainMessages(nullptr);
  hr = Erase(*held, medium);
  ForgetMedium(DevicePathOf(address_));
  return hr;
}

// CD-RW and DVD-RW are blanked, quickly or in full as asked. Media written
// in place have nothing to blank: they are formatted when they never were,
// and otherwise their first sectors, where the file system starts, are
// overwritten with zeros. A pseudo-drive's medium is its file, which is
// emptied.
HRESULT BurnEraser::Erase(HeldDrive& held, const HeldDrive::Medium& medium) {
  burn_drive* drive = held.drive();
  const SteadyClock::time_point start = SteadyClock::now();
  Report(0, 0);
  if (IsPseudoDrive(held.address())) {
    if (truncate(DevicePathOf(held.address()).c_str(), 0) != 0) {
      return kE_FAIL;
    }
    Report(0, 0);
    return kS_OK;
  }
  if (!IsWritableProfile(medium.profile)) {
    return kE_IMAPI_ERASE_MEDIA_IS_NOT_SUPPORTED;
  }
  const auto follow = [&](burn_drive_status, const burn_progress& p) {
    const std::int32_t elapsed = WholeSeconds(SteadyClock::now() - start);
    std::int32_t expected = elapsed;
    if (p.sectors > 0 && p.sector > 0) {
      expected = static_cast<std::int32_t>(static_cast<std::int64_t>(elapsed) *
                                           p.sectors / p.sector);
    }
    Report(elapsed, std::max(expected, elapsed));
  };
  if (IsBlankableProfile(medium.profile)) {
    if (medium.status == BURN_DISC_BLANK) return kS_OK;
    if (burn_disc_erasable(drive) == 0) {
      return Failure(kE_IMAPI_ERASE_MEDIA_IS_NOT_SUPPORTED);
    }
    burn_disc_erase(drive, full_ ? 0 : 1);
    WaitUntilIdle(drive, follow);
  } else if (IsOverwriteProfile(medium.profile)) {
    int format_status = 0;
    off_t format_size = 0;
    unsigned int lead_blocks = 0;
    int formats = 0;
    burn_disc_get_formats(drive, &format_status, &format_size, &lead_blocks,
                          &formats);
    if (format_status == BURN_FORMAT_IS_UNFORMATTED) {
      burn_disc_format(drive, 0, 0);
      WaitUntilIdle(drive, follow);
    } else {
      std::vector<char> zeros(kOverwriteBytes, '\0');
      if (burn_random_access_write(drive, 0, zeros.data(),
                                   static_cast<off_t>(zeros.size()), 1) != 1) {
        return Failure(kE_FAIL);
      }
    }
  } else {
    return kE_IMAPI_ERASE_MEDIA_IS_NOT_SUPPORTED;
  }
  if (burn_drive_wrote_well(drive) != 1) return Failure(kE_FAIL);
  const std::int32_t elapsed = WholeSeconds(SteadyClock::now() - start);
  Report(elapsed, elapsed);
  return kS_OK;
}

class BurnDiscServices final : public DiscServices {
 public:
  explicit BurnDiscServices(std::shared_ptr<Console> console)
      : console_(std::move(console)) {}

  HRESULT CreateDiscMaster(std::shared_ptr<IDiscMaster2>* out) override {
    return Make(std::make_shared<BurnDiscMaster>(), out);
  }
  HRESULT CreateRecorder(std::shared_ptr<IDiscRecorder2>* out) override {
    return Make(std::make_shared<BurnRecorder>(), out);
  }
  HRESULT CreateDataWriter(std::shared_ptr<IDiscFormat2Data>* out) override {
    return Make(std::make_shared<BurnDataWriter>(console_), out);
  }
  HRESULT CreateEraser(std::shared_ptr<IDiscFormat2Erase>* out) override {
    return Make(std::make_shared<BurnEraser>(console_), out);
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

  std::shared_ptr<Console> console_;
};

}  // namespace

std::shared_ptr<DiscServices> MakeDiscServices(
    std::shared_ptr<Console> console) {
  return std::make_shared<BurnDiscServices>(std::move(console));
}

}  // namespace tessaline::platform::libburn
