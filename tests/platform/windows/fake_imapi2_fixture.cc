#include "platform/windows/fake_imapi2_fixture.h"

#include <algorithm>
#include <atomic>
#include <functional>
#include <string>
#include <utility>

#include "platform/text.h"

namespace tessaline::testing {
namespace {

namespace ids = platform::windows::imapi2;
using platform::windows::Bstr;
using platform::windows::ComPtr;

FakeImapi2State* current = nullptr;

// <olectl.h>'s connection point codes.
constexpr ::HRESULT kNoConnection = static_cast<::HRESULT>(0x80040200);
constexpr ::HRESULT kCannotConnect = static_cast<::HRESULT>(0x80040202);

void Record(std::string call) { current->calls.push_back(std::move(call)); }
std::string Text(BSTR text) {
  return text == nullptr
             ? "null"
             : platform::ToUtf8(std::wstring(text, ::SysStringLen(text)));
}
BSTR Copy(const std::wstring& text) {
  return ::SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
}

// A SAFEARRAY of VARIANTs, as IMAPI2 returns its lists.
template <typename Fill>
SAFEARRAY* VariantArray(std::size_t count, Fill fill) {
  SAFEARRAY* array =
      ::SafeArrayCreateVector(VT_VARIANT, 0, static_cast<ULONG>(count));
  for (LONG i = 0; i < static_cast<LONG>(count); ++i) {
    VARIANT value;
    ::VariantInit(&value);
    fill(static_cast<std::size_t>(i), &value);
    ::SafeArrayPutElement(array, &i, &value);
    ::VariantClear(&value);
  }
  return array;
}

#define FAKE_STUB(name, ...)                               \
  ::HRESULT STDMETHODCALLTYPE name(__VA_ARGS__) override { \
    Record(#name);                                         \
    return E_NOTIMPL;                                      \
  }
#define FAKE_DISPATCH_STUBS                                            \
  FAKE_STUB(GetTypeInfoCount, UINT*)                                   \
  FAKE_STUB(GetTypeInfo, UINT, LCID, ITypeInfo**)                      \
  FAKE_STUB(GetIDsOfNames, REFIID, LPOLESTR*, UINT, LCID, DISPID*)     \
  FAKE_STUB(Invoke, DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, \
            EXCEPINFO*, UINT*)

// Reference counting and QueryInterface for a fake with the interfaces
// `Bases`; `Cast` names the interfaces it answers for.
template <typename... Bases>
class Fake : public Bases... {
 public:
  Fake() { ++current->live_objects; }
  virtual ~Fake() { --current->live_objects; }
  Fake(const Fake&) = delete;
  Fake& operator=(const Fake&) = delete;

  ::HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid,
                                             void** object) override {
    *object = ::IsEqualIID(iid, IID_IUnknown) ? Unknown() : Cast(iid);
    if (*object == nullptr) return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = --references_;
    if (left == 0) delete this;
    return left;
  }

 protected:
  virtual void* Cast(REFIID iid) = 0;
  virtual void* Unknown() = 0;

 private:
  std::atomic<ULONG> references_{1};
};

// The connection point of one event interface, on the object it serves.
class Connection : public Fake<IConnectionPoint> {
 public:
  explicit Connection(const IID& events) : events_(events) {}
  ~Connection() override {
    for (auto& [cookie, sink] : sinks_) sink->Release();
  }

  // The advised sinks, in order.
  std::vector<IDispatch*> sinks() const {
    std::vector<IDispatch*> all;
    for (const auto& entry : sinks_) all.push_back(entry.second);
    return all;
  }

