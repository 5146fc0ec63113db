#include "support/rig/fault_disc_services.h"

#include <utility>

#include "platform/text.h"

namespace tessaline::testing {

using namespace platform;

struct FaultDiscServices::State {
  std::mutex mutex;
  std::map<std::string, std::map<std::string, HRESULT>> faults;
  std::map<std::string, std::function<void()>> hooks;
  std::vector<std::string> calls;
  int live = 0;
  int advises = 0;
  std::vector<std::weak_ptr<void>> sinks;

  // Logs the call, runs its hook, and gives the fault it is to end with.
  bool Faulted(const std::string& call, const std::string& drive,
               HRESULT* fault) {
    std::function<void()> hook;
    bool failed = false;
    {
      std::lock_guard<std::mutex> lock(mutex);
      calls.push_back(call + " " + drive);
      if (auto it = hooks.find(call); it != hooks.end()) hook = it->second;
      // A call of no drive (the factory's) fails for any drive.
      if (auto it = faults.find(call); it != faults.end()) {
        for (const auto& [key, hr] : it->second) {
          if (key.empty() || drive.empty() || key == drive) {
            *fault = hr;
            failed = true;
          }
        }
      }
    }
    if (hook) hook();
    return failed;
  }

  template <typename Call>
  HRESULT Run(const std::string& name, const std::string& drive, Call call) {
    HRESULT fault = kS_OK;
    return Faulted(name, drive, &fault) ? fault : call();
  }
};

namespace {

using State = FaultDiscServices::State;

// A member that goes to the target unless a fault is injected into it.
#define FORWARD(Interface, Method, Parameters, Arguments)  \
  HRESULT Method Parameters override {                     \
    return Run(#Interface "::" #Method,                    \
               [&] { return target_->Method Arguments; }); \
  }

// The name of a drive's folder from its unique id.
std::string DriveName(const std::wstring& id) {
  std::wstring name = id;
  while (!name.empty() && (name.back() == L'/' || name.back() == L'\\')) {
    name.pop_back();
  }
  const std::size_t slash = name.find_last_of(L"/\\");
  return ToUtf8(slash == std::wstring::npos ? name : name.substr(slash + 1));
}

class Counted {
 public:
  explicit Counted(std::shared_ptr<State> state) : state_(std::move(state)) {
    std::lock_guard<std::mutex> lock(state_->mutex);
    ++state_->live;
  }
  ~Counted() {
    std::lock_guard<std::mutex> lock(state_->mutex);
    --state_->live;
  }
  Counted(const Counted&) = delete;
  Counted& operator=(const Counted&) = delete;

 protected:
  template <typename Call>
  HRESULT Run(const char* name, Call call) {
    return state_->Run(name, drive_, call);
  }
  template <typename Sink>
  void Advised(const std::shared_ptr<Sink>& sink) {
    std::lock_guard<std::mutex> lock(state_->mutex);
    ++state_->advises;
    state_->sinks.push_back(sink);
  }
  void Unadvised() {
    std::lock_guard<std::mutex> lock(state_->mutex);
    --state_->advises;
  }

  std::shared_ptr<State> state_;
  std::string drive_;
};

class FaultMaster final : public IDiscMaster2, Counted {
 public:
  FaultMaster(std::shared_ptr<State> state,
              std::shared_ptr<IDiscMaster2> target)
      : Counted(std::move(state)), target_(std::move(target)) {}
  FORWARD(IDiscMaster2, GetCount, (std::int32_t * count), (count))
  FORWARD(IDiscMaster2, GetItem, (std::int32_t index, std::wstring* id),
          (index, id))

 private:
  std::shared_ptr<IDiscMaster2> target_;
};

class FaultRecorder final : public IDiscRecorder2, Counted {
 public:
  FaultRecorder(std::shared_ptr<State> state,
                std::shared_ptr<IDiscRecorder2> target)
      : Counted(std::move(state)), target_(std::move(target)) {}

  const std::shared_ptr<IDiscRecorder2>& target() const { return target_; }
  const std::string& drive() const { return drive_; }

