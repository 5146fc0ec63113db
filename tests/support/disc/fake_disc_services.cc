#include "support/disc/fake_disc_services.h"

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>

#include "platform/text.h"

namespace tessaline::testing {

using platform::kE_FAIL;
using platform::kS_OK;

// Shared by the fake and every object it made, so that objects that outlive
// the fake still count themselves out.
class FakeDiscState {
 public:
  HRESULT Enter(const std::string& name, int recorder,
                const std::wstring& text = {}, std::int64_t number = 0) {
    FakeCall call{name, recorder, text, number};
    HRESULT hr = kS_OK;
    std::function<void(const FakeCall&)> hook;
    {
      std::lock_guard<std::mutex> lock(mutex);
      calls.push_back(call);
      for (auto& rule : failures) {
        if (rule.failure.call != name) continue;
        if (rule.failure.recorder != kAnyRecorder &&
            rule.failure.recorder != recorder) {
          continue;
        }
        int seen = rule.seen++;
        bool fails = seen >= rule.failure.after &&
                     (rule.failure.times < 0 ||
                      seen < rule.failure.after + rule.failure.times);
        if (fails && hr == kS_OK) hr = rule.failure.hr;
      }
      hook = this->hook;
    }
    if (hook) hook(call);
    return hr;
  }

  void Add(int delta, int* counter) {
    std::lock_guard<std::mutex> lock(mutex);
    *counter += delta;
  }

  void Sleep(std::uint32_t seconds) {
    if (owner == nullptr || seconds == 0 || !owner->clock()) return;
    owner->clock()->Advance(std::uint64_t{seconds} * 1000u);
  }

  struct Rule {
    FakeFailure failure;
    int seen = 0;
  };

  mutable std::mutex mutex;
  FakeDiscServices* owner = nullptr;
  std::vector<FakeCall> calls;
  std::vector<Rule> failures;
  std::function<void(const FakeCall&)> hook;
  int live = 0;
  int bindings = 0;
  int advises = 0;
  std::vector<std::weak_ptr<void>> sinks;
};

namespace {

using platform::IDiscFormat2Data;
using platform::IDiscFormat2Erase;
using platform::IDiscRecorder2;
using platform::IStream;

class Counted {
 public:
  explicit Counted(std::shared_ptr<FakeDiscState> state)
      : state_(std::move(state)) {
    state_->Add(1, &state_->live);
  }
  ~Counted() { state_->Add(-1, &state_->live); }

 protected:
  FakeDiscServices* owner() const { return state_->owner; }
  std::shared_ptr<FakeDiscState> state_;
};

class GeneratedStream : public IStream, Counted {
 public:
  GeneratedStream(std::shared_ptr<FakeDiscState> state, std::uint64_t size)
      : Counted(std::move(state)), size_(size) {}

  HRESULT Stat(std::uint64_t* size) override {
    *size = size_;
    return kS_OK;
  }
  HRESULT Read(void* buffer, std::uint32_t size, std::uint32_t* read) override {
    std::uint64_t n = std::min<std::uint64_t>(size, size_ - position_);
    auto* bytes = static_cast<std::uint8_t*>(buffer);
    for (std::uint64_t i = 0; i < n; ++i) {
      bytes[i] = FakeStreamByte(position_ + i);
    }
    position_ += n;
    *read = static_cast<std::uint32_t>(n);
    return kS_OK;
  }

 private:
  std::uint64_t size_;
  std::uint64_t position_ = 0;
};

class FileStream : public IStream, Counted {
 public:
  FileStream(std::shared_ptr<FakeDiscState> state,
             const std::filesystem::path& path, std::uint64_t size)
      : Counted(std::move(state)), file_(path, std::ios::binary), size_(size) {}
  bool is_open() const { return file_.is_open(); }

  HRESULT Stat(std::uint64_t* size) override {
    *size = size_;
    return kS_OK;
  }
  HRESULT Read(void* buffer, std::uint32_t size, std::uint32_t* read) override {
    file_.read(static_cast<char*>(buffer), size);
    *read = static_cast<std::uint32_t>(file_.gcount());
    if (file_.bad()) return kE_FAIL;
    file_.clear();
    return kS_OK;
  }

 private:
  std::ifstream file_;
  std::uint64_t size_;
};

class FakeRecorderEx : public platform::IDiscRecorder2Ex, Counted {
 public:
  FakeRecorderEx(std::shared_ptr<FakeDiscState> state, int index)
      : Counted(std::move(state)), index_(index) {}