  ::HRESULT STDMETHODCALLTYPE GetConnectionInterface(IID* iid) override {
    *iid = events_;
    return S_OK;
  }
  FAKE_STUB(GetConnectionPointContainer, IConnectionPointContainer**)
  ::HRESULT STDMETHODCALLTYPE Advise(IUnknown* sink, DWORD* cookie) override {
    IDispatch* dispatch = nullptr;
    if (FAILED(sink->QueryInterface(IID_IDispatch,
                                    reinterpret_cast<void**>(&dispatch)))) {
      return kCannotConnect;
    }
    *cookie = ++last_cookie_;
    sinks_.emplace_back(*cookie, dispatch);
    ++current->advised_sinks;
    current->last_sink = dispatch;
    Record("Advise");
    return S_OK;
  }
  ::HRESULT STDMETHODCALLTYPE Unadvise(DWORD cookie) override {
    Record("Unadvise");
    const auto found =
        std::find_if(sinks_.begin(), sinks_.end(),
                     [&](const auto& entry) { return entry.first == cookie; });
    if (found == sinks_.end()) return kNoConnection;
    if (current->last_sink == found->second) current->last_sink = nullptr;
    found->second->Release();
    sinks_.erase(found);
    --current->advised_sinks;
    return S_OK;
  }
  FAKE_STUB(EnumConnections, IEnumConnections**)

 protected:
  void* Cast(REFIID iid) override {
    return ::IsEqualIID(iid, IID_IConnectionPoint) ? this : nullptr;
  }
  void* Unknown() override { return this; }

 private:
  const IID events_;
  DWORD last_cookie_ = 0;
  std::vector<std::pair<DWORD, IDispatch*>> sinks_;
};

// An object with one connection point, for `events`.
template <typename Interface>
class EventSource : public Fake<Interface, IConnectionPointContainer> {
 public:
  explicit EventSource(const IID& events)
      : events_(events),
        point_(ComPtr<Connection>::Adopt(new Connection(events))) {}

  FAKE_STUB(EnumConnectionPoints, IEnumConnectionPoints**)
  ::HRESULT STDMETHODCALLTYPE
  FindConnectionPoint(REFIID iid, IConnectionPoint** point) override {
    Record("FindConnectionPoint");
    *point = nullptr;
    if (!::IsEqualIID(iid, events_)) return kNoConnection;
    *point = point_.get();
    (*point)->AddRef();
    return S_OK;
  }

 protected:
  std::vector<IDispatch*> sinks() const { return point_->sinks(); }
  void* Unknown() override { return static_cast<Interface*>(this); }
  void* CastTo(REFIID iid, const IID& own) {
    if (::IsEqualIID(iid, own) || ::IsEqualIID(iid, IID_IDispatch)) {
      return static_cast<Interface*>(this);
    }
    if (::IsEqualIID(iid, IID_IConnectionPointContainer)) {
      return static_cast<IConnectionPointContainer*>(this);
    }
    return nullptr;
  }

 private:
  const IID events_;
  ComPtr<Connection> point_;
};

// Calls a sink's Update (dispatch identifier 0x200) through Invoke, with
// the arguments given first to last.
::HRESULT InvokeUpdate(IDispatch* sink, std::vector<VARIANT> arguments) {
  std::reverse(arguments.begin(), arguments.end());
  DISPPARAMS parameters{arguments.data(), nullptr,
                        static_cast<UINT>(arguments.size()), 0};
  return sink->Invoke(ids::kDispidUpdate, IID_NULL, LOCALE_USER_DEFAULT,
                      DISPATCH_METHOD, &parameters, nullptr, nullptr, nullptr);
}

VARIANT DispatchArgument(IDispatch* object) {
  VARIANT value;
  ::VariantInit(&value);
  value.vt = VT_DISPATCH;
  value.pdispVal = object;
  return value;
}

VARIANT LongArgument(LONG number) {
  VARIANT value;
  ::VariantInit(&value);
  value.vt = VT_I4;
  value.lVal = number;
  return value;
}

class FakeMaster : public Fake<::IDiscMaster2> {
 public:
  FAKE_DISPATCH_STUBS
  FAKE_STUB(get__NewEnum, IEnumVARIANT**)
  ::HRESULT STDMETHODCALLTYPE get_Item(LONG index, BSTR* value) override {
    Record("get_Item " + std::to_string(index));
    if (index < 0 || index >= static_cast<LONG>(current->recorder_ids.size())) {
      return E_INVALIDARG;
    }
    *value = Copy(current->recorder_ids[static_cast<std::size_t>(index)]);
    return S_OK;
  }
  ::HRESULT STDMETHODCALLTYPE get_Count(LONG* value) override {
    *value = static_cast<LONG>(current->recorder_ids.size());
    return S_OK;
  }
  FAKE_STUB(get_IsSupportedEnvironment, VARIANT_BOOL*)

