#include "platform/windows/fake_imapi2_fixture.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstddef>
#include <cstring>
#include <filesystem>
#include <string>
#include <type_traits>
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

BSTR Copy(const std::wstring& text) {
  return ::SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
}
template <typename Out, typename Value>
::HRESULT Put(Out* out, Value value) {
  *out = static_cast<Out>(value);
  return S_OK;
}

// A SAFEARRAY of VARIANTs, as IMAPI2 returns its lists: texts or numbers.
template <typename Item>
SAFEARRAY* VariantArray(const std::vector<Item>& items) {
  SAFEARRAY* array =
      ::SafeArrayCreateVector(VT_VARIANT, 0, static_cast<ULONG>(items.size()));
  for (LONG i = 0; i < static_cast<LONG>(items.size()); ++i) {
    VARIANT value;
    ::VariantInit(&value);
    if constexpr (std::is_same_v<Item, LONG>) {
      value.vt = VT_I4;
      value.lVal = items[static_cast<std::size_t>(i)];
    } else {
      value.vt = VT_BSTR;
      value.bstrVal = Copy(items[static_cast<std::size_t>(i)]);
    }
    ::SafeArrayPutElement(array, &i, &value);
    ::VariantClear(&value);
  }
  return array;
}

// x64 Windows has one calling convention, and there the caller cleans the
// stack: one function can stand in every slot that only answers, whatever
// the slot's arguments.
::HRESULT STDMETHODCALLTYPE NotImplemented() { return E_NOTIMPL; }
::HRESULT STDMETHODCALLTYPE Ok() { return S_OK; }
template <auto constant>
::HRESULT STDMETHODCALLTYPE Is(void*, decltype(constant)* value) {
  return Put(value, constant);
}

struct Object;
// A kind of fake: its vtable (IUnknown's three slots, then whatever the
// kind sets), the interfaces it answers for, and `also`, which hands out,
// with a reference, the interfaces another object serves.
class Table {
 public:
  using Also = Object* (*)(Object* self, REFIID iid);
  explicit Table(std::vector<IID> iids, Also also = nullptr);
  template <typename Member, typename Function>
  Table& Set(Member member, Function function) {
    slots_.at(static_cast<std::size_t>(VtableSlot(member))) =
        reinterpret_cast<Any>(+function);
    return *this;
  }
  const Any* get() const { return slots_.data(); }
  const std::vector<IID> iids;
  const Also also;

 private:
  std::array<Any, 64> slots_;
};

// A COM object as COM sees it: the vtable first.
struct Object {
  const Any* vtable = nullptr;
  std::atomic<ULONG> references{1};
  const Table* table = nullptr;
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
  const auto& own = self->table->iids;
  Object* found = nullptr;
  if (::IsEqualIID(iid, IID_IUnknown) || ::IsEqualIID(iid, IID_IDispatch) ||
      std::any_of(own.begin(), own.end(),
                  [&](const IID& one) { return ::IsEqualIID(iid, one); })) {
    found = self;
    AddRef(self);
  } else if (self->table->also != nullptr) {
    found = self->table->also(self, iid);
  }
  *out = found;
  return found == nullptr ? E_NOINTERFACE : S_OK;
}

Table::Table(std::vector<IID> iids, Also also)
    : iids(std::move(iids)), also(also) {
  slots_.fill(reinterpret_cast<Any>(&NotImplemented));
  slots_[0] = reinterpret_cast<Any>(&QueryInterface);
  slots_[1] = reinterpret_cast<Any>(&AddRef);
  slots_[2] = reinterpret_cast<Any>(&Release);
}

// A new fake of the kind `table`, counted among the live objects.
template <typename Fake = Object, typename... Arguments>
Fake* New(const Table& table, Arguments&&... arguments) {
  Fake* made = new Fake{{}, std::forward<Arguments>(arguments)...};
  made->vtable = table.get();
  made->table = &table;
  made->destroy = [](Object* self) {
    current->live_objects -= self->counted;
    delete static_cast<Fake*>(self);
  };
  ++current->live_objects;
  return made;
}

