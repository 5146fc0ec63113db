// The disc services on Windows: IMAPI2 through COM. Each platform object
// wraps one COM interface pointer and passes calls through; results come
// back as the HRESULTs IMAPI2 gives. BSTRs, SAFEARRAYs and buffers that
// IMAPI2 hands out are freed before a call returns, and every COM reference
// is released by the wrapper that holds it.
//
// The progress sinks are plain C++ objects (DDiscFormat2DataEvents and
// DDiscFormat2EraseEvents of platform/disc.h); Advise wraps one in a COM
// object that IMAPI2 can call, through IDispatch::Invoke or the event
// interface's vtable, and connects that to the writer's or eraser's
// connection point.
#include <atomic>
#include <cwchar>
#include <exception>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/disc.h"
#include "platform/windows/imapi2_interfaces.h"
#include "platform/windows/win32.h"
#include "platform/windows/windows_backends.h"

namespace tessaline::platform::windows {
namespace {

namespace ids = imapi2;

// Inside a class derived from an IMAPI2 event interface, the interface's
// plain name means the COM one; these name the library's own.
using DataEventsCallee = ::tessaline::platform::DDiscFormat2DataEvents;
using EraseEventsCallee = ::tessaline::platform::DDiscFormat2EraseEvents;

// Calls `each` with every element of a one-dimensional SAFEARRAY, as a
// VARIANT converted to `type`. IMAPI2's arrays hold VARIANTs; arrays of the
// plain types are read as well.
template <typename Each>
::HRESULT ForEachElement(SAFEARRAY* array, VARTYPE type, Each each) {
  if (array == nullptr) return S_OK;
  if (::SafeArrayGetDim(array) != 1) return E_UNEXPECTED;
  LONG lower = 0;
  LONG upper = -1;
  VARTYPE element = VT_EMPTY;
  ::HRESULT hr = ::SafeArrayGetLBound(array, 1, &lower);
  if (SUCCEEDED(hr)) hr = ::SafeArrayGetUBound(array, 1, &upper);
  if (SUCCEEDED(hr)) hr = ::SafeArrayGetVartype(array, &element);
  for (LONG i = lower; SUCCEEDED(hr) && i <= upper; ++i) {
    VARIANT value;
    ::VariantInit(&value);
    switch (element) {
      case VT_VARIANT:
        hr = ::SafeArrayGetElement(array, &i, &value);
        break;
      case VT_BSTR:
        hr = ::SafeArrayGetElement(array, &i, &value.bstrVal);
        if (SUCCEEDED(hr)) value.vt = VT_BSTR;
        break;
      case VT_I4:
      case VT_UI4:
      case VT_INT:
      case VT_UINT:
        hr = ::SafeArrayGetElement(array, &i, &value.lVal);
        if (SUCCEEDED(hr)) value.vt = element;
        break;
      default:
        hr = DISP_E_TYPEMISMATCH;
    }
    VARIANT converted;
    ::VariantInit(&converted);
    if (SUCCEEDED(hr)) hr = ::VariantChangeType(&converted, &value, 0, type);
    if (SUCCEEDED(hr)) each(converted);
    ::VariantClear(&converted);
    ::VariantClear(&value);
  }
  return hr;
}

template <typename Interface>
HRESULT Create(const CLSID& clsid, const IID& iid, ComPtr<Interface>* out) {
  return ::CoCreateInstance(clsid, nullptr, CLSCTX_ALL, iid,
                            reinterpret_cast<void**>(out->Receive()));
}

// Reads a BSTR property into `*text`.
template <typename Getter>
HRESULT ReadText(Getter getter, std::wstring* text) {
  Bstr value;
  const ::HRESULT hr = getter(value.Receive());
  if (SUCCEEDED(hr)) *text = value.str();
  return hr;
}

bool IsTrue(VARIANT_BOOL value) { return value != VARIANT_FALSE; }

// ---- streams ------------------------------------------------------------

class WinStream final : public IStream {
 public:
  explicit WinStream(ComPtr<::IStream> stream) : stream_(std::move(stream)) {}

  HRESULT Stat(std::uint64_t* size) override {
    STATSTG stat{};
    const ::HRESULT hr = stream_->Stat(&stat, STATFLAG_NONAME);
    if (SUCCEEDED(hr)) *size = stat.cbSize.QuadPart;
    return hr;
  }

  HRESULT Read(void* buffer, std::uint32_t size, std::uint32_t* read) override {
    ULONG got = 0;
    const ::HRESULT hr = stream_->Read(buffer, size, &got);
    *read = got;
    return hr;
  }

