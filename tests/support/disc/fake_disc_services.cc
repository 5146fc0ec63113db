#include "support/disc/fake_disc_services.h"

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <iterator>
#include <mutex>

#include "platform/text.h"

namespace tessaline::testing {

using platform::Failed;
using platform::kE_FAIL;
using platform::kS_OK;

// Shared by the fake and every object it made, so that objects that outlive
// the fake still count themselves out.
class FakeDiscState {
 public:
  HRESULT Enter(const std::string& name, int recorder,
                const std::wstring& text = {}, std::int64_t number = 0) {
    const FakeCall call{name, recorder, text, number};
    HRESULT hr = kS_OK;
    std::function<void(const FakeCall&)> hook;
    {
      std::lock_guard<std::mutex> lock(mutex);
      calls.push_back(call);
      for (const Rule& rule : rules) {
        if (hr == kS_OK && rule.call == name &&
            (rule.recorder == kAnyRecorder || rule.recorder == recorder)) {
          hr = rule.hr;
        }
      }
      hook = this->hook;
    }
    if (hook) hook(call);
    return hr;
  }

  // Records the call and, unless it is made to fail, does its work.
  template <typename Fn>
  HRESULT Call(const std::string& name, int recorder, const std::wstring& text,
               std::int64_t number, Fn work) {
    const HRESULT hr = Enter(name, recorder, text, number);
    if (Failed(hr)) return hr;
    return owner == nullptr ? kE_FAIL : work();
  }
  template <typename Fn>
  HRESULT Call(const std::string& name, int recorder, Fn work) {
    return Call(name, recorder, {}, 0, work);
  }

  void Add(int delta, int* counter) {
    std::lock_guard<std::mutex> lock(mutex);
    *counter += delta;
  }
  int Get(const int& counter) const {
    std::lock_guard<std::mutex> lock(mutex);
    return counter;
  }
  void Sleep(std::uint32_t seconds) {
    if (owner != nullptr && owner->clock_ && seconds > 0) {
      owner->clock_->Advance(std::uint64_t{seconds} * 1000u);
    }
  }

  struct Rule {
    std::string call;
    HRESULT hr;
    int recorder;
  };

  mutable std::mutex mutex;
  FakeDiscServices* owner = nullptr;
  std::vector<FakeCall> calls;
  std::vector<Rule> rules;
  std::function<void(const FakeCall&)> hook;
  int live = 0;
  int bindings = 0;
  int advises = 0;
  std::vector<std::weak_ptr<void>> sinks;
};

namespace {

using platform::IDiscRecorder2;
using platform::IStream;
using I32 = std::int32_t;

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

// The code under test only asks streams for their size.
class FakeStream : public IStream, Counted {
 public:
  FakeStream(std::shared_ptr<FakeDiscState> state, std::uint64_t size)
      : Counted(std::move(state)), size_(size) {}

  HRESULT Stat(std::uint64_t* size) override {
    *size = size_;
    return kS_OK;
  }
  HRESULT Read(void*, std::uint32_t, std::uint32_t*) override {
    return platform::kE_NOTIMPL;
  }

 private:
  std::uint64_t size_;
};

class FakeRecorderEx : public platform::IDiscRecorder2Ex, Counted {
 public:
  FakeRecorderEx(std::shared_ptr<FakeDiscState> state, int index)
      : Counted(std::move(state)), index_(index) {}

  HRESULT GetFeaturePage(std::uint32_t feature, bool current_only,
                         std::vector<std::uint8_t>* descriptor) override {
    return state_->Call("IDiscRecorder2Ex::GetFeaturePage", index_,
                        current_only ? L"current" : L"all", feature, [&] {
                          auto& pages = owner()->recorder(index_).descriptors;
                          auto found = pages.find(feature);
                          if (found == pages.end()) return kE_FAIL;
                          *descriptor = found->second;
                          return kS_OK;
                        });
  }