  HRESULT GetFeaturePage(std::uint32_t feature, bool current_only,
                         std::vector<std::uint8_t>* descriptor) override {
    HRESULT hr = state_->Enter("IDiscRecorder2Ex::GetFeaturePage", index_,
                               current_only ? L"current" : L"all", feature);
    if (platform::Failed(hr)) return hr;
    if (owner() == nullptr) return kE_FAIL;
    auto& pages = owner()->recorder(index_).descriptors;
    auto found = pages.find(feature);
    if (found == pages.end()) return kE_FAIL;
    *descriptor = found->second;
    return kS_OK;
  }

 private:
  int index_;
};

class FakeRecorderObject : public IDiscRecorder2, Counted {
 public:
  explicit FakeRecorderObject(std::shared_ptr<FakeDiscState> state)
      : Counted(std::move(state)) {}

  int index() const { return index_; }
  std::wstring unique_id() const { return unique_id_; }
  FakeRecorder* config() const {
    if (index_ < 0 || owner() == nullptr) return nullptr;
    return &owner()->recorder(index_);
  }

  HRESULT InitializeDiscRecorder(const std::wstring& unique_id) override {
    int found = -1;
    if (owner() != nullptr) {
      for (int i = 0; i < owner()->recorder_count(); ++i) {
        if (owner()->recorder(i).unique_id == unique_id) found = i;
      }
    }
    HRESULT hr = state_->Enter("IDiscRecorder2::InitializeDiscRecorder", found,
                               unique_id);
    if (platform::Failed(hr)) return hr;
    if (found < 0) return platform::kE_INVALIDARG;
    index_ = found;
    unique_id_ = unique_id;
    return kS_OK;
  }
  HRESULT GetVendorId(std::wstring* vendor) override {
    return Get("IDiscRecorder2::GetVendorId",
               [&](FakeRecorder& r) { *vendor = r.vendor; });
  }
  HRESULT GetProductId(std::wstring* product) override {
    return Get("IDiscRecorder2::GetProductId",
               [&](FakeRecorder& r) { *product = r.product; });
  }
  HRESULT GetVolumePathNames(std::vector<std::wstring>* paths) override {
    return Get("IDiscRecorder2::GetVolumePathNames",
               [&](FakeRecorder& r) { *paths = r.volume_paths; });
  }
  HRESULT GetSupportedFeaturePages(
      std::vector<std::uint32_t>* features) override {
    return Get("IDiscRecorder2::GetSupportedFeaturePages",
               [&](FakeRecorder& r) { *features = r.features; });
  }
  HRESULT DisableMcn() override {
    return Get("IDiscRecorder2::DisableMcn", [](FakeRecorder&) {});
  }
  HRESULT EnableMcn() override {
    return Get("IDiscRecorder2::EnableMcn", [](FakeRecorder&) {});
  }
  HRESULT QueryRecorderEx(
      std::shared_ptr<platform::IDiscRecorder2Ex>* ex) override {
    HRESULT hr = state_->Enter("IDiscRecorder2::QueryRecorderEx", index_);
    if (platform::Failed(hr)) return hr;
    FakeRecorder* r = config();
    if (r == nullptr) return kE_FAIL;
    if (!r->has_extended) return platform::kE_NOINTERFACE;
    *ex = std::make_shared<FakeRecorderEx>(state_, index_);
    return kS_OK;
  }

 private:
  template <typename Fn>
  HRESULT Get(const char* name, Fn fn) {
    HRESULT hr = state_->Enter(name, index_);
    if (platform::Failed(hr)) return hr;
    FakeRecorder* r = config();
    if (r == nullptr) return kE_FAIL;
    fn(*r);
    return kS_OK;
  }

  int index_ = -1;
  std::wstring unique_id_;
};

class FakeMaster : public platform::IDiscMaster2, Counted {
 public:
  using Counted::Counted;

  HRESULT GetCount(std::int32_t* count) override {
    HRESULT hr = state_->Enter("IDiscMaster2::GetCount", -1);
    if (platform::Failed(hr)) return hr;
    if (owner() == nullptr) return kE_FAIL;
    *count = owner()->recorder_count();
    return kS_OK;
  }
  HRESULT GetItem(std::int32_t index, std::wstring* unique_id) override {
    HRESULT hr = state_->Enter("IDiscMaster2::GetItem", index, {}, index);
    if (platform::Failed(hr)) return hr;
    if (owner() == nullptr || index < 0 || index >= owner()->recorder_count()) {
      return platform::kE_INVALIDARG;
    }
    *unique_id = owner()->recorder(index).unique_id;
    return kS_OK;
  }
};

class FakeEventArgs : public platform::IDiscFormat2DataEventArgs, Counted {
 public:
  FakeEventArgs(std::shared_ptr<FakeDiscState> state, FakeWriteEvent event)
      : Counted(std::move(state)), event_(std::move(event)) {}