  ::IStream* native() const { return stream_.get(); }

 private:
  ComPtr<::IStream> stream_;
};

// IMAPI2 reads and seeks the streams it is given itself; only streams that
// came from these services can be handed to it.
::IStream* NativeStream(IStream* stream) {
  auto* ours = dynamic_cast<WinStream*>(stream);
  return ours == nullptr ? nullptr : ours->native();
}

// ---- recorders -------------------------------------------------------------

class WinRecorderEx final : public IDiscRecorder2Ex {
 public:
  explicit WinRecorderEx(ComPtr<::IDiscRecorder2Ex> recorder)
      : recorder_(std::move(recorder)) {}

  HRESULT GetFeaturePage(std::uint32_t feature, bool current_only,
                         std::vector<std::uint8_t>* descriptor) override {
    BYTE* data = nullptr;
    ULONG size = 0;
    const ::HRESULT hr =
        recorder_->GetFeaturePage(static_cast<IMAPI_FEATURE_PAGE_TYPE>(feature),
                                  current_only ? TRUE : FALSE, &data, &size);
    if (SUCCEEDED(hr)) {
      descriptor->assign(data, data == nullptr ? data : data + size);
    }
    ::CoTaskMemFree(data);
    return hr;
  }

 private:
  ComPtr<::IDiscRecorder2Ex> recorder_;
};

class WinRecorder final : public IDiscRecorder2 {
 public:
  explicit WinRecorder(ComPtr<::IDiscRecorder2> recorder)
      : recorder_(std::move(recorder)) {}

  HRESULT InitializeDiscRecorder(const std::wstring& unique_id) override {
    Bstr id(unique_id);
    if (!id.valid()) return E_OUTOFMEMORY;
    return recorder_->InitializeDiscRecorder(id.get());
  }

  HRESULT GetVendorId(std::wstring* vendor) override {
    return ReadText([&](BSTR* out) { return recorder_->get_VendorId(out); },
                    vendor);
  }

  HRESULT GetProductId(std::wstring* product) override {
    return ReadText([&](BSTR* out) { return recorder_->get_ProductId(out); },
                    product);
  }

  HRESULT GetVolumePathNames(std::vector<std::wstring>* paths) override {
    SafeArray names;
    ::HRESULT hr = recorder_->get_VolumePathNames(names.Receive());
    if (FAILED(hr)) return hr;
    std::vector<std::wstring> found;
    hr = ForEachElement(names.get(), VT_BSTR, [&](const VARIANT& name) {
      found.emplace_back(name.bstrVal, ::SysStringLen(name.bstrVal));
    });
    if (SUCCEEDED(hr)) *paths = std::move(found);
    return hr;
  }

  HRESULT GetSupportedFeaturePages(
      std::vector<std::uint32_t>* features) override {
    SafeArray pages;
    ::HRESULT hr = recorder_->get_SupportedFeaturePages(pages.Receive());
    if (FAILED(hr)) return hr;
    std::vector<std::uint32_t> found;
    hr = ForEachElement(pages.get(), VT_I4, [&](const VARIANT& page) {
      found.push_back(static_cast<std::uint32_t>(page.lVal));
    });
    if (SUCCEEDED(hr)) *features = std::move(found);
    return hr;
  }

  HRESULT DisableMcn() override { return recorder_->DisableMcn(); }
  HRESULT EnableMcn() override { return recorder_->EnableMcn(); }

  HRESULT QueryRecorderEx(std::shared_ptr<IDiscRecorder2Ex>* ex) override {
    ComPtr<::IDiscRecorder2Ex> native;
    const ::HRESULT hr = recorder_.As(ids::kIidDiscRecorder2Ex, &native);
    if (SUCCEEDED(hr)) *ex = std::make_shared<WinRecorderEx>(native);
    return hr;
  }

  ::IDiscRecorder2* native() const { return recorder_.get(); }

 private:
  ComPtr<::IDiscRecorder2> recorder_;
};

::IDiscRecorder2* NativeRecorder(IDiscRecorder2* recorder) {
  auto* ours = dynamic_cast<WinRecorder*>(recorder);
  return ours == nullptr ? nullptr : ours->native();
}

class WinDiscMaster final : public IDiscMaster2 {
 public:
  explicit WinDiscMaster(ComPtr<::IDiscMaster2> master)
      : master_(std::move(master)) {}