 private:
  int index_;
};

class FakeRecorderObject : public IDiscRecorder2, Counted {
 public:
  using Counted::Counted;

  int index() const { return index_; }
  FakeRecorder* config() const {
    return index_ < 0 || owner() == nullptr ? nullptr
                                            : &owner()->recorder(index_);
  }

  HRESULT InitializeDiscRecorder(const std::wstring& id) override {
    int found = -1;
    for (int i = 0; owner() != nullptr && i < owner()->recorder_count(); ++i) {
      if (owner()->recorder(i).unique_id == id) found = i;
    }
    return state_->Call("IDiscRecorder2::InitializeDiscRecorder", found, id, 0,
                        [&] {
                          if (found < 0) return platform::kE_INVALIDARG;
                          index_ = found;
                          return kS_OK;
                        });
  }
  HRESULT GetVendorId(std::wstring* vendor) override {
    return Get("GetVendorId", [&](auto&) { *vendor = L"FAKEVNDR"; });
  }
  HRESULT GetProductId(std::wstring* product) override {
    return Get("GetProductId", [&](auto&) { *product = L"Fake Writer"; });
  }
  HRESULT GetVolumePathNames(std::vector<std::wstring>* paths) override {
    return Get("GetVolumePathNames",
               [&](FakeRecorder& r) { *paths = r.volume_paths; });
  }
  HRESULT GetSupportedFeaturePages(std::vector<std::uint32_t>* codes) override {
    return Get("GetSupportedFeaturePages",
               [&](FakeRecorder& r) { *codes = r.features; });
  }
  HRESULT DisableMcn() override {
    return Get("DisableMcn", [](auto&) {});
  }
  HRESULT EnableMcn() override {
    return Get("EnableMcn", [](auto&) {});
  }
  HRESULT QueryRecorderEx(
      std::shared_ptr<platform::IDiscRecorder2Ex>* ex) override {
    return Get("QueryRecorderEx", [&](auto&) {
      *ex = std::make_shared<FakeRecorderEx>(state_, index_);
    });
  }

 private:
  template <typename Fn>
  HRESULT Get(const std::string& method, Fn fn) {
    return state_->Call("IDiscRecorder2::" + method, index_, [&] {
      if (config() == nullptr) return kE_FAIL;
      fn(*config());
      return kS_OK;
    });
  }

  int index_ = -1;
};

class FakeMaster : public platform::IDiscMaster2, Counted {
 public:
  using Counted::Counted;

  HRESULT GetCount(I32* count) override {
    return state_->Call("IDiscMaster2::GetCount", -1, [&] {
      *count = owner()->recorder_count();
      return kS_OK;
    });
  }
  HRESULT GetItem(I32 index, std::wstring* unique_id) override {
    return state_->Call("IDiscMaster2::GetItem", index, {}, index, [&] {
      if (index < 0 || index >= owner()->recorder_count()) {
        return platform::kE_INVALIDARG;
      }
      *unique_id = owner()->recorder(index).unique_id;
      return kS_OK;
    });
  }
};

class FakeEventArgs : public platform::IDiscFormat2DataEventArgs, Counted {
 public:
  FakeEventArgs(std::shared_ptr<FakeDiscState> state, FakeWriteEvent event)
      : Counted(std::move(state)), event_(std::move(event)) {}

  HRESULT GetElapsedTime(I32* v) override { return Give(0, v); }
  HRESULT GetRemainingTime(I32* v) override { return Give(1, v); }
  HRESULT GetTotalTime(I32* v) override { return Give(2, v); }
  HRESULT GetCurrentAction(I32* v) override { return Give(3, v); }
  HRESULT GetStartLba(I32* v) override { return Give(4, v); }
  HRESULT GetSectorCount(I32* v) override { return Give(5, v); }
  HRESULT GetLastReadLba(I32* v) override { return Give(6, v); }
  HRESULT GetLastWrittenLba(I32* v) override { return Give(7, v); }
  HRESULT GetTotalSystemBuffer(I32* v) override { return Give(8, v); }
  HRESULT GetUsedSystemBuffer(I32* v) override { return Give(9, v); }
  HRESULT GetFreeSystemBuffer(I32* v) override { return Give(10, v); }