  HRESULT GetElapsedTime(std::int32_t* v) override {
    return Give("GetElapsedTime", event_.elapsed, v);
  }
  HRESULT GetRemainingTime(std::int32_t* v) override {
    return Give("GetRemainingTime", event_.remaining, v);
  }
  HRESULT GetTotalTime(std::int32_t* v) override {
    return Give("GetTotalTime", event_.total, v);
  }
  HRESULT GetCurrentAction(std::int32_t* v) override {
    return Give("GetCurrentAction", event_.action, v);
  }
  HRESULT GetStartLba(std::int32_t* v) override {
    return Give("GetStartLba", 0, v);
  }
  HRESULT GetSectorCount(std::int32_t* v) override {
    return Give("GetSectorCount", 0, v);
  }
  HRESULT GetLastReadLba(std::int32_t* v) override {
    return Give("GetLastReadLba", 0, v);
  }
  HRESULT GetLastWrittenLba(std::int32_t* v) override {
    return Give("GetLastWrittenLba", 0, v);
  }
  HRESULT GetTotalSystemBuffer(std::int32_t* v) override {
    return Give("GetTotalSystemBuffer", 1 << 20, v);
  }
  HRESULT GetUsedSystemBuffer(std::int32_t* v) override {
    return Give("GetUsedSystemBuffer", 0, v);
  }
  HRESULT GetFreeSystemBuffer(std::int32_t* v) override {
    return Give("GetFreeSystemBuffer", 1 << 20, v);
  }

 private:
  HRESULT Give(const char* getter, std::int32_t value, std::int32_t* out) {
    if (event_.failing_getter == getter) return kE_FAIL;
    *out = value;
    return kS_OK;
  }

  FakeWriteEvent event_;
};

// The recorder binding and the connection point shared by the data writer
// and the eraser.
template <typename Sink>
class Bindable : protected Counted {
 public:
  using Counted::Counted;

 protected:
  int index() const { return recorder_ ? recorder_->index() : -1; }
  FakeMedium* medium() const {
    FakeRecorder* r = recorder_ ? recorder_->config() : nullptr;
    return r != nullptr ? &r->medium : nullptr;
  }

  HRESULT Bind(const char* name, std::shared_ptr<IDiscRecorder2> recorder) {
    auto fake = std::dynamic_pointer_cast<FakeRecorderObject>(recorder);
    int at = fake ? fake->index() : index();
    HRESULT hr = state_->Enter(name, at, fake ? fake->unique_id() : L"",
                               recorder ? 1 : 0);
    if (platform::Failed(hr)) return hr;
    if (recorder && (!fake || fake->index() < 0)) {
      return platform::kE_INVALIDARG;
    }
    if (fake && !recorder_) state_->Add(1, &state_->bindings);
    if (!fake && recorder_) state_->Add(-1, &state_->bindings);
    recorder_ = std::move(fake);
    return kS_OK;
  }

  HRESULT AdviseSink(const char* name, std::shared_ptr<Sink> sink,
                     std::uint32_t* cookie) {
    HRESULT hr = state_->Enter(name, index());
    if (platform::Failed(hr)) return hr;
    if (!sink) return platform::kE_POINTER;
    {
      std::lock_guard<std::mutex> lock(state_->mutex);
      state_->advises += 1;
      state_->sinks.push_back(sink);
    }
    *cookie = next_cookie_++;
    sinks_.emplace_back(*cookie, std::move(sink));
    return kS_OK;
  }

  HRESULT UnadviseSink(const char* name, std::uint32_t cookie) {
    HRESULT hr = state_->Enter(name, index(), {}, cookie);
    if (platform::Failed(hr)) return hr;
    auto found =
        std::find_if(sinks_.begin(), sinks_.end(),
                     [&](const auto& entry) { return entry.first == cookie; });
    // CONNECT_E_NOCONNECTION.
    if (found == sinks_.end()) return static_cast<HRESULT>(0x80040200u);
    sinks_.erase(found);
    state_->Add(-1, &state_->advises);
    return kS_OK;
  }