  HRESULT GetCount(std::int32_t* count) override {
    LONG value = 0;
    const ::HRESULT hr = master_->get_Count(&value);
    if (SUCCEEDED(hr)) *count = value;
    return hr;
  }

  HRESULT GetItem(std::int32_t index, std::wstring* unique_id) override {
    return ReadText([&](BSTR* out) { return master_->get_Item(index, out); },
                    unique_id);
  }

 private:
  ComPtr<::IDiscMaster2> master_;
};

// ---- event sinks as COM objects -------------------------------------------

// The IUnknown and IDispatch part of a sink object for the event interface
// `Interface` (identifier `events`). IMAPI2 may call the sink through
// IDispatch::Invoke with dispatch identifier 0x200 or through the
// interface's Update slot; both reach the same place. Reference counting
// is atomic although the sink lives in one apartment: it costs nothing and
// survives an IMAPI2 that calls from its own threads.
template <typename Interface>
class SinkObject : public Interface {
 public:
  explicit SinkObject(const IID& events) : events_(events) {}
  virtual ~SinkObject() = default;
  SinkObject(const SinkObject&) = delete;
  SinkObject& operator=(const SinkObject&) = delete;

  ::HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid,
                                             void** object) override {
    if (object == nullptr) return E_POINTER;
    if (::IsEqualIID(iid, IID_IUnknown) || ::IsEqualIID(iid, IID_IDispatch) ||
        ::IsEqualIID(iid, events_)) {
      *object = static_cast<Interface*>(this);
      this->AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }

  ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }

  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = --references_;
    if (left == 0) delete this;
    return left;
  }

  ::HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    if (count == nullptr) return E_POINTER;
    ComPtr<ITypeInfo> info;
    *count = SUCCEEDED(LoadTypeInfo(&info)) ? 1 : 0;
    return S_OK;
  }

  ::HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID,
                                          ITypeInfo** info) override {
    if (info == nullptr) return E_POINTER;
    *info = nullptr;
    if (index != 0) return DISP_E_BADINDEX;
    ComPtr<ITypeInfo> loaded;
    const ::HRESULT hr = LoadTypeInfo(&loaded);
    if (SUCCEEDED(hr)) {
      *info = loaded.get();
      (*info)->AddRef();
    }
    return hr;
  }

  // "Update" is the one name there is; the type library is not needed to
  // know it.
  ::HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count,
                                            LCID, DISPID* dispids) override {
    if (names == nullptr || dispids == nullptr) return E_POINTER;
    ::HRESULT hr = S_OK;
    for (UINT i = 0; i < count; ++i) {
      dispids[i] = DISPID_UNKNOWN;
      hr = DISP_E_UNKNOWNNAME;
    }
    if (count >= 1 && _wcsicmp(names[0], L"Update") == 0) {
      dispids[0] = ids::kDispidUpdate;
      if (count == 1) hr = S_OK;
    }
    return hr;
  }

  ::HRESULT STDMETHODCALLTYPE Invoke(DISPID member, REFIID, LCID, WORD flags,
                                     DISPPARAMS* parameters, VARIANT* result,
                                     EXCEPINFO*, UINT* bad_argument) override {
    if (member != ids::kDispidUpdate) return DISP_E_MEMBERNOTFOUND;
    if ((flags & DISPATCH_METHOD) == 0) return DISP_E_MEMBERNOTFOUND;
    if (parameters == nullptr) return E_POINTER;
    if (result != nullptr) ::VariantInit(result);
    return InvokeUpdate(*parameters, bad_argument);
  }

 protected:
  // Argument `index` counted from the first in the event's signature
  // (DISPPARAMS keeps them last first), converted to `type` in `*value`.
  static ::HRESULT Argument(const DISPPARAMS& parameters, UINT index,
                            VARTYPE type, VARIANT* value, UINT* bad_argument) {
    if (parameters.cNamedArgs != 0) return DISP_E_NONAMEDARGS;
    if (index >= parameters.cArgs) return DISP_E_BADPARAMCOUNT;
    const UINT position = parameters.cArgs - 1 - index;
    ::VariantInit(value);
    const ::HRESULT hr =
        ::VariantChangeType(value, &parameters.rgvarg[position], 0, type);
    if (FAILED(hr) && bad_argument != nullptr) *bad_argument = position;
    return hr;
  }

  virtual ::HRESULT InvokeUpdate(const DISPPARAMS& parameters,
                                 UINT* bad_argument) = 0;

 private:
  ::HRESULT LoadTypeInfo(ComPtr<ITypeInfo>* info) {
    ComPtr<ITypeLib> library;
    ::HRESULT hr = ::LoadRegTypeLib(ids::kLibImapi2, 1, 0, LOCALE_NEUTRAL,
                                    library.Receive());
    if (SUCCEEDED(hr))
      hr = library->GetTypeInfoOfGuid(events_, info->Receive());
    return hr;
  }

  const IID events_;
  std::atomic<ULONG> references_{1};
};