 private:
  HRESULT Give(int getter, I32* out) {
    static const char* const kNames[] = {
        "GetElapsedTime",      "GetRemainingTime",   "GetTotalTime",
        "GetCurrentAction",    "GetStartLba",        "GetSectorCount",
        "GetLastReadLba",      "GetLastWrittenLba",  "GetTotalSystemBuffer",
        "GetUsedSystemBuffer", "GetFreeSystemBuffer"};
    if (event_.failing_getter == kNames[getter]) return kE_FAIL;
    const I32 values[] = {
        event_.elapsed, 0, event_.total, event_.action, 0, 0, 0, 0,
        1 << 20,        0, 1 << 20};
    *out = values[getter];
    return kS_OK;
  }

  FakeWriteEvent event_;
};

// The recorder binding, the medium queries and the connection point shared
// by the data writer and the eraser.
template <typename Sink>
class Bindable : protected Counted {
 public:
  Bindable(std::shared_ptr<FakeDiscState> state, const char* kind)
      : Counted(std::move(state)), kind_(kind) {}

 protected:
  // Records "<kind>::<method>" for the bound drive.
  template <typename Fn>
  HRESULT Do(const char* method, std::int64_t number, Fn work,
             const std::wstring& text = {}) {
    return state_->Call(kind_ + "::" + method, index(), text, number, work);
  }
  HRESULT Record(const char* method, std::int64_t number = 0,
                 const std::wstring& text = {}) {
    return Do(
        method, number, [] { return kS_OK; }, text);
  }
  int index() const { return recorder_ ? recorder_->index() : -1; }
  FakeMedium* medium() const {
    FakeRecorder* r = recorder_ ? recorder_->config() : nullptr;
    return r != nullptr ? &r->medium : nullptr;
  }

  HRESULT Bind(std::shared_ptr<IDiscRecorder2> recorder) {
    auto fake = std::dynamic_pointer_cast<FakeRecorderObject>(recorder);
    const std::wstring id =
        fake && fake->config() ? fake->config()->unique_id : std::wstring();
    return state_->Call(kind_ + "::PutRecorder", fake ? fake->index() : index(),
                        id, recorder ? 1 : 0, [&] {
                          if (recorder && (!fake || fake->index() < 0)) {
                            return platform::kE_INVALIDARG;
                          }
                          if (fake && !recorder_)
                            state_->Add(1, &state_->bindings);
                          if (!fake && recorder_)
                            state_->Add(-1, &state_->bindings);
                          recorder_ = std::move(fake);
                          return kS_OK;
                        });
  }

  template <typename Fn>
  HRESULT Query(const char* method, Fn fn) {
    return Do(method, 0, [&] {
      if (medium() == nullptr) return platform::kE_IMAPI_RECORDER_REQUIRED;
      fn(*medium());
      return kS_OK;
    });
  }

  HRESULT Advise(std::shared_ptr<Sink> sink, std::uint32_t* cookie) {
    return Do("Advise", 0, [&] {
      if (!sink) return platform::kE_POINTER;
      state_->Add(1, &state_->advises);
      {
        std::lock_guard<std::mutex> lock(state_->mutex);
        state_->sinks.push_back(sink);
      }
      *cookie = next_cookie_++;
      sinks_.emplace_back(*cookie, std::move(sink));
      return kS_OK;
    });
  }
  HRESULT Unadvise(std::uint32_t cookie) {
    return Do("Unadvise", cookie, [&] {
      auto found = std::find_if(sinks_.begin(), sinks_.end(),
                                [&](auto& s) { return s.first == cookie; });
      // CONNECT_E_NOCONNECTION.
      if (found == sinks_.end()) return static_cast<HRESULT>(0x80040200u);
      sinks_.erase(found);
      state_->Add(-1, &state_->advises);
      return kS_OK;
    });
  }