 protected:
  void* Cast(REFIID iid) override {
    return ::IsEqualIID(iid, ids::kIidDiscMaster2) ||
                   ::IsEqualIID(iid, IID_IDispatch)
               ? this
               : nullptr;
  }
  void* Unknown() override { return this; }
};

class FakeRecorder : public Fake<::IDiscRecorder2, ::IDiscRecorder2Ex> {
 public:
  FAKE_DISPATCH_STUBS
  // IDiscRecorder2.
  FAKE_STUB(EjectMedia)
  FAKE_STUB(CloseTray)
  FAKE_STUB(AcquireExclusiveAccess, VARIANT_BOOL, BSTR)
  FAKE_STUB(ReleaseExclusiveAccess)
  ::HRESULT STDMETHODCALLTYPE DisableMcn() override {
    Record("DisableMcn");
    return S_OK;
  }
  ::HRESULT STDMETHODCALLTYPE EnableMcn() override {
    Record("EnableMcn");
    return S_OK;
  }
  ::HRESULT STDMETHODCALLTYPE InitializeDiscRecorder(BSTR id) override {
    Record("InitializeDiscRecorder " + Text(id));
    return S_OK;
  }
  FAKE_STUB(get_ActiveDiscRecorder, BSTR*)
  ::HRESULT STDMETHODCALLTYPE get_VendorId(BSTR* value) override {
    *value = Copy(current->vendor);
    return S_OK;
  }
  ::HRESULT STDMETHODCALLTYPE get_ProductId(BSTR* value) override {
    *value = Copy(current->product);
    return S_OK;
  }
  FAKE_STUB(get_ProductRevision, BSTR*)
  FAKE_STUB(get_VolumeName, BSTR*)
  ::HRESULT STDMETHODCALLTYPE get_VolumePathNames(SAFEARRAY** value) override {
    *value = VariantArray(current->volume_paths.size(),
                          [](std::size_t i, VARIANT* path) {
                            path->vt = VT_BSTR;
                            path->bstrVal = Copy(current->volume_paths[i]);
                          });
    return S_OK;
  }
  FAKE_STUB(get_DeviceCanLoadMedia, VARIANT_BOOL*)
  FAKE_STUB(get_LegacyDeviceNumber, LONG*)
  ::HRESULT STDMETHODCALLTYPE
  get_SupportedFeaturePages(SAFEARRAY** value) override {
    *value = VariantArray(current->feature_pages.size(),
                          [](std::size_t i, VARIANT* page) {
                            page->vt = VT_I4;
                            page->lVal = current->feature_pages[i];
                          });
    return S_OK;
  }
  FAKE_STUB(get_CurrentFeaturePages, SAFEARRAY**)
  FAKE_STUB(get_SupportedProfiles, SAFEARRAY**)
  FAKE_STUB(get_CurrentProfiles, SAFEARRAY**)
  FAKE_STUB(get_SupportedModePages, SAFEARRAY**)
  FAKE_STUB(get_ExclusiveAccessOwner, BSTR*)

