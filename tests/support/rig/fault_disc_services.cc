#include "support/rig/fault_disc_services.h"

#include <utility>

#include "platform/text.h"

namespace tessaline::testing {

using namespace platform;

struct FaultDiscServices::State {
  std::mutex mutex;
  std::map<std::string, std::map<std::string, HRESULT>> faults;
  std::map<std::string, std::function<void()>> hooks;
  int live = 0;
  int advises = 0;
  std::vector<std::weak_ptr<void>> sinks;

  // Runs the call's hook, then fails the call with its fault or forwards it.
  // A call of no drive (the factory's) fails for any drive.
  template <typename Forward>
  HRESULT Run(const std::string& call, const std::string& drive,
              Forward forward) {
    std::function<void()> hook;
    HRESULT fault = kS_OK;
    {
      std::lock_guard<std::mutex> lock(mutex);
      if (auto it = hooks.find(call); it != hooks.end()) hook = it->second;
      if (auto it = faults.find(call); it != faults.end()) {
        for (const auto& [key, hr] : it->second) {
          if (key.empty() || drive.empty() || key == drive) fault = hr;
        }
      }
    }
    if (hook) hook();
    return fault != kS_OK ? fault : forward();
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

// An object of the target's wrapped: counted while it lives, its calls
// named by its interface and bound to the drive it works on.
template <typename Interface>
class Faulty : public Interface {
 public:
  Faulty(std::shared_ptr<State> state, std::shared_ptr<Interface> target)
      : state_(std::move(state)), target_(std::move(target)) {
    std::lock_guard<std::mutex> lock(state_->mutex);
    ++state_->live;
  }
  ~Faulty() override {
    std::lock_guard<std::mutex> lock(state_->mutex);
    --state_->live;
  }
  const std::shared_ptr<Interface>& target() const { return target_; }
  const std::string& drive() const { return drive_; }

 protected:
  template <typename Call>
  HRESULT Run(const char* name, Call call) {
    return state_->Run(name, drive_, call);
  }
  template <typename Sink>
  HRESULT Advised(const char* name, const std::shared_ptr<Sink>& sink,
                  std::uint32_t* cookie) {
    const HRESULT hr = Run(name, [&] { return target_->Advise(sink, cookie); });
    std::lock_guard<std::mutex> lock(state_->mutex);
    if (Succeeded(hr)) ++state_->advises, state_->sinks.push_back(sink);
    return hr;
  }
  HRESULT Unadvised(const char* name, std::uint32_t cookie) {
    const HRESULT hr = Run(name, [&] { return target_->Unadvise(cookie); });
    std::lock_guard<std::mutex> lock(state_->mutex);
    if (Succeeded(hr)) --state_->advises;
    return hr;
  }
  // Binds the target to the recorder given; one of ours is unwrapped, so
  // that the backend sees its own.
  HRESULT Bound(const char* name, std::shared_ptr<IDiscRecorder2> recorder);

  std::shared_ptr<State> state_;
  std::shared_ptr<Interface> target_;
  std::string drive_;
};

class FaultMaster final : public Faulty<IDiscMaster2> {
 public:
  using Faulty::Faulty;
  FORWARD(IDiscMaster2, GetCount, (std::int32_t * count), (count))
  FORWARD(IDiscMaster2, GetItem, (std::int32_t index, std::wstring* id),
          (index, id))
};

class FaultRecorder final : public Faulty<IDiscRecorder2> {
 public:
  using Faulty::Faulty;
  HRESULT InitializeDiscRecorder(const std::wstring& id) override {
    // The drive's name is the last part of its unique id.
    std::wstring name = id;
    while (!name.empty() && (name.back() == L'/' || name.back() == L'\\')) {
      name.pop_back();
    }
    drive_ = ToUtf8(name.substr(name.find_last_of(L"/\\") + 1));
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
};

template <typename Interface>
HRESULT Faulty<Interface>::Bound(const char* name,
                                 std::shared_ptr<IDiscRecorder2> recorder) {
  if (auto* ours = dynamic_cast<FaultRecorder*>(recorder.get())) {
    drive_ = ours->drive();
    recorder = ours->target();
  }
  return Run(name, [&] { return target_->PutRecorder(recorder); });
}

class FaultDataWriter final : public Faulty<IDiscFormat2Data> {
 public:
  using Faulty::Faulty;
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
    return Bound("IDiscFormat2Data::PutRecorder", std::move(recorder));
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
    return Advised("IDiscFormat2Data::Advise", sink, cookie);
  }
  HRESULT Unadvise(std::uint32_t cookie) override {
    return Unadvised("IDiscFormat2Data::Unadvise", cookie);
  }
};

class FaultEraser final : public Faulty<IDiscFormat2Erase> {
 public:
  using Faulty::Faulty;
  HRESULT PutRecorder(std::shared_ptr<IDiscRecorder2> recorder) override {
    return Bound("IDiscFormat2Erase::PutRecorder", std::move(recorder));
  }
  FORWARD(IDiscFormat2Erase, PutClientName, (const std::wstring& name), (name))
  FORWARD(IDiscFormat2Erase, GetCurrentPhysicalMediaType,
          (IMAPI_MEDIA_PHYSICAL_TYPE * type), (type))
  FORWARD(IDiscFormat2Erase, PutFullErase, (bool full), (full))
  FORWARD(IDiscFormat2Erase, EraseMedia, (), ())
  HRESULT Advise(std::shared_ptr<DDiscFormat2EraseEvents> sink,
                 std::uint32_t* cookie) override {
    return Advised("IDiscFormat2Erase::Advise", sink, cookie);
  }
  HRESULT Unadvise(std::uint32_t cookie) override {
    return Unadvised("IDiscFormat2Erase::Unadvise", cookie);
  }
};

#undef FORWARD

// Creates the target's object and wraps it, unless the factory call is to
// fail.
template <typename Wrapper, typename Interface, typename Create>
HRESULT Wrap(const std::shared_ptr<State>& state, const char* call,
             std::shared_ptr<Interface>* out, Create create) {
  std::shared_ptr<Interface> object;
  const HRESULT hr = state->Run(call, "", [&] { return create(&object); });
  if (Succeeded(hr)) *out = std::make_shared<Wrapper>(state, object);
  return hr;
}

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