const Table kMaster =
    Table({ids::kIidDiscMaster2})
        .Set(&::IDiscMaster2::get_Item,
             [](void*, LONG index, BSTR* value) {
               const auto& all = current->recorder_ids;
               if (index < 0 || index >= static_cast<LONG>(all.size())) {
                 return E_INVALIDARG;
               }
               return Put(value, Copy(all[static_cast<std::size_t>(index)]));
             })
        .Set(&::IDiscMaster2::get_Count, [](void*, LONG* value) {
          return Put(value, current->recorder_ids.size());
        });

// A descriptor whose byte 4 carries the feature's low bits: 0x2F gives
// 0x0A (dual layer and DVD-RW).
const Table kRecorderEx =
    Table({ids::kIidDiscRecorder2Ex})
        .Set(&::IDiscRecorder2Ex::GetFeaturePage,
             [](void*, IMAPI_FEATURE_PAGE_TYPE feature, BOOLEAN, BYTE** data,
                ULONG* size) {
               *size = 8;
               *data = static_cast<BYTE*>(::CoTaskMemAlloc(*size));
               std::memset(*data, 0, *size);
               (*data)[1] = static_cast<BYTE>(feature);
               (*data)[4] = static_cast<BYTE>(feature & 0x0A);
               return S_OK;
             });

using Recorder = ::IDiscRecorder2;
const Table kRecorder =
    Table({ids::kIidDiscRecorder2},
          [](Object*, REFIID iid) {
            return ::IsEqualIID(iid, ids::kIidDiscRecorder2Ex)
                       ? New(kRecorderEx)
                       : nullptr;
          })
        .Set(&Recorder::InitializeDiscRecorder, &Ok)
        .Set(&Recorder::get_VendorId,
             [](void*, BSTR* value) { return Put(value, Copy(L"VENDOR")); })
        .Set(&Recorder::get_ProductId,
             [](void*, BSTR* value) { return Put(value, Copy(L"DVD WRITER")); })
        .Set(&Recorder::get_VolumePathNames,
             [](void*, SAFEARRAY** value) {
               return Put(value, VariantArray(current->volume_paths));
             })
        .Set(&Recorder::get_SupportedFeaturePages,
             [](void*, SAFEARRAY** value) {
               return Put(value, VariantArray<LONG>({0x1E, 0x2F}));
             })
        .Set(&Recorder::DisableMcn, &Ok)
        .Set(&Recorder::EnableMcn, &Ok);

struct EventArgs : Object {
  std::array<LONG, 10> values;
  IMAPI_FORMAT2_DATA_WRITE_ACTION action;
};
template <int index>
::HRESULT Get(EventArgs* self, LONG* out) {
  return Put(out, self->values[index]);
}
using Args = ::IDiscFormat2DataEventArgs;
const Table kEventArgs =
    Table({ids::kIidDiscFormat2DataEventArgs, ids::kIidWriteEngine2EventArgs})
        .Set(&Args::get_StartLba, &Get<0>)
        .Set(&Args::get_SectorCount, &Get<1>)
        .Set(&Args::get_LastReadLba, &Get<2>)
        .Set(&Args::get_LastWrittenLba, &Get<3>)
        .Set(&Args::get_TotalSystemBuffer, &Get<4>)
        .Set(&Args::get_UsedSystemBuffer, &Get<5>)
        .Set(&Args::get_FreeSystemBuffer, &Get<6>)
        .Set(&Args::get_ElapsedTime, &Get<7>)
        .Set(&Args::get_RemainingTime, &Get<8>)
        .Set(&Args::get_TotalTime, &Get<9>)
        .Set(&Args::get_CurrentAction,
             [](EventArgs* self, IMAPI_FORMAT2_DATA_WRITE_ACTION* value) {
               return Put(value, self->action);
             });

// The connection point of one event interface, which also stands in for
// its container: the two interfaces share no slot the backend calls
// (FindConnectionPoint is 4, Advise and Unadvise 5 and 6).
struct Point : Object {
  IID events;
  DWORD last_cookie = 0;
  std::vector<std::pair<DWORD, IDispatch*>> sinks{};
  ~Point() {
    for (auto& [cookie, sink] : sinks) sink->Release();
  }
};
const Table kPoint =
    Table({IID_IConnectionPoint, IID_IConnectionPointContainer})
        .Set(&IConnectionPointContainer::FindConnectionPoint,
             [](Point* self, REFIID iid, IConnectionPoint** out) {
               *out = nullptr;
               if (!::IsEqualIID(iid, self->events)) return kNoConnection;
               AddRef(self);
               return Put(out, As<IConnectionPoint>(self));
             })
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
              [&](const auto& sink) { return sink.first == cookie; });
          if (found == sinks.end()) return kNoConnection;
          if (current->last_sink == found->second) current->last_sink = nullptr;
          found->second->Release();
          sinks.erase(found);
          --current->advised_sinks;
          return S_OK;
        });