  HRESULT InitializeDiscRecorder(const std::wstring& id) override {
    drive_ = DriveName(id);
    return Run("IDiscRecorder2::InitializeDiscRecorder",
               [&] { return target_->InitializeDiscRecorder(id); });
  }
  FORWARD(IDiscRecorder2, GetVendorId, (std::wstring * vendor), (vendor))
  FORWARD(IDiscRecorder2, GetProductId, (std::wstring * product), (product))
  FORWARD(IDiscRecorder2, GetVolumePathNames,
          (std::vector<std::wstring> * paths), (paths))
  FORWARD(IDiscRecorder2, GetSupportedFeaturePages,
          (std::vector<std::uint32_t> * features), (features))
  FORWARD(IDiscRecorder2, DisableMcn, (), ())
  FORWARD(IDiscRecorder2, EnableMcn, (), ())
  FORWARD(IDiscRecorder2, QueryRecorderEx,
          (std::shared_ptr<IDiscRecorder2Ex> * ex), (ex))

 private:
  std::shared_ptr<IDiscRecorder2> target_;
};

// The recorder a wrapped format object is to be bound to: the target of
// one of ours, so that the backend sees its own recorder.
std::shared_ptr<IDiscRecorder2> Unwrapped(
    const std::shared_ptr<IDiscRecorder2>& recorder, std::string* drive) {
  auto* ours = dynamic_cast<FaultRecorder*>(recorder.get());
  if (ours == nullptr) return recorder;
  *drive = ours->drive();
  return ours->target();
}

class FaultDataWriter final : public IDiscFormat2Data, Counted {
 public:
  FaultDataWriter(std::shared_ptr<State> state,
                  std::shared_ptr<IDiscFormat2Data> target)
      : Counted(std::move(state)), target_(std::move(target)) {}

  HRESULT IsRecorderSupported(IDiscRecorder2* recorder,
                              bool* supported) override {
    // The question is about the recorder given, not the one bound.
    auto* ours = dynamic_cast<FaultRecorder*>(recorder);
    return state_->Run("IDiscFormat2Data::IsRecorderSupported",
                       ours == nullptr ? drive_ : ours->drive(), [&] {
                         return target_->IsRecorderSupported(
                             ours == nullptr ? recorder : ours->target().get(),
                             supported);
                       });
  }
  HRESULT PutRecorder(std::shared_ptr<IDiscRecorder2> recorder) override {
    std::string drive;
    auto target = Unwrapped(recorder, &drive);
    if (recorder) drive_ = drive;
    return Run("IDiscFormat2Data::PutRecorder",
               [&] { return target_->PutRecorder(target); });
  }
  FORWARD(IDiscFormat2Data, PutClientName, (const std::wstring& name), (name))
  FORWARD(IDiscFormat2Data, GetSupportedMediaTypes,
          (std::vector<IMAPI_MEDIA_PHYSICAL_TYPE> * types), (types))
  FORWARD(IDiscFormat2Data, GetCurrentPhysicalMediaType,
          (IMAPI_MEDIA_PHYSICAL_TYPE * type), (type))
  FORWARD(IDiscFormat2Data, GetCurrentMediaStatus, (std::uint32_t * state),
          (state))
  FORWARD(IDiscFormat2Data, GetMediaHeuristicallyBlank, (bool* blank), (blank))
  FORWARD(IDiscFormat2Data, GetFreeSectorsOnMedia, (std::int32_t * sectors),
          (sectors))
  FORWARD(IDiscFormat2Data, Write, (IStream * data), (data))
  FORWARD(IDiscFormat2Data, CancelWrite, (), ())
  FORWARD(IDiscFormat2Data, GetWriteProtectStatus, (std::uint32_t * state),
          (state))
  HRESULT Advise(std::shared_ptr<DDiscFormat2DataEvents> sink,
                 std::uint32_t* cookie) override {
    const HRESULT hr = Run("IDiscFormat2Data::Advise",
                           [&] { return target_->Advise(sink, cookie); });
    if (Succeeded(hr)) Advised(sink);
    return hr;
  }
  HRESULT Unadvise(std::uint32_t cookie) override {
    const HRESULT hr = Run("IDiscFormat2Data::Unadvise",
                           [&] { return target_->Unadvise(cookie); });
    if (Succeeded(hr)) Unadvised();
    return hr;
  }

 private:
  std::shared_ptr<IDiscFormat2Data> target_;
};

class FaultEraser final : public IDiscFormat2Erase, Counted {
 public:
  FaultEraser(std::shared_ptr<State> state,
              std::shared_ptr<IDiscFormat2Erase> target)
      : Counted(std::move(state)), target_(std::move(target)) {}

