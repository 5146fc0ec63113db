#include "platform/windows/fake_imapi2_fixture.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstddef>
#include <cstring>
#include <filesystem>
#include <string>
#include <utility>

#include "platform/text.h"

namespace tessaline::testing {
namespace {

namespace ids = platform::windows::imapi2;
using Any = void (*)();

FakeImapi2State* current = nullptr;
// The folder the image's root was given, and whether as a folder of its
// own.
std::wstring added_tree;
bool added_base = false;

// <olectl.h>'s "no connection" and IMAPI2's "write cancelled".
constexpr ::HRESULT kNoConnection = static_cast<::HRESULT>(0x80040200);
constexpr ::HRESULT kCancelled = static_cast<::HRESULT>(0xC0AA0002);

void Record(std::string call) { current->calls.push_back(std::move(call)); }
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

// x64 Windows has one calling convention, and there the caller cleans the
// stack: one function can stand in every slot a fake leaves out, whatever
// the slot's arguments.
::HRESULT STDMETHODCALLTYPE NotImplemented() { return E_NOTIMPL; }

// The vtable slot of a virtual member function: the Itanium C++ ABI, which
// mingw-w64 follows, stores 1 + the slot's byte offset in a pointer to a
// virtual member.
template <typename Class, typename Function>
std::size_t Slot(Function Class::*member) {
  std::ptrdiff_t raw = 0;
  std::memcpy(&raw, &member, sizeof raw);
  return static_cast<std::size_t>(raw - 1) / sizeof(void*);
}

// A COM object as COM sees it: the vtable first. `also` hands out the
// interfaces another object serves, with a reference.
struct Object {
  const Any* vtable = nullptr;
  std::atomic<ULONG> references{1};
  std::vector<IID> iids;
  Object* (*also)(Object* self, REFIID iid) = nullptr;
  void (*destroy)(Object* self) = nullptr;
  bool counted = true;
};

template <typename Interface>
Interface* As(Object* object) {
  return reinterpret_cast<Interface*>(object);
}

ULONG STDMETHODCALLTYPE AddRef(Object* self) { return ++self->references; }
ULONG STDMETHODCALLTYPE Release(Object* self) {
  const ULONG left = --self->references;
  if (left == 0) self->destroy(self);
  return left;
}
::HRESULT STDMETHODCALLTYPE QueryInterface(Object* self, REFIID iid,
                                           void** out) {
  Object* found = nullptr;
  if (::IsEqualIID(iid, IID_IUnknown) || ::IsEqualIID(iid, IID_IDispatch) ||
      std::any_of(self->iids.begin(), self->iids.end(),
                  [&](const IID& own) { return ::IsEqualIID(iid, own); })) {
    found = self;
    AddRef(self);
  } else if (self->also != nullptr) {
    found = self->also(self, iid);
  }
  *out = found;
  return found == nullptr ? E_NOINTERFACE : S_OK;
}

// A vtable: IUnknown's three slots, then whatever the fake sets.
class Table {
 public:
  Table() {
    slots_.fill(reinterpret_cast<Any>(&NotImplemented));
    slots_[0] = reinterpret_cast<Any>(&QueryInterface);
    slots_[1] = reinterpret_cast<Any>(&AddRef);
    slots_[2] = reinterpret_cast<Any>(&Release);
  }
  template <typename Member, typename Function>
  Table& Set(Member member, Function function) {
    slots_.at(Slot(member)) = reinterpret_cast<Any>(+function);
    return *this;
  }
  const Any* get() const { return slots_.data(); }