class WinDataWriter;
class WinEraser;

class WinDataEventArgs final : public IDiscFormat2DataEventArgs {
 public:
  explicit WinDataEventArgs(ComPtr<::IDiscFormat2DataEventArgs> args)
      : args_(std::move(args)) {}

  HRESULT GetElapsedTime(std::int32_t* seconds) override {
    return Get(&::IDiscFormat2DataEventArgs::get_ElapsedTime, seconds);
  }
  HRESULT GetRemainingTime(std::int32_t* seconds) override {
    return Get(&::IDiscFormat2DataEventArgs::get_RemainingTime, seconds);
  }
  HRESULT GetTotalTime(std::int32_t* seconds) override {
    return Get(&::IDiscFormat2DataEventArgs::get_TotalTime, seconds);
  }
  HRESULT GetCurrentAction(std::int32_t* action) override {
    IMAPI_FORMAT2_DATA_WRITE_ACTION value{};
    const ::HRESULT hr = args_->get_CurrentAction(&value);
    if (SUCCEEDED(hr)) *action = static_cast<std::int32_t>(value);
    return hr;
  }
  HRESULT GetStartLba(std::int32_t* lba) override {
    return Get(&::IDiscFormat2DataEventArgs::get_StartLba, lba);
  }
  HRESULT GetSectorCount(std::int32_t* count) override {
    return Get(&::IDiscFormat2DataEventArgs::get_SectorCount, count);
  }
  HRESULT GetLastReadLba(std::int32_t* lba) override {
    return Get(&::IDiscFormat2DataEventArgs::get_LastReadLba, lba);
  }
  HRESULT GetLastWrittenLba(std::int32_t* lba) override {
    return Get(&::IDiscFormat2DataEventArgs::get_LastWrittenLba, lba);
  }
  HRESULT GetTotalSystemBuffer(std::int32_t* bytes) override {
    return Get(&::IDiscFormat2DataEventArgs::get_TotalSystemBuffer, bytes);
  }
  HRESULT GetUsedSystemBuffer(std::int32_t* bytes) override {
    return Get(&::IDiscFormat2DataEventArgs::get_UsedSystemBuffer, bytes);
  }
  HRESULT GetFreeSystemBuffer(std::int32_t* bytes) override {
    return Get(&::IDiscFormat2DataEventArgs::get_FreeSystemBuffer, bytes);
  }

 private:
  template <typename Getter>
  HRESULT Get(Getter getter, std::int32_t* out) {
    LONG value = 0;
    const ::HRESULT hr = (args_.get()->*getter)(&value);
    if (SUCCEEDED(hr)) *out = value;
    return hr;
  }

  ComPtr<::IDiscFormat2DataEventArgs> args_;
};

class DataEventsSink final : public SinkObject<::DDiscFormat2DataEvents> {
 public:
  explicit DataEventsSink(std::shared_ptr<DataEventsCallee> sink)
      : SinkObject(ids::kIidDDiscFormat2DataEvents), sink_(std::move(sink)) {}

  ::HRESULT STDMETHODCALLTYPE Update(IDispatch* object,
                                     IDispatch* progress) override;

 private:
  ::HRESULT InvokeUpdate(const DISPPARAMS& parameters,
                         UINT* bad_argument) override {
    VARIANT object;
    VARIANT progress;
    ::HRESULT hr = Argument(parameters, 0, VT_DISPATCH, &object, bad_argument);
    if (SUCCEEDED(hr)) {
      hr = Argument(parameters, 1, VT_DISPATCH, &progress, bad_argument);
      if (SUCCEEDED(hr)) {
        Update(object.pdispVal, progress.pdispVal);
        ::VariantClear(&progress);
      }
      ::VariantClear(&object);
    }
    return hr;
  }

  std::shared_ptr<DataEventsCallee> sink_;
};

class EraseEventsSink final : public SinkObject<::DDiscFormat2EraseEvents> {
 public:
  explicit EraseEventsSink(std::shared_ptr<EraseEventsCallee> sink)
      : SinkObject(ids::kIidDDiscFormat2EraseEvents), sink_(std::move(sink)) {}

