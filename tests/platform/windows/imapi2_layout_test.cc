// Every IMAPI2 method the library calls must sit in the vtable slot the
// machine's registered type library gives it (skipped where there is none,
// as under Wine).
#include <gtest/gtest.h>

#include <cstddef>
#include <string>
#include <vector>

#include "platform/text.h"
#include "platform/windows/fake_imapi2_fixture.h"
#include "platform/windows/imapi2_interfaces.h"
#include "platform/windows/win32.h"

namespace tessaline::platform::windows {
namespace {

struct Method {
  std::wstring name;
  INVOKEKIND kind;
  std::ptrdiff_t slot;
};

#define TS_GET(I, P) \
  { L## #P, INVOKE_PROPERTYGET, testing::VtableSlot(&I::get_##P) }
#define TS_PUT(I, P) \
  { L## #P, INVOKE_PROPERTYPUT, testing::VtableSlot(&I::put_##P) }
#define TS_CALL(I, M) \
  { L## #M, INVOKE_FUNC, testing::VtableSlot(&I::M) }

struct Interface {
  const IID* iid;
  std::vector<Method> methods;
};

// clang-format off
using Master = ::IDiscMaster2; using Rec = ::IDiscRecorder2;
using RecEx = ::IDiscRecorder2Ex; using Engine = ::IWriteEngine2EventArgs;
using Args = ::IDiscFormat2DataEventArgs; using Format = ::IDiscFormat2;
using Data = ::IDiscFormat2Data; using Erase = ::IDiscFormat2Erase;
using DataEv = ::DDiscFormat2DataEvents;
using EraseEv = ::DDiscFormat2EraseEvents; using Boot = ::IBootOptions;
using Result = ::IFileSystemImageResult; using Dir = ::IFsiDirectoryItem;
using Fsi = ::IFileSystemImage;
const std::vector<Interface> kDeclared = {
  {&imapi2::kIidDiscMaster2, {TS_GET(Master, Item),
    TS_GET(Master, Count), TS_GET(Master, IsSupportedEnvironment)}},
  {&imapi2::kIidDiscRecorder2, {TS_CALL(Rec, EjectMedia),
    TS_CALL(Rec, DisableMcn), TS_CALL(Rec, EnableMcn),
    TS_CALL(Rec, InitializeDiscRecorder), TS_GET(Rec, VendorId),
    TS_GET(Rec, ProductId), TS_GET(Rec, VolumePathNames),
    TS_GET(Rec, SupportedFeaturePages), TS_GET(Rec, ExclusiveAccessOwner)}},
  {&imapi2::kIidDiscRecorder2Ex, {TS_CALL(RecEx, SendCommandNoData),
    TS_CALL(RecEx, GetFeaturePage),
    TS_CALL(RecEx, GetMaximumPageAlignedTransferSize)}},
  {&imapi2::kIidWriteEngine2EventArgs, {TS_GET(Engine, StartLba),
    TS_GET(Engine, SectorCount), TS_GET(Engine, LastReadLba),
    TS_GET(Engine, LastWrittenLba), TS_GET(Engine, TotalSystemBuffer),
    TS_GET(Engine, UsedSystemBuffer), TS_GET(Engine, FreeSystemBuffer)}},
  {&imapi2::kIidDiscFormat2DataEventArgs, {TS_GET(Args, ElapsedTime),
    TS_GET(Args, RemainingTime), TS_GET(Args, TotalTime),
    TS_GET(Args, CurrentAction)}},
  {&imapi2::kIidDiscFormat2, {TS_CALL(Format, IsRecorderSupported),
    TS_GET(Format, MediaHeuristicallyBlank),
    TS_GET(Format, SupportedMediaTypes)}},
  {&imapi2::kIidDiscFormat2Data, {TS_PUT(Data, Recorder),
    TS_GET(Data, CurrentMediaStatus), TS_GET(Data, WriteProtectStatus),
    TS_GET(Data, FreeSectorsOnMedia), TS_GET(Data, CurrentPhysicalMediaType),
    TS_PUT(Data, ClientName), TS_CALL(Data, Write), TS_CALL(Data, CancelWrite),
    TS_CALL(Data, SetWriteSpeed)}},
  {&imapi2::kIidDiscFormat2Erase, {TS_PUT(Erase, Recorder),
    TS_PUT(Erase, FullErase), TS_GET(Erase, CurrentPhysicalMediaType),
    TS_PUT(Erase, ClientName), TS_CALL(Erase, EraseMedia)}},
  {&imapi2::kIidDDiscFormat2DataEvents, {TS_CALL(DataEv, Update)}},
  {&imapi2::kIidDDiscFormat2EraseEvents, {TS_CALL(EraseEv, Update)}},
  {&imapi2::kIidBootOptions, {TS_GET(Boot, BootImage),
    TS_CALL(Boot, AssignBootImage)}},
  {&imapi2::kIidFileSystemImageResult, {TS_GET(Result, ImageStream),
    TS_GET(Result, TotalBlocks)}},
  {&imapi2::kIidFsiDirectoryItem, {TS_CALL(Dir, AddTree),
    TS_CALL(Dir, RemoveTree)}},
  {&imapi2::kIidFileSystemImage, {TS_GET(Fsi, Root),
    TS_PUT(Fsi, FreeMediaBlocks), TS_PUT(Fsi, VolumeName),
    TS_PUT(Fsi, BootImageOptions), TS_GET(Fsi, FileCount),
    TS_GET(Fsi, DirectoryCount), TS_GET(Fsi, FileSystemsToCreate),
    TS_PUT(Fsi, FileSystemsToCreate), TS_CALL(Fsi, CreateResultImage),
    TS_PUT(Fsi, MultisessionInterfaces)}},
};
// clang-format on

// The vtable description of an interface: for a dual interface the type
// library's entry is the dispatch one, which refers to the vtable one.
ComPtr<ITypeInfo> VtableInfo(ITypeLib* library, const IID& iid) {
  ComPtr<ITypeInfo> info;
  if (FAILED(library->GetTypeInfoOfGuid(iid, info.Receive()))) return {};
  TYPEATTR* attributes = nullptr;
  if (FAILED(info->GetTypeAttr(&attributes))) return {};
  const TYPEKIND kind = attributes->typekind;
  info->ReleaseTypeAttr(attributes);
  if (kind != TKIND_DISPATCH) return info;
  HREFTYPE reference = 0;
  ComPtr<ITypeInfo> vtable;
  if (FAILED(info->GetRefTypeOfImplType(-1, &reference)) ||
      FAILED(info->GetRefTypeInfo(reference, vtable.Receive()))) {
    return info;
  }
  return vtable;
}

// The slot the type library gives (name, kind), or -1.
std::ptrdiff_t LibrarySlot(ITypeInfo* info, const Method& method) {
  TYPEATTR* attributes = nullptr;
  if (FAILED(info->GetTypeAttr(&attributes))) return -1;
  const WORD functions = attributes->cFuncs;
  info->ReleaseTypeAttr(attributes);
  for (UINT i = 0; i < functions; ++i) {
    FUNCDESC* function = nullptr;
    if (FAILED(info->GetFuncDesc(i, &function))) continue;
    Bstr name;
    info->GetDocumentation(function->memid, name.Receive(), nullptr, nullptr,
                           nullptr);
    const bool same = name.str() == method.name &&
                      (function->invkind == method.kind ||
                       (method.kind == INVOKE_PROPERTYPUT &&
                        function->invkind == INVOKE_PROPERTYPUTREF));
    const std::ptrdiff_t slot =
        function->oVft / static_cast<std::ptrdiff_t>(sizeof(void*));
    info->ReleaseFuncDesc(function);
    if (same) return slot;
  }
  return -1;
}

TEST(Imapi2LayoutTest, CalledMethodsSitInTheSlotsOfTheSystemTypeLibrary) {
  ComPtr<ITypeLib> base;
  ComPtr<ITypeLib> fs;
  if (FAILED(::LoadRegTypeLib(imapi2::kLibImapi2, 1, 0, LOCALE_NEUTRAL,
                              base.Receive())) ||
      FAILED(::LoadRegTypeLib(imapi2::kLibImapi2Fs, 1, 0, LOCALE_NEUTRAL,
                              fs.Receive()))) {
    GTEST_SKIP() << "the IMAPI2 type libraries are not registered here";
  }
  for (const Interface& declared : kDeclared) {
    ComPtr<ITypeInfo> info = VtableInfo(base.get(), *declared.iid);
    if (!info) info = VtableInfo(fs.get(), *declared.iid);
    ASSERT_TRUE(info) << "not in the type library";
    for (const Method& method : declared.methods) {
      EXPECT_EQ(LibrarySlot(info.get(), method), method.slot)
          << ToUtf8(method.name) << " (kind " << method.kind << ")";
    }
  }
}

}  // namespace
}  // namespace tessaline::platform::windows