  std::vector<std::shared_ptr<Sink>> Sinks() const {
    std::vector<std::shared_ptr<Sink>> all;
    for (const auto& entry : sinks_) all.push_back(entry.second);
    return all;
  }

  std::shared_ptr<FakeRecorderObject> recorder_;

 private:
  std::vector<std::pair<std::uint32_t, std::shared_ptr<Sink>>> sinks_;
  std::uint32_t next_cookie_ = 1;
};

class FakeDataWriter : public IDiscFormat2Data,
                       Bindable<platform::DDiscFormat2DataEvents> {
 public:
  using Bindable::Bindable;

  HRESULT IsRecorderSupported(IDiscRecorder2* recorder,
                              bool* supported) override {
    auto* fake = dynamic_cast<FakeRecorderObject*>(recorder);
    HRESULT hr = state_->Enter("IDiscFormat2Data::IsRecorderSupported",
                               fake ? fake->index() : -1);
    if (platform::Failed(hr)) return hr;
    if (fake == nullptr || fake->config() == nullptr) return kE_FAIL;
    *supported = fake->config()->supported;
    return kS_OK;
  }
  HRESULT PutRecorder(std::shared_ptr<IDiscRecorder2> recorder) override {
    return Bind("IDiscFormat2Data::PutRecorder", std::move(recorder));
  }
  HRESULT PutClientName(const std::wstring& name) override {
    return state_->Enter("IDiscFormat2Data::PutClientName", index(), name);
  }
  HRESULT GetSupportedMediaTypes(
      std::vector<IMAPI_MEDIA_PHYSICAL_TYPE>* types) override {
    return Query("IDiscFormat2Data::GetSupportedMediaTypes", false,
                 [&](FakeMedium& m) { *types = {m.type}; });
  }
  HRESULT GetCurrentPhysicalMediaType(
      IMAPI_MEDIA_PHYSICAL_TYPE* type) override {
    return Query("IDiscFormat2Data::GetCurrentPhysicalMediaType", true,
                 [&](FakeMedium& m) { *type = m.type; });
  }
  HRESULT GetCurrentMediaStatus(std::uint32_t* state) override {
    return Query("IDiscFormat2Data::GetCurrentMediaStatus", true,
                 [&](FakeMedium& m) { *state = m.state; });
  }
  HRESULT GetMediaHeuristicallyBlank(bool* blank) override {
    return Query("IDiscFormat2Data::GetMediaHeuristicallyBlank", true,
                 [&](FakeMedium& m) { *blank = m.blank; });
  }
  HRESULT GetFreeSectorsOnMedia(std::int32_t* sectors) override {
    return Query("IDiscFormat2Data::GetFreeSectorsOnMedia", true,
                 [&](FakeMedium& m) { *sectors = m.free_sectors; });
  }
  HRESULT GetWriteProtectStatus(std::uint32_t* state) override {
    return Query("IDiscFormat2Data::GetWriteProtectStatus", true,
                 [&](FakeMedium& m) { *state = m.write_protect; });
  }
  HRESULT Advise(std::shared_ptr<platform::DDiscFormat2DataEvents> sink,
                 std::uint32_t* cookie) override {
    return AdviseSink("IDiscFormat2Data::Advise", std::move(sink), cookie);
  }
  HRESULT Unadvise(std::uint32_t cookie) override {
    return UnadviseSink("IDiscFormat2Data::Unadvise", cookie);
  }

  HRESULT CancelWrite() override {
    HRESULT hr = state_->Enter("IDiscFormat2Data::CancelWrite", index());
    if (platform::Failed(hr)) return hr;
    if (!writing_) return platform::kE_IMAPI_DF2DATA_WRITE_NOT_IN_PROGRESS;
    cancelled_ = true;
    return kS_OK;
  }

  HRESULT Write(IStream* data) override {
    std::uint64_t size = 0;
    if (data != nullptr && platform::Failed(data->Stat(&size))) size = 0;
    HRESULT injected = state_->Enter("IDiscFormat2Data::Write", index(), {},
                                     static_cast<std::int64_t>(size));
    if (data == nullptr) return platform::kE_POINTER;
    if (!recorder_ || owner() == nullptr) {
      return platform::kE_IMAPI_RECORDER_REQUIRED;
    }
    FakeMedium* m = medium();
    if (!m->present) return platform::kE_IMAPI_RECORDER_MEDIA_NO_MEDIA;
    if (size > static_cast<std::uint64_t>(m->free_sectors) * 2048u) {
      return platform::kE_IMAPI_DF2DATA_STREAM_TOO_LARGE_FOR_CURRENT_MEDIA;
    }
    writing_ = true;
    cancelled_ = false;
    for (const FakeWriteEvent& event : owner()->write_events) {
      if (cancelled_) break;
      state_->Enter("DDiscFormat2DataEvents::Update", index(), {},
                    event.action);
      FakeEventArgs args(state_, event);
      for (auto& sink : Sinks()) {
        sink->Update(event.no_writer ? nullptr : this,
                     event.no_arguments ? nullptr : &args);
      }
    }
    writing_ = false;
    state_->Sleep(owner()->write_seconds);
    if (cancelled_) return platform::kE_IMAPI_REQUEST_CANCELLED;
    if (platform::Failed(injected)) return injected;

    std::vector<std::uint8_t> content;
    if (size <= owner()->capture_limit) {
      content.resize(static_cast<std::size_t>(size));
      std::size_t done = 0;
      while (done < content.size()) {
        std::uint32_t chunk = static_cast<std::uint32_t>(
            std::min<std::size_t>(content.size() - done, 1u << 20));
        std::uint32_t read = 0;
        if (platform::Failed(data->Read(content.data() + done, chunk, &read)) ||
            read == 0) {
          return kE_FAIL;
        }
        done += read;
      }
    }
    m->content = std::move(content);
    m->written_size = size;
    m->writes += 1;
    m->blank = false;
    m->state =
        platform::kMediaStateAppendable | platform::kMediaStateNonEmptySession;
    return kS_OK;
  }

 private:
  template <typename Fn>
  HRESULT Query(const char* name, bool needs_medium, Fn fn) {
    HRESULT hr = state_->Enter(name, index());
    if (platform::Failed(hr)) return hr;
    FakeMedium* m = medium();
    if (m == nullptr) return platform::kE_IMAPI_RECORDER_REQUIRED;
    if (needs_medium && !m->present) {
      return platform::kE_IMAPI_RECORDER_MEDIA_NO_MEDIA;
    }
    fn(*m);
    return kS_OK;
  }

  std::atomic<bool> writing_{false};
  std::atomic<bool> cancelled_{false};
};

class FakeEraser : public IDiscFormat2Erase,
                   Bindable<platform::DDiscFormat2EraseEvents> {
 public:
  using Bindable::Bindable;

  HRESULT PutRecorder(std::shared_ptr<IDiscRecorder2> recorder) override {
    return Bind("IDiscFormat2Erase::PutRecorder", std::move(recorder));
  }
  HRESULT PutClientName(const std::wstring& name) override {
    return state_->Enter("IDiscFormat2Erase::PutClientName", index(), name);
  }
  HRESULT GetCurrentPhysicalMediaType(
      IMAPI_MEDIA_PHYSICAL_TYPE* type) override {
    HRESULT hr = state_->Enter("IDiscFormat2Erase::GetCurrentPhysicalMediaType",
                               index());
    if (platform::Failed(hr)) return hr;
    FakeMedium* m = medium();
    if (m == nullptr) return platform::kE_IMAPI_RECORDER_REQUIRED;
    if (!m->present) return platform::kE_IMAPI_RECORDER_MEDIA_NO_MEDIA;
    *type = m->type;
    return kS_OK;
  }
  HRESULT PutFullErase(bool full) override {
    return state_->Enter("IDiscFormat2Erase::PutFullErase", index(), {},
                         full ? 1 : 0);
  }
  HRESULT Advise(std::shared_ptr<platform::DDiscFormat2EraseEvents> sink,
                 std::uint32_t* cookie) override {
    return AdviseSink("IDiscFormat2Erase::Advise", std::move(sink), cookie);
  }
  HRESULT Unadvise(std::uint32_t cookie) override {
    return UnadviseSink("IDiscFormat2Erase::Unadvise", cookie);
  }

  HRESULT EraseMedia() override {
    HRESULT injected = state_->Enter("IDiscFormat2Erase::EraseMedia", index());
    if (!recorder_ || owner() == nullptr) {
      return platform::kE_IMAPI_RECORDER_REQUIRED;
    }
    FakeMedium* m = medium();
    if (!m->present) return platform::kE_IMAPI_RECORDER_MEDIA_NO_MEDIA;
    if (!m->erasable) return platform::kE_IMAPI_ERASE_MEDIA_IS_NOT_SUPPORTED;
    for (const FakeEraseEvent& event : owner()->erase_events) {
      state_->Enter("DDiscFormat2EraseEvents::Update", index(), {},
                    event.elapsed);
      for (auto& sink : Sinks()) {
        sink->Update(this, event.elapsed, event.expected);
      }
    }
    state_->Sleep(owner()->erase_seconds);
    if (platform::Failed(injected)) return injected;
    m->blank = true;
    m->state = platform::kMediaStateBlank;
    m->content.clear();
    m->written_size = 0;
    m->erases += 1;
    return kS_OK;
  }
};

class FakeDirectoryItem : public platform::IFsiDirectoryItem, Counted {
 public:
  using Counted::Counted;