  ::HRESULT STDMETHODCALLTYPE Update(IDispatch* object, LONG elapsed,
                                     LONG expected) override;

 private:
  ::HRESULT InvokeUpdate(const DISPPARAMS& parameters,
                         UINT* bad_argument) override {
    // All three are cleared on every path, also when the argument count
    // is wrong and none of them was filled.
    VARIANT object;
    VARIANT elapsed;
    VARIANT expected;
    ::VariantInit(&object);
    ::VariantInit(&elapsed);
    ::VariantInit(&expected);
    ::HRESULT hr = Argument(parameters, 0, VT_DISPATCH, &object, bad_argument);
    if (SUCCEEDED(hr)) {
      hr = Argument(parameters, 1, VT_I4, &elapsed, bad_argument);
    }
    if (SUCCEEDED(hr)) {
      hr = Argument(parameters, 2, VT_I4, &expected, bad_argument);
    }
    if (SUCCEEDED(hr)) Update(object.pdispVal, elapsed.lVal, expected.lVal);
    ::VariantClear(&expected);
    ::VariantClear(&elapsed);
    ::VariantClear(&object);
    return hr;
  }

  std::shared_ptr<EraseEventsCallee> sink_;
};

// A connection point of one event interface on one IMAPI2 object, found
// when the first sink is advised.
class Connection {
 public:
  explicit Connection(const IID& events) : events_(events) {}

  template <typename Native>
  HRESULT Advise(const ComPtr<Native>& source, IUnknown* sink,
                 std::uint32_t* cookie) {
    ::HRESULT hr = Find(source);
    DWORD value = 0;
    if (SUCCEEDED(hr)) hr = point_->Advise(sink, &value);
    if (SUCCEEDED(hr) && cookie != nullptr) *cookie = value;
    return hr;
  }

  template <typename Native>
  HRESULT Unadvise(const ComPtr<Native>& source, std::uint32_t cookie) {
    ::HRESULT hr = Find(source);
    if (SUCCEEDED(hr)) hr = point_->Unadvise(cookie);
    return hr;
  }

 private:
  template <typename Native>
  ::HRESULT Find(const ComPtr<Native>& source) {
    if (point_) return S_OK;
    ComPtr<IConnectionPointContainer> container;
    ::HRESULT hr = source.As(IID_IConnectionPointContainer, &container);
    if (SUCCEEDED(hr)) {
      hr = container->FindConnectionPoint(events_, point_.Receive());
    }
    return hr;
  }

  const IID events_;
  ComPtr<IConnectionPoint> point_;
};

// ---- writer and eraser -----------------------------------------------------

class WinDataWriter final : public IDiscFormat2Data {
 public:
  explicit WinDataWriter(ComPtr<::IDiscFormat2Data> writer)
      : writer_(std::move(writer)),
        connection_(ids::kIidDDiscFormat2DataEvents) {}

  HRESULT IsRecorderSupported(IDiscRecorder2* recorder,
                              bool* supported) override {
    ::IDiscRecorder2* native = NativeRecorder(recorder);
    if (native == nullptr) return E_INVALIDARG;
    VARIANT_BOOL answer = VARIANT_FALSE;
    const ::HRESULT hr = writer_->IsRecorderSupported(native, &answer);
    *supported = IsTrue(answer);
    return hr;
  }

  HRESULT PutRecorder(std::shared_ptr<IDiscRecorder2> recorder) override {
    if (!recorder) return writer_->put_Recorder(nullptr);
    ::IDiscRecorder2* native = NativeRecorder(recorder.get());
    if (native == nullptr) return E_INVALIDARG;
    return writer_->put_Recorder(native);
  }

  HRESULT PutClientName(const std::wstring& name) override {
    Bstr text(name);
    if (!text.valid()) return E_OUTOFMEMORY;
    return writer_->put_ClientName(text.get());
  }

  HRESULT GetSupportedMediaTypes(
      std::vector<IMAPI_MEDIA_PHYSICAL_TYPE>* types) override {
    SafeArray array;
    ::HRESULT hr = writer_->get_SupportedMediaTypes(array.Receive());
    if (FAILED(hr)) return hr;
    std::vector<IMAPI_MEDIA_PHYSICAL_TYPE> found;
    hr = ForEachElement(array.get(), VT_I4, [&](const VARIANT& type) {
      found.push_back(static_cast<IMAPI_MEDIA_PHYSICAL_TYPE>(type.lVal));
    });
    if (SUCCEEDED(hr)) *types = std::move(found);
    return hr;
  }

