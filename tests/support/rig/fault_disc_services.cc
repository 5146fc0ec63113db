#include "support/rig/fault_disc_services.h"

#include <algorithm>
#include <utility>

#include "platform/text.h"

namespace tessaline::testing {

using namespace platform;

struct FaultDiscServices::State {
  std::mutex mutex;
  std::map<std::string, std::map<std::string, HRESULT>> faults;
  std::map<std::string, std::function<void()>> hooks;
  int live = 0;
  int unadvises = 0;
  std::vector<std::weak_ptr<void>> sinks;

  template <typename Action>
  auto Locked(Action action) {
    std::lock_guard<std::mutex> lock(mutex);
    return action();
  }

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

#define FORWARD(Method, ...)                                             \
  HRESULT Method(__VA_ARGS__ __VA_OPT__(a)) override {                   \
    return Run(#Method, [&] { return target_->Method(__VA_OPT__(a)); }); \
  }
#define ADVISE(Events)                                                         \
  HRESULT Advise(std::shared_ptr<Events> sink, std::uint32_t* cookie)          \
      override {                                                               \
    const HRESULT hr =                                                         \
        Run("Advise", [&] { return target_->Advise(sink, cookie); });          \
    if (Succeeded(hr)) state_->Locked([&] { state_->sinks.push_back(sink); }); \
    return hr;                                                                 \
  }                                                                            \
  HRESULT Unadvise(std::uint32_t cookie) override {                            \
    const HRESULT hr =                                                         \
        Run("Unadvise", [&] { return target_->Unadvise(cookie); });            \
    if (Succeeded(hr)) state_->Locked([&] { ++state_->unadvises; });           \
    return hr;                                                                 \
  }

// An object of the target's wrapped: counted while it lives, its calls
// named "Interface::Method" and bound to the drive it works on.
template <typename Interface>
class Faulty : public Interface {
 public:
  Faulty(std::shared_ptr<State> state, std::shared_ptr<Interface> target,
         std::string name)
      : state_(std::move(state)),
        target_(std::move(target)),
        name_(std::move(name)) {
    state_->Locked([&] { ++state_->live; });
  }
  ~Faulty() override {
    state_->Locked([&] { --state_->live; });
  }
  const std::shared_ptr<Interface>& target() const { return target_; }
  const std::string& drive() const { return drive_; }

 protected:
  template <typename Call>
  HRESULT Run(const char* method, Call call,
              const std::string* drive = nullptr) {
    return state_->Run(name_ + "::" + method, drive ? *drive : drive_, call);
  }
  // Binds the target to the recorder given; one of ours is unwrapped, so
  // that the backend sees its own.
  HRESULT Bound(std::shared_ptr<IDiscRecorder2> recorder);

  std::shared_ptr<State> state_;
  std::shared_ptr<Interface> target_;
  std::string name_;
  std::string drive_;
};

class FaultMaster final : public Faulty<IDiscMaster2> {
 public:
  using Faulty::Faulty;
  FORWARD(GetCount, std::int32_t*)
  HRESULT GetItem(std::int32_t index, std::wstring* id) override {
    return Run("GetItem", [&] { return target_->GetItem(index, id); });
  }
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
    return Run("InitializeDiscRecorder",
               [&] { return target_->InitializeDiscRecorder(id); });
  }
  FORWARD(GetVendorId, std::wstring*)
  FORWARD(GetProductId, std::wstring*)
  FORWARD(GetVolumePathNames, std::vector<std::wstring>*)
  FORWARD(GetSupportedFeaturePages, std::vector<std::uint32_t>*)
  FORWARD(DisableMcn)
  FORWARD(EnableMcn)
  FORWARD(QueryRecorderEx, std::shared_ptr<IDiscRecorder2Ex>*)
};

template <typename Interface>
HRESULT Faulty<Interface>::Bound(std::shared_ptr<IDiscRecorder2> recorder) {
  if (auto* ours = dynamic_cast<FaultRecorder*>(recorder.get())) {
    drive_ = ours->drive();
    recorder = ours->target();
  }
  return Run("PutRecorder", [&] { return target_->PutRecorder(recorder); });
}

class FaultDataWriter final : public Faulty<IDiscFormat2Data> {
 public:
  using Faulty::Faulty;
  HRESULT IsRecorderSupported(IDiscRecorder2* recorder,
                              bool* supported) override {
    // The question is about the recorder given, not the one bound.
    auto* ours = dynamic_cast<FaultRecorder*>(recorder);
    return Run(
        "IsRecorderSupported",
        [&] {
          return target_->IsRecorderSupported(
              ours == nullptr ? recorder : ours->target().get(), supported);
        },
        ours == nullptr ? nullptr : &ours->drive());
  }
  HRESULT PutRecorder(std::shared_ptr<IDiscRecorder2> recorder) override {
    return Bound(std::move(recorder));
  }
  FORWARD(PutClientName, const std::wstring&)
  FORWARD(GetSupportedMediaTypes, std::vector<IMAPI_MEDIA_PHYSICAL_TYPE>*)
  FORWARD(GetCurrentPhysicalMediaType, IMAPI_MEDIA_PHYSICAL_TYPE*)
  FORWARD(GetCurrentMediaStatus, std::uint32_t*)
  FORWARD(GetMediaHeuristicallyBlank, bool*)
  FORWARD(GetFreeSectorsOnMedia, std::int32_t*)
  FORWARD(Write, IStream*)
  FORWARD(CancelWrite)
  FORWARD(GetWriteProtectStatus, std::uint32_t*)
  ADVISE(DDiscFormat2DataEvents)
};

class FaultEraser final : public Faulty<IDiscFormat2Erase> {
 public:
  using Faulty::Faulty;
  HRESULT PutRecorder(std::shared_ptr<IDiscRecorder2> recorder) override {
    return Bound(std::move(recorder));
  }
  FORWARD(PutClientName, const std::wstring&)
  FORWARD(GetCurrentPhysicalMediaType, IMAPI_MEDIA_PHYSICAL_TYPE*)
  FORWARD(PutFullErase, bool)
  FORWARD(EraseMedia)
  ADVISE(DDiscFormat2EraseEvents)
};

#undef FORWARD
#undef ADVISE

template <typename Wrapper, typename Interface, typename Create>
HRESULT Wrap(const std::shared_ptr<State>& state, const char* call,
             const char* name, std::shared_ptr<Interface>* out, Create create) {
  std::shared_ptr<Interface> object;
  const HRESULT hr = state->Run(std::string("DiscServices::") + call, "",
                                [&] { return create(&object); });
  if (Succeeded(hr)) *out = std::make_shared<Wrapper>(state, object, name);
  return hr;
}

}  // namespace

FaultDiscServices::FaultDiscServices(std::shared_ptr<DiscServices> target)
    : DiscServicesWrapper(std::move(target)),
      state_(std::make_shared<State>()) {}

FaultDiscServices::~FaultDiscServices() = default;

void FaultDiscServices::Fail(const std::string& call, HRESULT hr,
                             const std::string& drive) {
  state_->Locked([&] { state_->faults[call][drive] = hr; });
}
void FaultDiscServices::Before(const std::string& call,
                               std::function<void()> action) {
  state_->Locked([&] { state_->hooks[call] = std::move(action); });
}
int FaultDiscServices::LiveObjects() const {
  return state_->Locked([&] { return state_->live; });
}
int FaultDiscServices::OpenAdvises() const {
  return state_->Locked([&] {
    return static_cast<int>(state_->sinks.size()) - state_->unadvises;
  });
}
int FaultDiscServices::LiveSinks() const {
  return state_->Locked([&] {
    return static_cast<int>(std::count_if(
        state_->sinks.begin(), state_->sinks.end(),
        [](const std::weak_ptr<void>& sink) { return !sink.expired(); }));
  });
}

#define CREATE(Wrapper, Interface, Call)                             \
  HRESULT FaultDiscServices::Call(std::shared_ptr<Interface>* out) { \
    return Wrap<Wrapper>(state_, #Call, #Interface, out,             \
                         [&](auto* o) { return target().Call(o); }); \
  }
CREATE(FaultMaster, IDiscMaster2, CreateDiscMaster)
CREATE(FaultRecorder, IDiscRecorder2, CreateRecorder)
CREATE(FaultDataWriter, IDiscFormat2Data, CreateDataWriter)
CREATE(FaultEraser, IDiscFormat2Erase, CreateEraser)
#undef CREATE

}  // namespace tessaline::testing