  // IDiscRecorder2Ex.
  FAKE_STUB(SendCommandNoData, BYTE*, ULONG, BYTE*, ULONG)
  FAKE_STUB(SendCommandSendDataToDevice, BYTE*, ULONG, BYTE*, ULONG, BYTE*,
            ULONG)
  FAKE_STUB(SendCommandGetDataFromDevice, BYTE*, ULONG, BYTE*, ULONG, BYTE*,
            ULONG, ULONG*)
  FAKE_STUB(ReadDvdStructure, ULONG, ULONG, ULONG, ULONG, BYTE**, ULONG*)
  FAKE_STUB(SendDvdStructure, ULONG, BYTE*, ULONG)
  FAKE_STUB(GetAdapterDescriptor, BYTE**, ULONG*)
  FAKE_STUB(GetDeviceDescriptor, BYTE**, ULONG*)
  FAKE_STUB(GetDiscInformation, BYTE**, ULONG*)
  FAKE_STUB(GetTrackInformation, ULONG, IMAPI_READ_TRACK_ADDRESS_TYPE, BYTE**,
            ULONG*)
  // A descriptor whose byte 4 carries the feature's low bits: 0x2F gives
  // 0x0A (dual layer and DVD-RW).
  ::HRESULT STDMETHODCALLTYPE GetFeaturePage(IMAPI_FEATURE_PAGE_TYPE feature,
                                             BOOLEAN current_only, BYTE** data,
                                             ULONG* size) override {
    Record("GetFeaturePage " + std::to_string(feature) + " " +
           std::to_string(current_only));
    *size = 8;
    *data = static_cast<BYTE*>(::CoTaskMemAlloc(*size));
    for (ULONG i = 0; i < *size; ++i) (*data)[i] = 0;
    (*data)[1] = static_cast<BYTE>(feature);
    (*data)[4] = static_cast<BYTE>(feature & 0x0A);
    return S_OK;
  }
  FAKE_STUB(GetModePage, IMAPI_MODE_PAGE_TYPE, IMAPI_MODE_PAGE_REQUEST_TYPE,
            BYTE**, ULONG*)
  FAKE_STUB(SetModePage, IMAPI_MODE_PAGE_REQUEST_TYPE, BYTE*, ULONG)
  FAKE_STUB(GetSupportedFeaturePages, BOOLEAN, IMAPI_FEATURE_PAGE_TYPE**,
            ULONG*)
  FAKE_STUB(GetSupportedProfiles, BOOLEAN, IMAPI_PROFILE_TYPE**, ULONG*)
  FAKE_STUB(GetSupportedModePages, IMAPI_MODE_PAGE_REQUEST_TYPE,
            IMAPI_MODE_PAGE_TYPE**, ULONG*)
  FAKE_STUB(GetByteAlignmentMask, ULONG*)
  FAKE_STUB(GetMaximumNonPageAlignedTransferSize, ULONG*)
  FAKE_STUB(GetMaximumPageAlignedTransferSize, ULONG*)

 protected:
  void* Cast(REFIID iid) override {
    if (::IsEqualIID(iid, ids::kIidDiscRecorder2) ||
        ::IsEqualIID(iid, IID_IDispatch)) {
      return static_cast<::IDiscRecorder2*>(this);
    }
    if (::IsEqualIID(iid, ids::kIidDiscRecorder2Ex)) {
      return static_cast<::IDiscRecorder2Ex*>(this);
    }
    return nullptr;
  }
  void* Unknown() override { return static_cast<::IDiscRecorder2*>(this); }
};

class FakeEventArgs : public Fake<::IDiscFormat2DataEventArgs> {
 public:
  explicit FakeEventArgs(const FakeWriteEvent& event) : event_(event) {}

  FAKE_DISPATCH_STUBS
  ::HRESULT STDMETHODCALLTYPE get_StartLba(LONG* value) override {
    return Put(0, value);
  }
  ::HRESULT STDMETHODCALLTYPE get_SectorCount(LONG* value) override {
    return Put(1000, value);
  }
  ::HRESULT STDMETHODCALLTYPE get_LastReadLba(LONG* value) override {
    return Put(10, value);
  }
  ::HRESULT STDMETHODCALLTYPE get_LastWrittenLba(LONG* value) override {
    return Put(9, value);
  }
  ::HRESULT STDMETHODCALLTYPE get_TotalSystemBuffer(LONG* value) override {
    return Put(1 << 20, value);
  }
  ::HRESULT STDMETHODCALLTYPE get_UsedSystemBuffer(LONG* value) override {
    return Put(1 << 19, value);
  }
  ::HRESULT STDMETHODCALLTYPE get_FreeSystemBuffer(LONG* value) override {
    return Put(1 << 19, value);
  }
  ::HRESULT STDMETHODCALLTYPE get_ElapsedTime(LONG* value) override {
    return Put(event_.elapsed, value);
  }
  ::HRESULT STDMETHODCALLTYPE get_RemainingTime(LONG* value) override {
    return Put(event_.total - event_.elapsed, value);
  }
  ::HRESULT STDMETHODCALLTYPE get_TotalTime(LONG* value) override {
    return Put(event_.total, value);
  }
  ::HRESULT STDMETHODCALLTYPE
  get_CurrentAction(IMAPI_FORMAT2_DATA_WRITE_ACTION* value) override {
    *value = event_.action;
    return S_OK;
  }