  HRESULT AddTree(const std::wstring& source_directory,
                  bool include_base_directory) override {
    HRESULT hr =
        state_->Enter("IFsiDirectoryItem::AddTree", -1, source_directory,
                      include_base_directory ? 1 : 0);
    if (owner() != nullptr) state_->Sleep(owner()->add_tree_seconds);
    return hr;
  }
};

class FakeBootOptions : public platform::IBootOptions, Counted {
 public:
  using Counted::Counted;

  HRESULT AssignBootImage(std::shared_ptr<IStream> image) override {
    std::uint64_t size = 0;
    if (image) image->Stat(&size);
    HRESULT hr = state_->Enter("IBootOptions::AssignBootImage", -1, {},
                               static_cast<std::int64_t>(size));
    if (platform::Failed(hr)) return hr;
    if (!image) return platform::kE_POINTER;
    image_ = std::move(image);
    return kS_OK;
  }

 private:
  std::shared_ptr<IStream> image_;
};

class FakeImageResult : public platform::IFileSystemImageResult, Counted {
 public:
  FakeImageResult(std::shared_ptr<FakeDiscState> state, std::int32_t blocks)
      : Counted(std::move(state)), blocks_(blocks) {}

  HRESULT GetImageStream(std::shared_ptr<IStream>* stream) override {
    HRESULT hr = state_->Enter("IFileSystemImageResult::GetImageStream", -1);
    if (platform::Failed(hr)) return hr;
    *stream = std::make_shared<GeneratedStream>(
        state_, static_cast<std::uint64_t>(blocks_) * 2048u);
    return kS_OK;
  }
  HRESULT GetTotalBlocks(std::int32_t* blocks) override {
    HRESULT hr = state_->Enter("IFileSystemImageResult::GetTotalBlocks", -1);
    if (platform::Failed(hr)) return hr;
    *blocks = blocks_;
    return kS_OK;
  }