  // Records the scripted event, then delivers it to a copy of the sinks (a
  // sink may unadvise while it is called).
  template <typename Fn>
  void Notify(const char* event, std::int64_t number, Fn fn) {
    state_->Enter(event, index(), {}, number);
    auto sinks = sinks_;
    for (auto& [cookie, sink] : sinks) fn(*sink);
  }

  const std::string kind_;
  std::shared_ptr<FakeRecorderObject> recorder_;

 private:
  std::vector<std::pair<std::uint32_t, std::shared_ptr<Sink>>> sinks_;
  std::uint32_t next_cookie_ = 1;
};

class FakeDataWriter : public platform::IDiscFormat2Data,
                       Bindable<platform::DDiscFormat2DataEvents> {
 public:
  explicit FakeDataWriter(std::shared_ptr<FakeDiscState> state)
      : Bindable(std::move(state), "IDiscFormat2Data") {}

  HRESULT IsRecorderSupported(IDiscRecorder2* recorder,
                              bool* supported) override {
    auto* fake = dynamic_cast<FakeRecorderObject*>(recorder);
    FakeRecorder* config = fake ? fake->config() : nullptr;
    return state_->Call("IDiscFormat2Data::IsRecorderSupported",
                        fake ? fake->index() : -1, [&] {
                          if (config == nullptr) return kE_FAIL;
                          *supported = config->supported;
                          return kS_OK;
                        });
  }
  HRESULT PutRecorder(std::shared_ptr<IDiscRecorder2> recorder) override {
    return Bind(std::move(recorder));
  }
  HRESULT PutClientName(const std::wstring& name) override {
    return Record("PutClientName", 0, name);
  }
  HRESULT GetSupportedMediaTypes(
      std::vector<IMAPI_MEDIA_PHYSICAL_TYPE>* types) override {
    return Query("GetSupportedMediaTypes",
                 [&](FakeMedium& m) { *types = {m.type}; });
  }
  HRESULT GetCurrentPhysicalMediaType(
      IMAPI_MEDIA_PHYSICAL_TYPE* type) override {
    return Query("GetCurrentPhysicalMediaType",
                 [&](FakeMedium& m) { *type = m.type; });
  }
  HRESULT GetCurrentMediaStatus(std::uint32_t* state) override {
    return Query("GetCurrentMediaStatus", [&](FakeMedium& m) {
      *state = m.blank ? platform::kMediaStateBlank
                       : platform::kMediaStateAppendable |
                             platform::kMediaStateNonEmptySession;
    });
  }
  HRESULT GetMediaHeuristicallyBlank(bool* blank) override {
    return Query("GetMediaHeuristicallyBlank",
                 [&](FakeMedium& m) { *blank = m.blank; });
  }
  HRESULT GetFreeSectorsOnMedia(I32* sectors) override {
    return Query("GetFreeSectorsOnMedia", [&](auto&) { *sectors = 2295104; });
  }
  HRESULT GetWriteProtectStatus(std::uint32_t* state) override {
    return Query("GetWriteProtectStatus",
                 [&](auto&) { *state = platform::kWriteProtectNone; });
  }
  HRESULT Advise(std::shared_ptr<platform::DDiscFormat2DataEvents> sink,
                 std::uint32_t* cookie) override {
    return Bindable::Advise(std::move(sink), cookie);
  }
  HRESULT Unadvise(std::uint32_t cookie) override {
    return Bindable::Unadvise(cookie);
  }
  HRESULT CancelWrite() override {
    return Do("CancelWrite", 0, [&] {
      if (!writing_) return platform::kE_IMAPI_DF2DATA_WRITE_NOT_IN_PROGRESS;
      cancelled_ = true;
      return kS_OK;
    });
  }

  HRESULT Write(IStream* data) override {
    std::uint64_t size = 0;
    if (data != nullptr) data->Stat(&size);
    const HRESULT injected = Record("Write", static_cast<std::int64_t>(size));
    if (data == nullptr) return platform::kE_POINTER;
    if (medium() == nullptr) return platform::kE_IMAPI_RECORDER_REQUIRED;
    writing_ = true;
    cancelled_ = false;
    for (const FakeWriteEvent& event : owner()->write_events) {
      if (cancelled_) break;
      FakeEventArgs args(state_, event);
      Notify("DDiscFormat2DataEvents::Update", event.action, [&](auto& sink) {
        sink.Update(this, event.no_arguments ? nullptr : &args);
      });
    }
    writing_ = false;
    state_->Sleep(owner()->write_seconds);
    if (cancelled_) return platform::kE_IMAPI_REQUEST_CANCELLED;
    if (Failed(injected)) return injected;
    medium()->writes += 1;
    medium()->blank = false;
    return kS_OK;
  }

 private:
  std::atomic<bool> writing_{false};
  std::atomic<bool> cancelled_{false};
};

class FakeEraser : public platform::IDiscFormat2Erase,
                   Bindable<platform::DDiscFormat2EraseEvents> {
 public:
  explicit FakeEraser(std::shared_ptr<FakeDiscState> state)
      : Bindable(std::move(state), "IDiscFormat2Erase") {}

  HRESULT PutRecorder(std::shared_ptr<IDiscRecorder2> recorder) override {
    return Bind(std::move(recorder));
  }
  HRESULT PutClientName(const std::wstring& name) override {
    return Record("PutClientName", 0, name);
  }
  HRESULT GetCurrentPhysicalMediaType(
      IMAPI_MEDIA_PHYSICAL_TYPE* type) override {
    return Query("GetCurrentPhysicalMediaType",
                 [&](FakeMedium& m) { *type = m.type; });
  }
  HRESULT PutFullErase(bool full) override {
    return Record("PutFullErase", full ? 1 : 0);
  }
  HRESULT Advise(std::shared_ptr<platform::DDiscFormat2EraseEvents> sink,
                 std::uint32_t* cookie) override {
    return Bindable::Advise(std::move(sink), cookie);
  }
  HRESULT Unadvise(std::uint32_t cookie) override {
    return Bindable::Unadvise(cookie);
  }

  HRESULT EraseMedia() override {
    const HRESULT injected = Record("EraseMedia");
    if (medium() == nullptr) return platform::kE_IMAPI_RECORDER_REQUIRED;
    if (!medium()->erasable) {
      return platform::kE_IMAPI_ERASE_MEDIA_IS_NOT_SUPPORTED;
    }
    for (const FakeEraseEvent& event : owner()->erase_events) {
      Notify("DDiscFormat2EraseEvents::Update", event.elapsed,
             [&](auto& s) { s.Update(this, event.elapsed, event.expected); });
    }
    state_->Sleep(owner()->erase_seconds);
    if (Failed(injected)) return injected;
    medium()->blank = true;
    return kS_OK;
  }
};

class FakeDirectoryItem : public platform::IFsiDirectoryItem, Counted {
 public:
  using Counted::Counted;