 protected:
  void* Cast(REFIID iid) override {
    return ::IsEqualIID(iid, ids::kIidDiscFormat2DataEventArgs) ||
                   ::IsEqualIID(iid, ids::kIidWriteEngine2EventArgs) ||
                   ::IsEqualIID(iid, IID_IDispatch)
               ? this
               : nullptr;
  }
  void* Unknown() override { return this; }

 private:
  static ::HRESULT Put(LONG number, LONG* value) {
    *value = number;
    return S_OK;
  }
  const FakeWriteEvent event_;
};

// The parts the data writer and the eraser share.
#define FAKE_FORMAT2_COMMON                                                    \
  FAKE_DISPATCH_STUBS                                                          \
  ::HRESULT STDMETHODCALLTYPE IsRecorderSupported(                             \
      IDiscRecorder2* recorder, VARIANT_BOOL* value) override {                \
    Record(std::string("IsRecorderSupported ") +                               \
           (recorder == nullptr ? "null" : "recorder"));                       \
    *value = recorder == nullptr ? VARIANT_FALSE : VARIANT_TRUE;               \
    return S_OK;                                                               \
  }                                                                            \
  FAKE_STUB(IsCurrentMediaSupported, IDiscRecorder2*, VARIANT_BOOL*)           \
  FAKE_STUB(get_MediaPhysicallyBlank, VARIANT_BOOL*)                           \
  ::HRESULT STDMETHODCALLTYPE get_MediaHeuristicallyBlank(VARIANT_BOOL* value) \
      override {                                                               \
    *value = current->blank ? VARIANT_TRUE : VARIANT_FALSE;                    \
    return S_OK;                                                               \
  }                                                                            \
  ::HRESULT STDMETHODCALLTYPE get_SupportedMediaTypes(SAFEARRAY** value)       \
      override {                                                               \
    *value = VariantArray(2, [](std::size_t i, VARIANT* type) {                \
      type->vt = VT_I4;                                                        \
      type->lVal =                                                             \
          i == 0 ? IMAPI_MEDIA_TYPE_DVDPLUSR : IMAPI_MEDIA_TYPE_DVDPLUSRW;     \
    });                                                                        \
    return S_OK;                                                               \
  }                                                                            \
  ::HRESULT STDMETHODCALLTYPE put_Recorder(IDiscRecorder2* value) override {   \
    Record(std::string("put_Recorder ") +                                      \
           (value == nullptr ? "null" : "recorder"));                          \
    recorder_ = ComPtr<IDiscRecorder2>::Share(value);                          \
    return S_OK;                                                               \
  }                                                                            \
  FAKE_STUB(get_Recorder, IDiscRecorder2**)                                    \
  ::HRESULT STDMETHODCALLTYPE get_CurrentPhysicalMediaType(                    \
      IMAPI_MEDIA_PHYSICAL_TYPE* value) override {                             \
    *value = current->media_type;                                              \
    return S_OK;                                                               \
  }                                                                            \
  ::HRESULT STDMETHODCALLTYPE put_ClientName(BSTR value) override {            \
    Record("put_ClientName " + Text(value));                                   \
    return S_OK;                                                               \
  }                                                                            \
  FAKE_STUB(get_ClientName, BSTR*)

class FakeDataWriter : public EventSource<::IDiscFormat2Data> {
 public:
  FakeDataWriter() : EventSource(ids::kIidDDiscFormat2DataEvents) {}