// The writer and the eraser: an object with one connection point, whose
// advised sinks it calls.
struct Source : Object {
  Point* point;
  bool cancelled = false;
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
};

template <typename Interface>
Table Format(const IID& own) {
  return Table({own, ids::kIidDiscFormat2},
               [](Object* self, REFIID iid) -> Object* {
                 if (!::IsEqualIID(iid, IID_IConnectionPointContainer)) {
                   return nullptr;
                 }
                 Point* point = static_cast<Source*>(self)->point;
                 AddRef(point);
                 return point;
               })
      .Set(&Interface::put_Recorder, &Ok)
      .Set(&Interface::put_ClientName, &Ok)
      .Set(&Interface::get_CurrentPhysicalMediaType,
           [](void*, IMAPI_MEDIA_PHYSICAL_TYPE* value) {
             return Put(value, current->media_type);
           });
}

VARIANT Argument(VARTYPE type, Object* object, LONG number = 0) {
  VARIANT value;
  ::VariantInit(&value);
  value.vt = type;
  if (type == VT_DISPATCH) value.pdispVal = As<IDispatch>(object);
  if (type == VT_I4) value.lVal = number;
  return value;
}

// Reads the whole stream, puts the image's tree on the disc, then delivers
// the scripted events to every advised sink. A CancelWrite from a sink
// ends the write.
::HRESULT Write(Source* self, ::IStream* data) {
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
    Object* args = New<EventArgs>(
        kEventArgs,
        std::array<LONG, 10>{0, 1000, 10, 9, 1 << 20, 1 << 19, 1 << 19,
                             event.elapsed, event.total - event.elapsed,
                             event.total},
        event.action);
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

using Data = ::IDiscFormat2Data;
const Table kWriter =
    Format<Data>(ids::kIidDiscFormat2Data)
        .Set(&Data::IsRecorderSupported,
             [](void*, IDiscRecorder2* recorder, VARIANT_BOOL* value) {
               return Put(value, recorder ? VARIANT_TRUE : VARIANT_FALSE);
             })
        .Set(&Data::get_MediaHeuristicallyBlank,
             [](void*, VARIANT_BOOL* value) {
               return Put(value, current->blank ? VARIANT_TRUE : VARIANT_FALSE);
             })
        .Set(&Data::get_SupportedMediaTypes,
             [](void*, SAFEARRAY** value) {
               return Put(value,
                          VariantArray<LONG>({IMAPI_MEDIA_TYPE_DVDPLUSR,
                                              IMAPI_MEDIA_TYPE_DVDPLUSRW}));
             })
        .Set(&Data::get_CurrentMediaStatus,
             [](void*, IMAPI_FORMAT2_DATA_MEDIA_STATE* value) {
               return Put(value, current->blank ? 0x2 : 0x4 | 0x1000);
             })
        .Set(&Data::get_WriteProtectStatus, &Is<LONG{0}>)
        .Set(&Data::get_FreeSectorsOnMedia, &Is<LONG{2295104}>)
        .Set(&Data::Write, &Write)
        .Set(&Data::CancelWrite,
             [](Source* self) { return Put(&self->cancelled, true); });

using Erase = ::IDiscFormat2Erase;
const Table kEraser =
    Format<Erase>(ids::kIidDiscFormat2Erase)
        .Set(&Erase::put_FullErase,
             [](void*, VARIANT_BOOL value) {
               current->calls.push_back(
                   std::string("put_FullErase ") +
                   (value == VARIANT_TRUE ? "true" : "false"));
               return S_OK;
             })
        .Set(&Erase::EraseMedia, [](Source* self) {
          for (const auto& [elapsed, expected] : current->erase_events) {
            self->Invoke({Argument(VT_DISPATCH, self),
                          Argument(VT_I4, nullptr, elapsed),
                          Argument(VT_I4, nullptr, expected)});
          }
          return S_OK;
        });

const Table kRoot =
    Table({ids::kIidFsiDirectoryItem})
        .Set(&::IFsiDirectoryItem::AddTree,
             [](void*, BSTR folder, VARIANT_BOOL base) {
               added_tree.assign(folder, ::SysStringLen(folder));
               added_base = base != VARIANT_FALSE;
               return S_OK;
             });

const Table kResult =
    Table({ids::kIidFileSystemImageResult})
        .Set(&::IFileSystemImageResult::get_ImageStream,
             [](void*, ::IStream** stream) {
               static const BYTE block[2048] = {};
               *stream = ::SHCreateMemStream(block, sizeof block);
               return *stream == nullptr ? E_OUTOFMEMORY : S_OK;
             })
        .Set(&::IFileSystemImageResult::get_TotalBlocks, &Is<LONG{1}>);

struct Image : Object {
  FsiFileSystems systems = {};
};
using Fsi = ::IFileSystemImage;
const Table kImage =
    Table({ids::kIidFileSystemImage})
        .Set(&Fsi::get_Root,
             [](void*, IFsiDirectoryItem** root) {
               return Put(root, As<IFsiDirectoryItem>(New(kRoot)));
             })
        .Set(&Fsi::put_FileSystemsToCreate,
             [](Image* self, FsiFileSystems value) {
               return Put(&self->systems, value);
             })
        .Set(&Fsi::get_FileSystemsToCreate,
             [](Image* self, FsiFileSystems* value) {
               return Put(value, self->systems);
             })
        .Set(&Fsi::put_FreeMediaBlocks, &Ok)
        .Set(&Fsi::get_FileCount, &Is<LONG{0}>)
        .Set(&Fsi::get_DirectoryCount, &Is<LONG{0}>)
        .Set(&Fsi::put_VolumeName,
             [](void*, BSTR name) {
               current->calls.push_back(
                   "put_VolumeName " +
                   platform::ToUtf8(std::wstring(name, ::SysStringLen(name))));
               return S_OK;
             })
        .Set(&Fsi::CreateResultImage,
             [](void*, IFileSystemImageResult** result) {
               return Put(result, As<IFileSystemImageResult>(New(kResult)));
             });

// Makes one kind of fake for CoCreateInstance. It lives as long as the
// registration and is not counted among the fakes.
struct Factory : Object {
  Object* (*make)();
};
const Table kFactory =
    Table({IID_IClassFactory})
        .Set(&IClassFactory::CreateInstance,
             [](Factory* self, IUnknown* outer, REFIID iid, void** out) {
               *out = nullptr;
               if (outer != nullptr) return CLASS_E_NOAGGREGATION;
               Object* made = self->make();
               const ::HRESULT hr = QueryInterface(made, iid, out);
               Release(made);
               return hr;
             })
        .Set(&IClassFactory::LockServer, &Ok);

}  // namespace

FakeImapi2::FakeImapi2(FakeImapi2State* shared)
    : state_(shared == nullptr ? &own_ : shared) {
  current = state_;
  added_tree.clear();
  const std::pair<CLSID, Object* (*)()> classes[] = {
      {ids::kClsidMsftDiscMaster2, [] { return New(kMaster); }},
      {ids::kClsidMsftDiscRecorder2, [] { return New(kRecorder); }},
      {ids::kClsidMsftDiscFormat2Data,
       []() -> Object* {
         return New<Source>(
             kWriter, New<Point>(kPoint, ids::kIidDDiscFormat2DataEvents));
       }},
      {ids::kClsidMsftDiscFormat2Erase,
       []() -> Object* {
         return New<Source>(
             kEraser, New<Point>(kPoint, ids::kIidDDiscFormat2EraseEvents));
       }},
      {ids::kClsidMsftFileSystemImage,
       []() -> Object* { return New<Image>(kImage); }},
  };
  registered_ = true;
  for (const auto& [clsid, make] : classes) {
    Object* factory = New<Factory>(kFactory, make);
    factory->counted = false;
    --current->live_objects;
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

}  // namespace tessaline::testing