  HRESULT AddTree(const std::wstring& folder, bool with_base) override {
    return state_->Call("IFsiDirectoryItem::AddTree", -1, folder, with_base,
                        [&] {
                          state_->Sleep(owner()->add_tree_seconds);
                          return kS_OK;
                        });
  }
};

class FakeBootOptions : public platform::IBootOptions, Counted {
 public:
  using Counted::Counted;

  HRESULT AssignBootImage(std::shared_ptr<IStream> image) override {
    std::uint64_t size = 0;
    if (image) image->Stat(&size);
    return state_->Call("IBootOptions::AssignBootImage", -1, {},
                        static_cast<std::int64_t>(size), [&] {
                          if (!image) return platform::kE_POINTER;
                          image_ = std::move(image);
                          return kS_OK;
                        });
  }

 private:
  std::shared_ptr<IStream> image_;
};

// Results are 16 blocks of 2048 bytes.
class FakeImageResult : public platform::IFileSystemImageResult, Counted {
 public:
  using Counted::Counted;

  HRESULT GetImageStream(std::shared_ptr<IStream>* stream) override {
    return state_->Call("IFileSystemImageResult::GetImageStream", -1, [&] {
      *stream = std::make_shared<FakeStream>(state_, 16 * 2048);
      return kS_OK;
    });
  }
  HRESULT GetTotalBlocks(I32* blocks) override {
    *blocks = 16;
    return kS_OK;
  }
};

class FakeFileSystemImage : public platform::IFileSystemImage, Counted {
 public:
  using Counted::Counted;