  FAKE_FORMAT2_COMMON
  FAKE_STUB(put_BufferUnderrunFreeDisabled, VARIANT_BOOL)
  FAKE_STUB(get_BufferUnderrunFreeDisabled, VARIANT_BOOL*)
  FAKE_STUB(put_PostgapAlreadyInImage, VARIANT_BOOL)
  FAKE_STUB(get_PostgapAlreadyInImage, VARIANT_BOOL*)
  ::HRESULT STDMETHODCALLTYPE
  get_CurrentMediaStatus(IMAPI_FORMAT2_DATA_MEDIA_STATE* value) override {
    *value = static_cast<IMAPI_FORMAT2_DATA_MEDIA_STATE>(
        current->blank ? 0x2 : 0x4 | 0x1000);
    return S_OK;
  }
  ::HRESULT STDMETHODCALLTYPE
  get_WriteProtectStatus(IMAPI_MEDIA_WRITE_PROTECT_STATE* value) override {
    Record("get_WriteProtectStatus");
    *value = static_cast<IMAPI_MEDIA_WRITE_PROTECT_STATE>(0);
    return S_OK;
  }
  FAKE_STUB(get_TotalSectorsOnMedia, LONG*)
  ::HRESULT STDMETHODCALLTYPE get_FreeSectorsOnMedia(LONG* value) override {
    *value = current->free_sectors;
    return S_OK;
  }
  FAKE_STUB(get_NextWritableAddress, LONG*)
  FAKE_STUB(get_StartAddressOfPreviousSession, LONG*)
  FAKE_STUB(get_LastWrittenAddressOfPreviousSession, LONG*)
  FAKE_STUB(put_ForceMediaToBeClosed, VARIANT_BOOL)
  FAKE_STUB(get_ForceMediaToBeClosed, VARIANT_BOOL*)
  FAKE_STUB(put_DisableConsumerDvdCompatibilityMode, VARIANT_BOOL)
  FAKE_STUB(get_DisableConsumerDvdCompatibilityMode, VARIANT_BOOL*)
  FAKE_STUB(get_RequestedWriteSpeed, LONG*)
  FAKE_STUB(get_RequestedRotationTypeIsPureCAV, VARIANT_BOOL*)
  FAKE_STUB(get_CurrentWriteSpeed, LONG*)
  FAKE_STUB(get_CurrentRotationTypeIsPureCAV, VARIANT_BOOL*)
  FAKE_STUB(get_SupportedWriteSpeeds, SAFEARRAY**)
  FAKE_STUB(get_SupportedWriteSpeedDescriptors, SAFEARRAY**)
  FAKE_STUB(put_ForceOverwrite, VARIANT_BOOL)
  FAKE_STUB(get_ForceOverwrite, VARIANT_BOOL*)
  FAKE_STUB(get_MultisessionInterfaces, SAFEARRAY**)

  // Reads the whole stream, then delivers the scripted events to every
  // advised sink. A CancelWrite from a sink ends the write.
  ::HRESULT STDMETHODCALLTYPE Write(IStream* data) override {
    if (data == nullptr) return E_POINTER;
    char buffer[4096];
    ULONG read = 0;
    std::string bytes;
    while (SUCCEEDED(data->Read(buffer, sizeof buffer, &read)) && read > 0) {
      bytes.append(buffer, read);
    }
    Record("Write " + std::to_string(bytes.size()));
    current->written = bytes;
    for (const FakeWriteEvent& event : current->write_events) {
      const auto args = ComPtr<FakeEventArgs>::Adopt(new FakeEventArgs(event));
      IDispatch* source = event.foreign_source
                              ? static_cast<IDispatch*>(args.get())
                              : static_cast<::IDiscFormat2Data*>(this);
      for (IDispatch* sink : sinks()) {
        if (event.through_vtable) {
          ComPtr<::DDiscFormat2DataEvents> events;
          ComPtr<IDispatch>::Share(sink).As(ids::kIidDDiscFormat2DataEvents,
                                            &events);
          if (events) events->Update(source, args.get());
        } else {
          InvokeUpdate(
              sink, {DispatchArgument(source), DispatchArgument(args.get())});
        }
      }
      if (cancelled_) return kCancelled;
    }
    return S_OK;
  }
  ::HRESULT STDMETHODCALLTYPE CancelWrite() override {
    Record("CancelWrite");
    cancelled_ = true;
    return S_OK;
  }
  FAKE_STUB(SetWriteSpeed, LONG, VARIANT_BOOL)

 protected:
  void* Cast(REFIID iid) override {
    return CastTo(iid, ids::kIidDiscFormat2Data) != nullptr
               ? CastTo(iid, ids::kIidDiscFormat2Data)
               : CastTo(iid, ids::kIidDiscFormat2);
  }