 private:
  std::int32_t blocks_;
};

class FakeFileSystemImage : public platform::IFileSystemImage, Counted {
 public:
  using Counted::Counted;

  HRESULT PutFileSystemsToCreate(std::uint32_t file_systems) override {
    HRESULT hr = state_->Enter("IFileSystemImage::PutFileSystemsToCreate", -1,
                               {}, file_systems);
    if (platform::Succeeded(hr)) file_systems_ = file_systems;
    return hr;
  }
  HRESULT GetFileSystemsToCreate(std::uint32_t* file_systems) override {
    HRESULT hr = state_->Enter("IFileSystemImage::GetFileSystemsToCreate", -1);
    if (platform::Succeeded(hr)) *file_systems = file_systems_;
    return hr;
  }
  HRESULT GetRoot(std::shared_ptr<platform::IFsiDirectoryItem>* root) override {
    HRESULT hr = state_->Enter("IFileSystemImage::GetRoot", -1);
    if (platform::Failed(hr)) return hr;
    if (!root_) root_ = std::make_shared<FakeDirectoryItem>(state_);
    *root = root_;
    return kS_OK;
  }
  HRESULT PutBootImageOptions(
      std::shared_ptr<platform::IBootOptions> options) override {
    HRESULT hr = state_->Enter("IFileSystemImage::PutBootImageOptions", -1);
    if (platform::Succeeded(hr)) boot_ = std::move(options);
    return hr;
  }
  HRESULT GetFileCount(std::int32_t* count) override {
    HRESULT hr = state_->Enter("IFileSystemImage::GetFileCount", -1);
    if (platform::Failed(hr)) return hr;
    if (owner() == nullptr) return kE_FAIL;
    *count = owner()->image_file_count;
    return kS_OK;
  }
  HRESULT GetDirectoryCount(std::int32_t* count) override {
    HRESULT hr = state_->Enter("IFileSystemImage::GetDirectoryCount", -1);
    if (platform::Failed(hr)) return hr;
    if (owner() == nullptr) return kE_FAIL;
    *count = owner()->image_directory_count;
    return kS_OK;
  }
  HRESULT PutVolumeName(const std::wstring& name) override {
    return state_->Enter("IFileSystemImage::PutVolumeName", -1, name);
  }
  HRESULT PutFreeMediaBlocks(std::int32_t blocks) override {
    return state_->Enter("IFileSystemImage::PutFreeMediaBlocks", -1, {},
                         blocks);
  }
  HRESULT CreateResultImage(
      std::shared_ptr<platform::IFileSystemImageResult>* result) override {
    HRESULT hr = state_->Enter("IFileSystemImage::CreateResultImage", -1);
    if (platform::Failed(hr)) return hr;
    if (owner() == nullptr) return kE_FAIL;
    *result = std::make_shared<FakeImageResult>(state_, owner()->image_blocks);
    return kS_OK;
  }