 private:
  std::array<Any, 64> slots_;
};

// Gives a new fake its vtable and counts it among the live objects.
template <typename Fake>
Fake* New(Fake* made) {
  made->vtable = Fake::Methods().get();
  made->destroy = [](Object* self) {
    current->live_objects -= self->counted;
    delete static_cast<Fake*>(self);
  };
  current->live_objects += made->counted;
  return made;
}

template <typename Out, typename Value>
::HRESULT Put(Out* out, Value value) {
  *out = static_cast<Out>(value);
  return S_OK;
}

struct Master : Object {
  Master() { iids = {ids::kIidDiscMaster2}; }
  static const Table& Methods() {
    static const Table table =
        Table()
            .Set(&::IDiscMaster2::get_Item,
                 [](Master*, LONG index, BSTR* value) {
                   const auto& all = current->recorder_ids;
                   if (index < 0 || index >= static_cast<LONG>(all.size())) {
                     return E_INVALIDARG;
                   }
                   *value = Copy(all[static_cast<std::size_t>(index)]);
                   return S_OK;
                 })
            .Set(&::IDiscMaster2::get_Count, [](void*, LONG* value) {
              return Put(value, current->recorder_ids.size());
            });
    return table;
  }
};

// A descriptor whose byte 4 carries the feature's low bits: 0x2F gives
// 0x0A (dual layer and DVD-RW).
struct RecorderEx : Object {
  RecorderEx() { iids = {ids::kIidDiscRecorder2Ex}; }
  static const Table& Methods() {
    static const Table table =
        Table().Set(&::IDiscRecorder2Ex::GetFeaturePage,
                    [](RecorderEx*, IMAPI_FEATURE_PAGE_TYPE feature, BOOLEAN,
                       BYTE** data, ULONG* size) {
                      *size = 8;
                      *data = static_cast<BYTE*>(::CoTaskMemAlloc(*size));
                      std::memset(*data, 0, *size);
                      (*data)[1] = static_cast<BYTE>(feature);
                      (*data)[4] = static_cast<BYTE>(feature & 0x0A);
                      return S_OK;
                    });
    return table;
  }
};

struct Recorder : Object {
  Recorder() {
    iids = {ids::kIidDiscRecorder2};
    also = [](Object*, REFIID iid) -> Object* {
      return ::IsEqualIID(iid, ids::kIidDiscRecorder2Ex) ? New(new RecorderEx)
                                                         : nullptr;
    };
  }
  static const Table& Methods() {
    using I = ::IDiscRecorder2;
    static const Table table =
        Table()
            .Set(&I::InitializeDiscRecorder, [](void*, BSTR) { return S_OK; })
            .Set(&I::get_VendorId,
                 [](void*, BSTR* value) { return Put(value, Copy(L"VENDOR")); })
            .Set(&I::get_ProductId,
                 [](void*, BSTR* value) {
                   return Put(value, Copy(L"DVD WRITER"));
                 })
            .Set(&I::get_VolumePathNames,
                 [](Recorder*, SAFEARRAY** value) {
                   const auto& paths = current->volume_paths;
                   *value = VariantArray(paths.size(),
                                         [&](std::size_t i, VARIANT* path) {
                                           path->vt = VT_BSTR;
                                           path->bstrVal = Copy(paths[i]);
                                         });
                   return S_OK;
                 })
            .Set(&I::get_SupportedFeaturePages,
                 [](Recorder*, SAFEARRAY** value) {
                   *value = VariantArray(2, [](std::size_t i, VARIANT* page) {
                     page->vt = VT_I4;
                     page->lVal = i == 0 ? 0x1E : 0x2F;
                   });
                   return S_OK;
                 })
            .Set(&I::DisableMcn,
                 [](Recorder*) {
                   Record("DisableMcn");
                   return S_OK;
                 })
            .Set(&I::EnableMcn, [](Recorder*) {
              Record("EnableMcn");
              return S_OK;
            });
    return table;
  }
};

struct EventArgs : Object {
  explicit EventArgs(const FakeWriteEvent& event)
      : values{0,          1000,          10,
               9,          1 << 20,       1 << 19,
               1 << 19,    event.elapsed, event.total - event.elapsed,
               event.total},
        action(event.action) {
    iids = {ids::kIidDiscFormat2DataEventArgs, ids::kIidWriteEngine2EventArgs};
  }
  template <int index>
  static ::HRESULT Get(EventArgs* self, LONG* out) {
    return Put(out, self->values[index]);
  }
  static const Table& Methods() {
    using I = ::IDiscFormat2DataEventArgs;
    static const Table table =
        Table()
            .Set(&I::get_StartLba, &Get<0>)
            .Set(&I::get_SectorCount, &Get<1>)
            .Set(&I::get_LastReadLba, &Get<2>)
            .Set(&I::get_LastWrittenLba, &Get<3>)
            .Set(&I::get_TotalSystemBuffer, &Get<4>)
            .Set(&I::get_UsedSystemBuffer, &Get<5>)
            .Set(&I::get_FreeSystemBuffer, &Get<6>)
            .Set(&I::get_ElapsedTime, &Get<7>)
            .Set(&I::get_RemainingTime, &Get<8>)
            .Set(&I::get_TotalTime, &Get<9>)
            .Set(&I::get_CurrentAction,
                 [](EventArgs* self, IMAPI_FORMAT2_DATA_WRITE_ACTION* value) {
                   return Put(value, self->action);
                 });
    return table;
  }
  const LONG values[10];
  const IMAPI_FORMAT2_DATA_WRITE_ACTION action;
};

// The connection point of one event interface.
struct Point : Object {
  explicit Point(const IID& events) : events(events) {
    iids = {IID_IConnectionPoint};
  }
  ~Point() {
    for (auto& [cookie, sink] : sinks) sink->Release();
  }
  static const Table& Methods() {
    static const Table table =
        Table()
            .Set(&IConnectionPoint::Advise,
                 [](Point* self, IUnknown* sink, DWORD* cookie) {
                   IDispatch* dispatch = nullptr;
                   const ::HRESULT hr = sink->QueryInterface(
                       IID_IDispatch, reinterpret_cast<void**>(&dispatch));
                   if (FAILED(hr)) return hr;
                   *cookie = ++self->last_cookie;
                   self->sinks.emplace_back(*cookie, dispatch);
                   ++current->advised_sinks;
                   current->last_sink = dispatch;
                   return S_OK;
                 })
            .Set(&IConnectionPoint::Unadvise, [](Point* self, DWORD cookie) {
              auto& sinks = self->sinks;
              const auto found = std::find_if(
                  sinks.begin(), sinks.end(),
                  [&](const auto& entry) { return entry.first == cookie; });
              if (found == sinks.end()) return kNoConnection;
              if (current->last_sink == found->second) {
                current->last_sink = nullptr;
              }
              found->second->Release();
              sinks.erase(found);
              --current->advised_sinks;
              return S_OK;
            });
    return table;
  }
  const IID events;
  DWORD last_cookie = 0;
  std::vector<std::pair<DWORD, IDispatch*>> sinks;
};

struct Container : Object {
  explicit Container(Point* point) : point(point) {
    iids = {IID_IConnectionPointContainer};
    AddRef(point);
  }
  ~Container() { Release(point); }
  static const Table& Methods() {
    static const Table table =
        Table().Set(&IConnectionPointContainer::FindConnectionPoint,
                    [](Container* self, REFIID iid, IConnectionPoint** out) {
                      *out = nullptr;
                      if (!::IsEqualIID(iid, self->point->events)) {
                        return kNoConnection;
                      }
                      AddRef(self->point);
                      *out = As<IConnectionPoint>(self->point);
                      return S_OK;
                    });
    return table;
  }
  Point* point;
};

// The writer and the eraser: an object with one connection point, whose
// advised sinks it calls.
struct Source : Object {
  Source(const IID& own, const IID& events) : point(New(new Point(events))) {
    iids = {own, ids::kIidDiscFormat2};
    also = [](Object* self, REFIID iid) -> Object* {
      if (!::IsEqualIID(iid, IID_IConnectionPointContainer)) return nullptr;
      return New(new Container(static_cast<Source*>(self)->point));
    };
  }
  ~Source() { Release(point); }
  // Calls every advised sink's Update (dispatch identifier 0x200) through
  // Invoke, with the arguments given first to last.
  void Invoke(std::vector<VARIANT> arguments) const {
    std::reverse(arguments.begin(), arguments.end());
    DISPPARAMS parameters{arguments.data(), nullptr,
                          static_cast<UINT>(arguments.size()), 0};
    for (const auto& [cookie, sink] : std::vector(point->sinks)) {
      sink->Invoke(ids::kDispidUpdate, IID_NULL, LOCALE_USER_DEFAULT,
                   DISPATCH_METHOD, &parameters, nullptr, nullptr, nullptr);
    }
  }
  template <typename Interface>
  static Table Format() {
    return Table()
        .Set(&Interface::put_Recorder,
             [](void*, IDiscRecorder2*) { return S_OK; })
        .Set(&Interface::put_ClientName, [](void*, BSTR) { return S_OK; })
        .Set(&Interface::get_CurrentPhysicalMediaType,
             [](void*, IMAPI_MEDIA_PHYSICAL_TYPE* value) {
               return Put(value, current->media_type);
             });
  }
  Point* point;
};

VARIANT Argument(VARTYPE type, Object* object, LONG number = 0) {
  VARIANT value;
  ::VariantInit(&value);
  value.vt = type;
  if (type == VT_DISPATCH) value.pdispVal = As<IDispatch>(object);
  if (type == VT_I4) value.lVal = number;
  return value;
}

struct Writer : Source {
  Writer()
      : Source(ids::kIidDiscFormat2Data, ids::kIidDDiscFormat2DataEvents) {}
  // Reads the whole stream, puts the image's tree on the disc, then
  // delivers the scripted events to every advised sink. A CancelWrite from
  // a sink ends the write.
  static ::HRESULT Write(Writer* self, ::IStream* data) {
    char buffer[4096];
    ULONG read = 0;
    current->written.clear();
    while (SUCCEEDED(data->Read(buffer, sizeof buffer, &read)) && read > 0) {
      current->written.append(buffer, read);
    }
    if (!current->disc.empty() && !added_tree.empty()) {
      const std::filesystem::path tree(added_tree), disc(current->disc);
      std::filesystem::copy(tree, added_base ? disc / tree.filename() : disc,
                            std::filesystem::copy_options::recursive);
    }
    for (const FakeWriteEvent& event : current->write_events) {
      Object* args = New(new EventArgs(event));
      Object* source = event.foreign_source ? args : self;
      if (event.through_vtable) {
        for (const auto& [cookie, sink] : std::vector(self->point->sinks)) {
          ::DDiscFormat2DataEvents* events = nullptr;
          sink->QueryInterface(ids::kIidDDiscFormat2DataEvents,
                               reinterpret_cast<void**>(&events));
          events->Update(As<IDispatch>(source), As<IDispatch>(args));
          events->Release();
        }
      } else {
        self->Invoke(
            {Argument(VT_DISPATCH, source), Argument(VT_DISPATCH, args)});
      }
      Release(args);
      if (self->cancelled) return kCancelled;
    }
    return S_OK;
  }
  static const Table& Methods() {
    using I = ::IDiscFormat2Data;
    static const Table table =
        Format<I>()
            .Set(&I::IsRecorderSupported,
                 [](void*, IDiscRecorder2* recorder, VARIANT_BOOL* value) {
                   return Put(value, recorder == nullptr ? VARIANT_FALSE
                                                         : VARIANT_TRUE);
                 })
            .Set(&I::get_MediaHeuristicallyBlank,
                 [](void*, VARIANT_BOOL* value) {
                   return Put(value,
                              current->blank ? VARIANT_TRUE : VARIANT_FALSE);
                 })
            .Set(&I::get_SupportedMediaTypes,
                 [](Writer*, SAFEARRAY** value) {
                   *value = VariantArray(2, [](std::size_t i, VARIANT* type) {
                     type->vt = VT_I4;
                     type->lVal = i == 0 ? IMAPI_MEDIA_TYPE_DVDPLUSR
                                         : IMAPI_MEDIA_TYPE_DVDPLUSRW;
                   });
                   return S_OK;
                 })
            .Set(&I::get_CurrentMediaStatus,
                 [](void*, IMAPI_FORMAT2_DATA_MEDIA_STATE* value) {
                   return Put(value, current->blank ? 0x2 : 0x4 | 0x1000);
                 })
            .Set(&I::get_WriteProtectStatus,
                 [](void*, IMAPI_MEDIA_WRITE_PROTECT_STATE* value) {
                   return Put(value, 0);
                 })
            .Set(&I::get_FreeSectorsOnMedia,
                 [](void*, LONG* value) { return Put(value, 2295104); })
            .Set(&I::Write, &Write)
            .Set(&I::CancelWrite, [](Writer* self) {
              Record("CancelWrite");
              self->cancelled = true;
              return S_OK;
            });
    return table;
  }
  bool cancelled = false;
};

struct Eraser : Source {
  Eraser()
      : Source(ids::kIidDiscFormat2Erase, ids::kIidDDiscFormat2EraseEvents) {}
  static const Table& Methods() {
    using I = ::IDiscFormat2Erase;
    static const Table table =
        Format<I>()
            .Set(&I::put_FullErase,
                 [](Eraser*, VARIANT_BOOL value) {
                   Record(std::string("put_FullErase ") +
                          (value == VARIANT_TRUE ? "true" : "false"));
                   return S_OK;
                 })
            .Set(&I::EraseMedia, [](Eraser* self) {
              for (const auto& [elapsed, expected] : current->erase_events) {
                self->Invoke({Argument(VT_DISPATCH, self),
                              Argument(VT_I4, nullptr, elapsed),
                              Argument(VT_I4, nullptr, expected)});
              }
              return S_OK;
            });
    return table;
  }
};

struct Root : Object {
  Root() { iids = {ids::kIidFsiDirectoryItem}; }
  static const Table& Methods() {
    static const Table table =
        Table().Set(&::IFsiDirectoryItem::AddTree,
                    [](Root*, BSTR folder, VARIANT_BOOL base) {
                      added_tree.assign(folder, ::SysStringLen(folder));
                      added_base = base != VARIANT_FALSE;
                      return S_OK;
                    });
    return table;
  }
};

struct Result : Object {
  Result() { iids = {ids::kIidFileSystemImageResult}; }
  static const Table& Methods() {
    using I = ::IFileSystemImageResult;
    static const Table table =
        Table()
            .Set(&I::get_ImageStream,
                 [](Result*, ::IStream** stream) {
                   static const BYTE block[2048] = {};
                   *stream = ::SHCreateMemStream(block, sizeof block);
                   return *stream == nullptr ? E_OUTOFMEMORY : S_OK;
                 })
            .Set(&I::get_TotalBlocks,
                 [](void*, LONG* value) { return Put(value, 1); });
    return table;
  }
};

struct Image : Object {
  Image() { iids = {ids::kIidFileSystemImage}; }
  static const Table& Methods() {
    using I = ::IFileSystemImage;
    static const Table table =
        Table()
            .Set(&I::get_Root,
                 [](void*, IFsiDirectoryItem** root) {
                   return Put(root, As<IFsiDirectoryItem>(New(new Root)));
                 })
            .Set(&I::put_FileSystemsToCreate,
                 [](Image* self, FsiFileSystems value) {
                   self->systems = value;
                   return S_OK;
                 })
            .Set(&I::get_FileSystemsToCreate,
                 [](Image* self, FsiFileSystems* value) {
                   return Put(value, self->systems);
                 })
            .Set(&I::put_FreeMediaBlocks, [](void*, LONG) { return S_OK; })
            .Set(&I::get_FileCount, [](void*, LONG* n) { return Put(n, 0); })
            .Set(&I::get_DirectoryCount,
                 [](void*, LONG* n) { return Put(n, 0); })
            .Set(&I::put_VolumeName,
                 [](Image*, BSTR name) {
                   Record("put_VolumeName " + platform::ToUtf8(std::wstring(
                                                  name, ::SysStringLen(name))));
                   return S_OK;
                 })
            .Set(&I::CreateResultImage, [](void*,
                                           IFileSystemImageResult** result) {
              return Put(result, As<IFileSystemImageResult>(New(new Result)));
            });
    return table;
  }
  FsiFileSystems systems = {};
};

// Makes one kind of fake for CoCreateInstance. It lives as long as the
// registration and is not counted among the fakes.
struct Factory : Object {
  explicit Factory(Object* (*make)()) : make(make) {
    iids = {IID_IClassFactory};
    counted = false;
  }
  static const Table& Methods() {
    static const Table table =
        Table()
            .Set(&IClassFactory::CreateInstance,
                 [](Factory* self, IUnknown* outer, REFIID iid, void** out) {
                   *out = nullptr;
                   if (outer != nullptr) return CLASS_E_NOAGGREGATION;
                   Object* made = self->make();
                   const ::HRESULT hr = QueryInterface(made, iid, out);
                   Release(made);
                   return hr;
                 })
            .Set(&IClassFactory::LockServer, [](void*, BOOL) { return S_OK; });
    return table;
  }
  Object* (*make)();
};

}  // namespace

FakeImapi2::FakeImapi2(FakeImapi2State* shared)
    : state_(shared == nullptr ? &own_ : shared) {
  current = state_;
  added_tree.clear();
  const std::pair<CLSID, Object* (*)()> classes[] = {
      {ids::kClsidMsftDiscMaster2, []() -> Object* { return New(new Master); }},
      {ids::kClsidMsftDiscRecorder2,
       []() -> Object* { return New(new Recorder); }},
      {ids::kClsidMsftDiscFormat2Data,
       []() -> Object* { return New(new Writer); }},
      {ids::kClsidMsftDiscFormat2Erase,
       []() -> Object* { return New(new Eraser); }},
      {ids::kClsidMsftFileSystemImage,
       []() -> Object* { return New(new Image); }},
  };
  registered_ = true;
  for (const auto& [clsid, make] : classes) {
    Object* factory = New(new Factory(make));
    DWORD cookie = 0;
    registered_ &= SUCCEEDED(::CoRegisterClassObject(
        clsid, As<IUnknown>(factory), CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE,
        &cookie));
    if (cookie != 0) cookies_.push_back(cookie);
    Release(factory);
  }
}

FakeImapi2::~FakeImapi2() {
  for (DWORD cookie : cookies_) ::CoRevokeClassObject(cookie);
}

bool FakeImapi2::Called(const std::string& call) const {
  return std::find(state_->calls.begin(), state_->calls.end(), call) !=
         state_->calls.end();
}

}  // namespace tessaline::testing