  HRESULT PutRecorder(std::shared_ptr<IDiscRecorder2> recorder) override {
    std::string drive;
    auto target = Unwrapped(recorder, &drive);
    if (recorder) drive_ = drive;
    return Run("IDiscFormat2Erase::PutRecorder",
               [&] { return target_->PutRecorder(target); });
  }
  FORWARD(IDiscFormat2Erase, PutClientName, (const std::wstring& name), (name))
  FORWARD(IDiscFormat2Erase, GetCurrentPhysicalMediaType,
          (IMAPI_MEDIA_PHYSICAL_TYPE * type), (type))
  FORWARD(IDiscFormat2Erase, PutFullErase, (bool full), (full))
  FORWARD(IDiscFormat2Erase, EraseMedia, (), ())
  HRESULT Advise(std::shared_ptr<DDiscFormat2EraseEvents> sink,
                 std::uint32_t* cookie) override {
    const HRESULT hr = Run("IDiscFormat2Erase::Advise",
                           [&] { return target_->Advise(sink, cookie); });
    if (Succeeded(hr)) Advised(sink);
    return hr;
  }
  HRESULT Unadvise(std::uint32_t cookie) override {
    const HRESULT hr = Run("IDiscFormat2Erase::Unadvise",
                           [&] { return target_->Unadvise(cookie); });
    if (Succeeded(hr)) Unadvised();
    return hr;
  }

 private:
  std::shared_ptr<IDiscFormat2Erase> target_;
};

// Creates the target's object and wraps it, unless the factory call is to
// fail.
template <typename Wrapper, typename Interface, typename Create>
HRESULT Wrap(const std::shared_ptr<State>& state, const char* call,
             std::shared_ptr<Interface>* out, Create create) {
  std::shared_ptr<Interface> object;
  const HRESULT hr = state->Run(call, "", [&] { return create(&object); });
  if (Failed(hr)) return hr;
  *out = std::make_shared<Wrapper>(state, std::move(object));
  return hr;
}

#undef FORWARD

}  // namespace

FaultDiscServices::FaultDiscServices(std::shared_ptr<DiscServices> target)
    : DiscServicesWrapper(std::move(target)),
      state_(std::make_shared<State>()) {}

FaultDiscServices::~FaultDiscServices() = default;

void FaultDiscServices::Fail(const std::string& call, HRESULT hr,
                             const std::string& drive) {
  std::lock_guard<std::mutex> lock(state_->mutex);
  state_->faults[call][drive] = hr;
}

void FaultDiscServices::Before(const std::string& call,
                               std::function<void()> action) {
  std::lock_guard<std::mutex> lock(state_->mutex);
  state_->hooks[call] = std::move(action);
}

std::vector<std::string> FaultDiscServices::Calls() const {
  std::lock_guard<std::mutex> lock(state_->mutex);
  return state_->calls;
}

int FaultDiscServices::LiveObjects() const {
  std::lock_guard<std::mutex> lock(state_->mutex);
  return state_->live;
}

int FaultDiscServices::OpenAdvises() const {
  std::lock_guard<std::mutex> lock(state_->mutex);
  return state_->advises;
}

int FaultDiscServices::LiveSinks() const {
  std::lock_guard<std::mutex> lock(state_->mutex);
  int live = 0;
  for (const auto& sink : state_->sinks) live += sink.expired() ? 0 : 1;
  return live;
}

HRESULT FaultDiscServices::CreateDiscMaster(
    std::shared_ptr<IDiscMaster2>* out) {
  return Wrap<FaultMaster>(
      state_, "DiscServices::CreateDiscMaster", out,
      [&](auto* o) { return target().CreateDiscMaster(o); });
}

HRESULT FaultDiscServices::CreateRecorder(
    std::shared_ptr<IDiscRecorder2>* out) {
  return Wrap<FaultRecorder>(
      state_, "DiscServices::CreateRecorder", out,
      [&](auto* o) { return target().CreateRecorder(o); });
}

HRESULT FaultDiscServices::CreateDataWriter(
    std::shared_ptr<IDiscFormat2Data>* out) {
  return Wrap<FaultDataWriter>(
      state_, "DiscServices::CreateDataWriter", out,
      [&](auto* o) { return target().CreateDataWriter(o); });
}

HRESULT FaultDiscServices::CreateEraser(
    std::shared_ptr<IDiscFormat2Erase>* out) {
  return Wrap<FaultEraser>(state_, "DiscServices::CreateEraser", out,
                           [&](auto* o) { return target().CreateEraser(o); });
}

}  // namespace tessaline::testing