 private:
  // IMAPI2's default: ISO 9660 and Joliet.
  std::uint32_t file_systems_ =
      platform::kFileSystemISO9660 | platform::kFileSystemJoliet;
  std::shared_ptr<platform::IFsiDirectoryItem> root_;
  std::shared_ptr<platform::IBootOptions> boot_;
};

std::vector<std::uint8_t> MakeDescriptor(
    std::uint32_t code,
    const std::vector<std::pair<std::size_t, std::uint8_t>>& bytes) {
  std::size_t size = 4;
  for (const auto& [at, value] : bytes) size = std::max(size, at + 1);
  std::vector<std::uint8_t> descriptor(size, 0);
  descriptor[0] = static_cast<std::uint8_t>(code >> 8);
  descriptor[1] = static_cast<std::uint8_t>(code);
  descriptor[3] = static_cast<std::uint8_t>(size - 4);
  for (const auto& [at, value] : bytes) descriptor[at] = value;
  return descriptor;
}

}  // namespace

FakeRecorder& FakeRecorder::AddFeature(
    std::uint32_t code,
    const std::vector<std::pair<std::size_t, std::uint8_t>>& bytes) {
  features.push_back(code);
  descriptors[code] = MakeDescriptor(code, bytes);
  return *this;
}

FakeRecorder& FakeRecorder::AddUnreadableFeature(std::uint32_t code) {
  features.push_back(code);
  descriptors.erase(code);
  return *this;
}

FakeDiscServices::FakeDiscServices()
    : state_(std::make_shared<FakeDiscState>()) {
  state_->owner = this;
}

FakeDiscServices::~FakeDiscServices() {
  std::lock_guard<std::mutex> lock(state_->mutex);
  state_->owner = nullptr;
}

FakeRecorder& FakeDiscServices::AddRecorder(FakeRecorder recorder) {
  if (recorder.unique_id.empty()) {
    recorder.unique_id = L"fake-recorder-" + std::to_wstring(recorders_.size());
  }
  recorders_.push_back(std::move(recorder));
  return recorders_.back();
}

FakeRecorder& FakeDiscServices::recorder(int index) {
  return recorders_.at(static_cast<std::size_t>(index));
}

int FakeDiscServices::recorder_count() const {
  return static_cast<int>(recorders_.size());
}

void FakeDiscServices::Fail(const std::string& call, HRESULT hr, int recorder,
                            int after) {
  Fail(FakeFailure{call, hr, recorder, after, -1});
}

void FakeDiscServices::FailOnce(const std::string& call, HRESULT hr,
                                int recorder, int after) {
  Fail(FakeFailure{call, hr, recorder, after, 1});
}

void FakeDiscServices::Fail(const FakeFailure& failure) {
  std::lock_guard<std::mutex> lock(state_->mutex);
  state_->failures.push_back({failure, 0});
}

void FakeDiscServices::ClearFailures() {
  std::lock_guard<std::mutex> lock(state_->mutex);
  state_->failures.clear();
}

void FakeDiscServices::ServeStream(const std::wstring& path,
                                   std::uint64_t size) {
  served_streams_[path] = size;
}

void FakeDiscServices::SetCallHook(std::function<void(const FakeCall&)> hook) {
  std::lock_guard<std::mutex> lock(state_->mutex);
  state_->hook = std::move(hook);
}

void FakeDiscServices::UseClock(std::shared_ptr<FakeClock> clock) {
  clock_ = std::move(clock);
}

std::vector<FakeCall> FakeDiscServices::Calls() const {
  std::lock_guard<std::mutex> lock(state_->mutex);
  return state_->calls;
}

std::vector<FakeCall> FakeDiscServices::Calls(const std::string& name) const {
  std::vector<FakeCall> found;
  for (auto& call : Calls()) {
    if (call.name == name) found.push_back(call);
  }
  return found;
}

std::vector<std::string> FakeDiscServices::CallNames() const {
  std::vector<std::string> names;
  for (auto& call : Calls()) names.push_back(call.name);
  return names;
}

int FakeDiscServices::Count(const std::string& name) const {
  return static_cast<int>(Calls(name).size());
}

void FakeDiscServices::ClearCalls() {
  std::lock_guard<std::mutex> lock(state_->mutex);
  state_->calls.clear();
}

int FakeDiscServices::LiveObjects() const {
  std::lock_guard<std::mutex> lock(state_->mutex);
  return state_->live;
}

int FakeDiscServices::OpenBindings() const {
  std::lock_guard<std::mutex> lock(state_->mutex);
  return state_->bindings;
}

int FakeDiscServices::OpenAdvises() const {
  std::lock_guard<std::mutex> lock(state_->mutex);
  return state_->advises;
}

int FakeDiscServices::LiveSinks() const {
  std::lock_guard<std::mutex> lock(state_->mutex);
  return static_cast<int>(
      std::count_if(state_->sinks.begin(), state_->sinks.end(),
                    [](const std::weak_ptr<void>& s) { return !s.expired(); }));
}

HRESULT FakeDiscServices::CreateDiscMaster(
    std::shared_ptr<platform::IDiscMaster2>* out) {
  HRESULT hr = state_->Enter("DiscServices::CreateDiscMaster", -1);
  if (platform::Failed(hr)) return hr;
  *out = std::make_shared<FakeMaster>(state_);
  return kS_OK;
}

HRESULT FakeDiscServices::CreateRecorder(
    std::shared_ptr<platform::IDiscRecorder2>* out) {
  HRESULT hr = state_->Enter("DiscServices::CreateRecorder", -1);
  if (platform::Failed(hr)) return hr;
  *out = std::make_shared<FakeRecorderObject>(state_);
  return kS_OK;
}

HRESULT FakeDiscServices::CreateDataWriter(
    std::shared_ptr<platform::IDiscFormat2Data>* out) {
  HRESULT hr = state_->Enter("DiscServices::CreateDataWriter", -1);
  if (platform::Failed(hr)) return hr;
  *out = std::make_shared<FakeDataWriter>(state_);
  return kS_OK;
}

HRESULT FakeDiscServices::CreateEraser(
    std::shared_ptr<platform::IDiscFormat2Erase>* out) {
  HRESULT hr = state_->Enter("DiscServices::CreateEraser", -1);
  if (platform::Failed(hr)) return hr;
  *out = std::make_shared<FakeEraser>(state_);
  return kS_OK;
}

HRESULT FakeDiscServices::CreateFileSystemImage(
    std::shared_ptr<platform::IFileSystemImage>* out) {
  HRESULT hr = state_->Enter("DiscServices::CreateFileSystemImage", -1);
  if (platform::Failed(hr)) return hr;
  *out = std::make_shared<FakeFileSystemImage>(state_);
  return kS_OK;
}

HRESULT FakeDiscServices::CreateBootOptions(
    std::shared_ptr<platform::IBootOptions>* out) {
  HRESULT hr = state_->Enter("DiscServices::CreateBootOptions", -1);
  if (platform::Failed(hr)) return hr;
  *out = std::make_shared<FakeBootOptions>(state_);
  return kS_OK;
}

HRESULT FakeDiscServices::CreateStreamOnFile(
    const std::wstring& path, std::shared_ptr<platform::IStream>* out) {
  HRESULT hr = state_->Enter("DiscServices::CreateStreamOnFile", -1, path);
  if (platform::Failed(hr)) return hr;
  auto served = served_streams_.find(path);
  if (served != served_streams_.end()) {
    *out = MakeStream(served->second);
    return kS_OK;
  }
  std::filesystem::path file(platform::ToUtf8(path));
  std::error_code error;
  auto size = std::filesystem::file_size(file, error);
  if (error) return kFileNotFound;
  auto stream = std::make_shared<FileStream>(state_, file, size);
  if (!stream->is_open()) return kFileNotFound;
  *out = std::move(stream);
  return kS_OK;
}

std::shared_ptr<platform::IStream> FakeDiscServices::MakeStream(
    std::uint64_t size) {
  return std::make_shared<GeneratedStream>(state_, size);
}

}  // namespace tessaline::testing