 private:
  static constexpr ::HRESULT kCancelled = static_cast<::HRESULT>(0xC0AA0002);
  ComPtr<IDiscRecorder2> recorder_;
  bool cancelled_ = false;
};

class FakeEraser : public EventSource<::IDiscFormat2Erase> {
 public:
  FakeEraser() : EventSource(ids::kIidDDiscFormat2EraseEvents) {}

  FAKE_FORMAT2_COMMON
  ::HRESULT STDMETHODCALLTYPE put_FullErase(VARIANT_BOOL value) override {
    Record(std::string("put_FullErase ") +
           (value == VARIANT_TRUE ? "true" : "false"));
    return S_OK;
  }
  FAKE_STUB(get_FullErase, VARIANT_BOOL*)
  ::HRESULT STDMETHODCALLTYPE EraseMedia() override {
    Record("EraseMedia");
    for (const auto& [elapsed, expected] : current->erase_events) {
      for (IDispatch* sink : sinks()) {
        InvokeUpdate(sink,
                     {DispatchArgument(static_cast<::IDiscFormat2Erase*>(this)),
                      LongArgument(elapsed), LongArgument(expected)});
      }
    }
    return S_OK;
  }

 protected:
  void* Cast(REFIID iid) override {
    return CastTo(iid, ids::kIidDiscFormat2Erase) != nullptr
               ? CastTo(iid, ids::kIidDiscFormat2Erase)
               : CastTo(iid, ids::kIidDiscFormat2);
  }

 private:
  ComPtr<IDiscRecorder2> recorder_;
};

// Makes one kind of fake for CoCreateInstance. It lives as long as the
// registration and is not counted among the fakes.
class Factory : public IClassFactory {
 public:
  explicit Factory(std::function<IUnknown*()> make) : make_(std::move(make)) {}
  virtual ~Factory() = default;

  ::HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid,
                                             void** object) override {
    if (!::IsEqualIID(iid, IID_IUnknown) &&
        !::IsEqualIID(iid, IID_IClassFactory)) {
      *object = nullptr;
      return E_NOINTERFACE;
    }
    *object = this;
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = --references_;
    if (left == 0) delete this;
    return left;
  }
  ::HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid,
                                             void** object) override {
    *object = nullptr;
    if (outer != nullptr) return CLASS_E_NOAGGREGATION;
    IUnknown* made = make_();
    const ::HRESULT hr = made->QueryInterface(iid, object);
    made->Release();
    return hr;
  }
  ::HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }

 private:
  std::function<IUnknown*()> make_;
  std::atomic<ULONG> references_{1};
};

}  // namespace

FakeImapi2::FakeImapi2() {
  current = &state_;
  const std::pair<CLSID, std::function<IUnknown*()>> classes[] = {
      {ids::kClsidMsftDiscMaster2,
       [] { return static_cast<IUnknown*>(new FakeMaster); }},
      {ids::kClsidMsftDiscRecorder2,
       [] {
         return static_cast<IUnknown*>(
             static_cast<::IDiscRecorder2*>(new FakeRecorder));
       }},
      {ids::kClsidMsftDiscFormat2Data,
       [] {
         return static_cast<IUnknown*>(
             static_cast<::IDiscFormat2Data*>(new FakeDataWriter));
       }},
      {ids::kClsidMsftDiscFormat2Erase,
       [] {
         return static_cast<IUnknown*>(
             static_cast<::IDiscFormat2Erase*>(new FakeEraser));
       }},
  };
  registered_ = true;
  for (const auto& [clsid, make] : classes) {
    auto factory = ComPtr<Factory>::Adopt(new Factory(make));
    DWORD cookie = 0;
    if (FAILED(::CoRegisterClassObject(clsid, factory.get(),
                                       CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE,
                                       &cookie))) {
      registered_ = false;
      continue;
    }
    cookies_.push_back(cookie);
  }
}

FakeImapi2::~FakeImapi2() {
  for (DWORD cookie : cookies_) ::CoRevokeClassObject(cookie);
  current = nullptr;
}

bool FakeImapi2::Called(const std::string& call) const {
  return std::find(state_.calls.begin(), state_.calls.end(), call) !=
         state_.calls.end();
}

}  // namespace tessaline::testing