  HRESULT PutFileSystemsToCreate(std::uint32_t systems) override {
    return Set("PutFileSystemsToCreate", systems, [&] { systems_ = systems; });
  }
  HRESULT GetFileSystemsToCreate(std::uint32_t* systems) override {
    return Set("GetFileSystemsToCreate", 0, [&] { *systems = systems_; });
  }
  HRESULT GetRoot(std::shared_ptr<platform::IFsiDirectoryItem>* root) override {
    return Set("GetRoot", 0, [&] {
      if (!root_) root_ = std::make_shared<FakeDirectoryItem>(state_);
      *root = root_;
    });
  }
  HRESULT PutBootImageOptions(
      std::shared_ptr<platform::IBootOptions> options) override {
    return Set("PutBootImageOptions", 0, [&] { boot_ = std::move(options); });
  }
  HRESULT GetFileCount(I32* count) override {
    return Set("GetFileCount", 0, [&] { *count = owner()->image_file_count; });
  }
  HRESULT GetDirectoryCount(I32* count) override {
    return Set("GetDirectoryCount", 0,
               [&] { *count = owner()->image_directory_count; });
  }
  HRESULT PutVolumeName(const std::wstring& name) override {
    return state_->Enter("IFileSystemImage::PutVolumeName", -1, name);
  }
  HRESULT PutFreeMediaBlocks(I32 blocks) override {
    return Set("PutFreeMediaBlocks", blocks, [] {});
  }
  HRESULT CreateResultImage(
      std::shared_ptr<platform::IFileSystemImageResult>* result) override {
    return Set("CreateResultImage", 0,
               [&] { *result = std::make_shared<FakeImageResult>(state_); });
  }

 private:
  template <typename Fn>
  HRESULT Set(const std::string& method, std::int64_t number, Fn fn) {
    return state_->Call("IFileSystemImage::" + method, -1, {}, number, [&] {
      fn();
      return kS_OK;
    });
  }