  HRESULT GetCurrentPhysicalMediaType(
      IMAPI_MEDIA_PHYSICAL_TYPE* type) override {
    return writer_->get_CurrentPhysicalMediaType(type);
  }

  HRESULT GetCurrentMediaStatus(std::uint32_t* state) override {
    IMAPI_FORMAT2_DATA_MEDIA_STATE value{};
    const ::HRESULT hr = writer_->get_CurrentMediaStatus(&value);
    if (SUCCEEDED(hr)) *state = static_cast<std::uint32_t>(value);
    return hr;
  }

  HRESULT GetMediaHeuristicallyBlank(bool* blank) override {
    VARIANT_BOOL answer = VARIANT_FALSE;
    const ::HRESULT hr = writer_->get_MediaHeuristicallyBlank(&answer);
    if (SUCCEEDED(hr)) *blank = IsTrue(answer);
    return hr;
  }

  HRESULT GetFreeSectorsOnMedia(std::int32_t* sectors) override {
    LONG value = 0;
    const ::HRESULT hr = writer_->get_FreeSectorsOnMedia(&value);
    if (SUCCEEDED(hr)) *sectors = value;
    return hr;
  }

  HRESULT Write(IStream* data) override {
    ::IStream* native = NativeStream(data);
    if (native == nullptr) return kE_IMAPI_DF2DATA_STREAM_NOT_SUPPORTED;
    return writer_->Write(native);
  }

  HRESULT CancelWrite() override { return writer_->CancelWrite(); }

  HRESULT GetWriteProtectStatus(std::uint32_t* state) override {
    IMAPI_MEDIA_WRITE_PROTECT_STATE value{};
    const ::HRESULT hr = writer_->get_WriteProtectStatus(&value);
    if (SUCCEEDED(hr)) *state = static_cast<std::uint32_t>(value);
    return hr;
  }

  HRESULT Advise(std::shared_ptr<DDiscFormat2DataEvents> sink,
                 std::uint32_t* cookie) override {
    if (!sink) return E_POINTER;
    // The connection point takes its own reference; this one goes at the
    // end of the call, so Unadvise destroys the sink object.
    const auto object =
        ComPtr<DataEventsSink>::Adopt(new DataEventsSink(std::move(sink)));
    return connection_.Advise(writer_, object.get(), cookie);
  }

  HRESULT Unadvise(std::uint32_t cookie) override {
    return connection_.Unadvise(writer_, cookie);
  }

 private:
  ComPtr<::IDiscFormat2Data> writer_;
  Connection connection_;
};

class WinEraser final : public IDiscFormat2Erase {
 public:
  explicit WinEraser(ComPtr<::IDiscFormat2Erase> eraser)
      : eraser_(std::move(eraser)),
        connection_(ids::kIidDDiscFormat2EraseEvents) {}

  HRESULT PutRecorder(std::shared_ptr<IDiscRecorder2> recorder) override {
    if (!recorder) return eraser_->put_Recorder(nullptr);
    ::IDiscRecorder2* native = NativeRecorder(recorder.get());
    if (native == nullptr) return E_INVALIDARG;
    return eraser_->put_Recorder(native);
  }

  HRESULT PutClientName(const std::wstring& name) override {
    Bstr text(name);
    if (!text.valid()) return E_OUTOFMEMORY;
    return eraser_->put_ClientName(text.get());
  }

  HRESULT GetCurrentPhysicalMediaType(
      IMAPI_MEDIA_PHYSICAL_TYPE* type) override {
    return eraser_->get_CurrentPhysicalMediaType(type);
  }

  HRESULT PutFullErase(bool full) override {
    return eraser_->put_FullErase(full ? VARIANT_TRUE : VARIANT_FALSE);
  }

  HRESULT EraseMedia() override { return eraser_->EraseMedia(); }

  HRESULT Advise(std::shared_ptr<DDiscFormat2EraseEvents> sink,
                 std::uint32_t* cookie) override {
    if (!sink) return E_POINTER;
    const auto object =
        ComPtr<EraseEventsSink>::Adopt(new EraseEventsSink(std::move(sink)));
    return connection_.Advise(eraser_, object.get(), cookie);
  }

  HRESULT Unadvise(std::uint32_t cookie) override {
    return connection_.Unadvise(eraser_, cookie);
  }

 private:
  ComPtr<::IDiscFormat2Erase> eraser_;
  Connection connection_;
};