  // IMAPI2's default: ISO 9660 and Joliet.
  std::uint32_t systems_ =
      platform::kFileSystemISO9660 | platform::kFileSystemJoliet;
  std::shared_ptr<platform::IFsiDirectoryItem> root_;
  std::shared_ptr<platform::IBootOptions> boot_;
};

template <typename Object, typename Interface>
HRESULT Make(const std::shared_ptr<FakeDiscState>& state, const char* name,
             std::shared_ptr<Interface>* out) {
  return state->Call(std::string("DiscServices::") + name, -1, [&] {
    *out = std::make_shared<Object>(state);
    return kS_OK;
  });
}

}  // namespace

FakeRecorder& FakeRecorder::AddFeature(
    std::uint32_t code,
    const std::vector<std::pair<std::size_t, std::uint8_t>>& bytes) {
  std::size_t size = 4;
  for (const auto& [at, value] : bytes) size = std::max(size, at + 1);
  std::vector<std::uint8_t> descriptor(size, 0);
  descriptor[0] = static_cast<std::uint8_t>(code >> 8);
  descriptor[1] = static_cast<std::uint8_t>(code);
  descriptor[3] = static_cast<std::uint8_t>(size - 4);
  for (const auto& [at, value] : bytes) descriptor[at] = value;
  features.push_back(code);
  descriptors[code] = std::move(descriptor);
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

FakeRecorder& FakeDiscServices::AddRecorder() {
  recorders_.emplace_back().unique_id =
      L"fake-recorder-" + std::to_wstring(recorders_.size());
  return recorders_.back();
}

FakeRecorder& FakeDiscServices::recorder(int index) {
  return recorders_.at(static_cast<std::size_t>(index));
}

int FakeDiscServices::recorder_count() const {
  return static_cast<int>(recorders_.size());
}

void FakeDiscServices::Fail(const std::string& call, HRESULT hr, int recorder) {
  std::lock_guard<std::mutex> lock(state_->mutex);
  state_->rules.push_back({call, hr, recorder});
}

void FakeDiscServices::ClearFailures() {
  std::lock_guard<std::mutex> lock(state_->mutex);
  state_->rules.clear();
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

std::vector<FakeCall> FakeDiscServices::Calls(const std::string& name) const {
  std::lock_guard<std::mutex> lock(state_->mutex);
  std::vector<FakeCall> found;
  std::copy_if(state_->calls.begin(), state_->calls.end(),
               std::back_inserter(found),
               [&](const FakeCall& call) { return call.name == name; });
  return found;
}

int FakeDiscServices::Count(const std::string& name) const {
  return static_cast<int>(Calls(name).size());
}

int FakeDiscServices::LiveObjects() const { return state_->Get(state_->live); }

int FakeDiscServices::OpenBindings() const {
  return state_->Get(state_->bindings);
}

int FakeDiscServices::OpenAdvises() const {
  return state_->Get(state_->advises);
}

int FakeDiscServices::LiveSinks() const {
  std::lock_guard<std::mutex> lock(state_->mutex);
  return static_cast<int>(
      std::count_if(state_->sinks.begin(), state_->sinks.end(),
                    [](const std::weak_ptr<void>& s) { return !s.expired(); }));
}

HRESULT FakeDiscServices::CreateDiscMaster(
    std::shared_ptr<platform::IDiscMaster2>* out) {
  return Make<FakeMaster>(state_, "CreateDiscMaster", out);
}

HRESULT FakeDiscServices::CreateRecorder(
    std::shared_ptr<platform::IDiscRecorder2>* out) {
  return Make<FakeRecorderObject>(state_, "CreateRecorder", out);
}

HRESULT FakeDiscServices::CreateDataWriter(
    std::shared_ptr<platform::IDiscFormat2Data>* out) {
  return Make<FakeDataWriter>(state_, "CreateDataWriter", out);
}

HRESULT FakeDiscServices::CreateEraser(
    std::shared_ptr<platform::IDiscFormat2Erase>* out) {
  return Make<FakeEraser>(state_, "CreateEraser", out);
}

HRESULT FakeDiscServices::CreateFileSystemImage(
    std::shared_ptr<platform::IFileSystemImage>* out) {
  return Make<FakeFileSystemImage>(state_, "CreateFileSystemImage", out);
}

HRESULT FakeDiscServices::CreateBootOptions(
    std::shared_ptr<platform::IBootOptions>* out) {
  return Make<FakeBootOptions>(state_, "CreateBootOptions", out);
}

HRESULT FakeDiscServices::CreateStreamOnFile(
    const std::wstring& path, std::shared_ptr<platform::IStream>* out) {
  return state_->Call("DiscServices::CreateStreamOnFile", -1, path, 0, [&] {
    auto served = served_streams_.find(path);
    std::error_code error;
    const std::uint64_t size =
        served != served_streams_.end()
            ? served->second
            : std::filesystem::file_size(platform::ToUtf8(path), error);
    // HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND).
    if (error) return static_cast<HRESULT>(0x80070002u);
    *out = MakeStream(size);
    return kS_OK;
  });
}

std::shared_ptr<platform::IStream> FakeDiscServices::MakeStream(
    std::uint64_t size) {
  return std::make_shared<FakeStream>(state_, size);
}

}  // namespace tessaline::testing