// The event's source, as the sink sees it: the writer when it answers for
// IDiscFormat2Data, else nothing. Exceptions stop here: they must not cross
// into IMAPI2.
::HRESULT DataEventsSink::Update(IDispatch* object, IDispatch* progress) {
  try {
    ComPtr<::IDiscFormat2Data> writer;
    if (object != nullptr) {
      ComPtr<IDispatch>::Share(object).As(ids::kIidDiscFormat2Data, &writer);
    }
    ComPtr<::IDiscFormat2DataEventArgs> args;
    if (progress != nullptr) {
      ComPtr<IDispatch>::Share(progress).As(ids::kIidDiscFormat2DataEventArgs,
                                            &args);
    }
    std::unique_ptr<WinDataWriter> source;
    if (writer) source = std::make_unique<WinDataWriter>(writer);
    std::unique_ptr<WinDataEventArgs> arguments;
    if (args) arguments = std::make_unique<WinDataEventArgs>(args);
    return sink_->Update(source.get(), arguments.get());
  } catch (...) {
    return E_FAIL;
  }
}

::HRESULT EraseEventsSink::Update(IDispatch* object, LONG elapsed,
                                  LONG expected) {
  try {
    ComPtr<::IDiscFormat2Erase> eraser;
    if (object != nullptr) {
      ComPtr<IDispatch>::Share(object).As(ids::kIidDiscFormat2Erase, &eraser);
    }
    std::unique_ptr<WinEraser> source;
    if (eraser) source = std::make_unique<WinEraser>(eraser);
    return sink_->Update(source.get(), elapsed, expected);
  } catch (...) {
    return E_FAIL;
  }
}

// ---- file-system image -----------------------------------------------------

class WinDirectoryItem final : public IFsiDirectoryItem {
 public:
  explicit WinDirectoryItem(ComPtr<::IFsiDirectoryItem> item)
      : item_(std::move(item)) {}

  HRESULT AddTree(const std::wstring& source_directory,
                  bool include_base_directory) override {
    Bstr folder(source_directory);
    if (!folder.valid()) return E_OUTOFMEMORY;
    return item_->AddTree(
        folder.get(), include_base_directory ? VARIANT_TRUE : VARIANT_FALSE);
  }

 private:
  ComPtr<::IFsiDirectoryItem> item_;
};

class WinBootOptions final : public IBootOptions {
 public:
  explicit WinBootOptions(ComPtr<::IBootOptions> options)
      : options_(std::move(options)) {}

  HRESULT AssignBootImage(std::shared_ptr<IStream> image) override {
    ::IStream* native = NativeStream(image.get());
    if (native == nullptr) return E_INVALIDARG;
    return options_->AssignBootImage(native);
  }

  ::IBootOptions* native() const { return options_.get(); }

 private:
  ComPtr<::IBootOptions> options_;
};

class WinImageResult final : public IFileSystemImageResult {
 public:
  explicit WinImageResult(ComPtr<::IFileSystemImageResult> result)
      : result_(std::move(result)) {}

  HRESULT GetImageStream(std::shared_ptr<IStream>* stream) override {
    ComPtr<::IStream> native;
    const ::HRESULT hr = result_->get_ImageStream(native.Receive());
    if (SUCCEEDED(hr)) *stream = std::make_shared<WinStream>(native);
    return hr;
  }

  HRESULT GetTotalBlocks(std::int32_t* blocks) override {
    LONG value = 0;
    const ::HRESULT hr = result_->get_TotalBlocks(&value);
    if (SUCCEEDED(hr)) *blocks = value;
    return hr;
  }

 private:
  ComPtr<::IFileSystemImageResult> result_;
};

class WinFileSystemImage final : public IFileSystemImage {
 public:
  explicit WinFileSystemImage(ComPtr<::IFileSystemImage> image)
      : image_(std::move(image)) {}

  HRESULT PutFileSystemsToCreate(std::uint32_t file_systems) override {
    return image_->put_FileSystemsToCreate(
        static_cast<FsiFileSystems>(file_systems));
  }

  HRESULT GetFileSystemsToCreate(std::uint32_t* file_systems) override {
    FsiFileSystems value{};
    const ::HRESULT hr = image_->get_FileSystemsToCreate(&value);
    if (SUCCEEDED(hr)) *file_systems = static_cast<std::uint32_t>(value);
    return hr;
  }

  HRESULT GetRoot(std::shared_ptr<IFsiDirectoryItem>* root) override {
    ComPtr<::IFsiDirectoryItem> native;
    const ::HRESULT hr = image_->get_Root(native.Receive());
    if (SUCCEEDED(hr)) *root = std::make_shared<WinDirectoryItem>(native);
    return hr;
  }

  HRESULT PutBootImageOptions(std::shared_ptr<IBootOptions> options) override {
    auto* ours = dynamic_cast<WinBootOptions*>(options.get());
    if (ours == nullptr) return E_INVALIDARG;
    return image_->put_BootImageOptions(ours->native());
  }

  HRESULT GetFileCount(std::int32_t* count) override {
    return GetLong(&::IFileSystemImage::get_FileCount, count);
  }

  HRESULT GetDirectoryCount(std::int32_t* count) override {
    return GetLong(&::IFileSystemImage::get_DirectoryCount, count);
  }

  HRESULT PutVolumeName(const std::wstring& name) override {
    Bstr text(name);
    if (!text.valid()) return E_OUTOFMEMORY;
    return image_->put_VolumeName(text.get());
  }

  HRESULT PutFreeMediaBlocks(std::int32_t blocks) override {
    return image_->put_FreeMediaBlocks(blocks);
  }

  HRESULT CreateResultImage(
      std::shared_ptr<IFileSystemImageResult>* result) override {
    ComPtr<::IFileSystemImageResult> native;
    const ::HRESULT hr = image_->CreateResultImage(native.Receive());
    if (SUCCEEDED(hr)) *result = std::make_shared<WinImageResult>(native);
    return hr;
  }

 private:
  template <typename Getter>
  HRESULT GetLong(Getter getter, std::int32_t* out) {
    LONG value = 0;
    const ::HRESULT hr = (image_.get()->*getter)(&value);
    if (SUCCEEDED(hr)) *out = value;
    return hr;
  }

  ComPtr<::IFileSystemImage> image_;
};

// ---- the factory -----------------------------------------------------------

class WinDiscServices final : public DiscServices {
 public:
  HRESULT CreateDiscMaster(std::shared_ptr<IDiscMaster2>* out) override {
    return Make<WinDiscMaster, ::IDiscMaster2>(ids::kClsidMsftDiscMaster2,
                                               ids::kIidDiscMaster2, out);
  }
  HRESULT CreateRecorder(std::shared_ptr<IDiscRecorder2>* out) override {
    return Make<WinRecorder, ::IDiscRecorder2>(ids::kClsidMsftDiscRecorder2,
                                               ids::kIidDiscRecorder2, out);
  }
  HRESULT CreateDataWriter(std::shared_ptr<IDiscFormat2Data>* out) override {
    return Make<WinDataWriter, ::IDiscFormat2Data>(
        ids::kClsidMsftDiscFormat2Data, ids::kIidDiscFormat2Data, out);
  }
  HRESULT CreateEraser(std::shared_ptr<IDiscFormat2Erase>* out) override {
    return Make<WinEraser, ::IDiscFormat2Erase>(ids::kClsidMsftDiscFormat2Erase,
                                                ids::kIidDiscFormat2Erase, out);
  }
  HRESULT CreateFileSystemImage(
      std::shared_ptr<IFileSystemImage>* out) override {
    return Make<WinFileSystemImage, ::IFileSystemImage>(
        ids::kClsidMsftFileSystemImage, ids::kIidFileSystemImage, out);
  }
  HRESULT CreateBootOptions(std::shared_ptr<IBootOptions>* out) override {
    return Make<WinBootOptions, ::IBootOptions>(ids::kClsidBootOptions,
                                                ids::kIidBootOptions, out);
  }

  HRESULT CreateStreamOnFile(const std::wstring& path,
                             std::shared_ptr<IStream>* out) override {
    ComPtr<::IStream> native;
    const ::HRESULT hr = ::SHCreateStreamOnFileW(
        path.c_str(), STGM_READ | STGM_SHARE_DENY_WRITE, native.Receive());
    if (SUCCEEDED(hr)) *out = std::make_shared<WinStream>(native);
    return hr;
  }

 private:
  template <typename Wrapper, typename Native, typename Out>
  static HRESULT Make(const CLSID& clsid, const IID& iid,
                      std::shared_ptr<Out>* out) {
    ComPtr<Native> native;
    const ::HRESULT hr = Create(clsid, iid, &native);
    if (SUCCEEDED(hr)) *out = std::make_shared<Wrapper>(std::move(native));
    return hr;
  }
};

}  // namespace

std::shared_ptr<DiscServices> MakeDiscServices() {
  return std::make_shared<WinDiscServices>();
}

}  // namespace tessaline::platform::windows
