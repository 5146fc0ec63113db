// The declared IMAPI2 interfaces against the registered type libraries of
// the machine: every method the library calls must sit in the vtable slot
// the system's type library gives it. Needs a Windows with IMAPI2 (Wine
// has none, so there the test is skipped).
#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

#include "platform/text.h"
#include "platform/windows/imapi2_interfaces.h"
#include "platform/windows/win32.h"

namespace tessaline::platform::windows {
namespace {

// The vtable slot of a virtual member function. GCC (the Itanium C++ ABI,
// which mingw-w64 follows) stores 1 + the slot's byte offset in a pointer
// to a virtual member.
template <typename Class, typename Function>
std::ptrdiff_t Slot(Function Class::*member) {
  static_assert(sizeof member == 2 * sizeof(void*));
  std::ptrdiff_t raw = 0;
  std::memcpy(&raw, &member, sizeof raw);
  return (raw - 1) / static_cast<std::ptrdiff_t>(sizeof(void*));
}

struct Method {
  std::wstring name;
  INVOKEKIND kind;
  std::ptrdiff_t slot;
};

#define TS_GET(I, P) \
  { L## #P, INVOKE_PROPERTYGET, Slot(&::I::get_##P) }
#define TS_PUT(I, P) \
  { L## #P, INVOKE_PROPERTYPUT, Slot(&::I::put_##P) }
#define TS_CALL(I, M) \
  { L## #M, INVOKE_FUNC, Slot(&::I::M) }

struct Interface {
  bool fs;  // in the file-system image's type library
  const IID* iid;
  std::vector<Method> methods;
};

// clang-format off
const std::vector<Interface> kDeclared = {
  {false, &imapi2::kIidDiscMaster2, {TS_GET(IDiscMaster2, Item),
    TS_GET(IDiscMaster2, Count), TS_GET(IDiscMaster2, IsSupportedEnvironment)}},
  {false, &imapi2::kIidDiscRecorder2, {TS_CALL(IDiscRecorder2, EjectMedia),
    TS_CALL(IDiscRecorder2, DisableMcn), TS_CALL(IDiscRecorder2, EnableMcn),
    TS_CALL(IDiscRecorder2, InitializeDiscRecorder),
    TS_GET(IDiscRecorder2, VendorId), TS_GET(IDiscRecorder2, ProductId),
    TS_GET(IDiscRecorder2, VolumePathNames),
    TS_GET(IDiscRecorder2, SupportedFeaturePages),
    TS_GET(IDiscRecorder2, ExclusiveAccessOwner)}},
  {false, &imapi2::kIidDiscRecorder2Ex, {
    TS_CALL(IDiscRecorder2Ex, SendCommandNoData),
    TS_CALL(IDiscRecorder2Ex, GetFeaturePage),
    TS_CALL(IDiscRecorder2Ex, GetMaximumPageAlignedTransferSize)}},
  {false, &imapi2::kIidWriteEngine2EventArgs, {
    TS_GET(IWriteEngine2EventArgs, StartLba),
    TS_GET(IWriteEngine2EventArgs, SectorCount),
    TS_GET(IWriteEngine2EventArgs, LastReadLba),
    TS_GET(IWriteEngine2EventArgs, LastWrittenLba),
    TS_GET(IWriteEngine2EventArgs, TotalSystemBuffer),
    TS_GET(IWriteEngine2EventArgs, UsedSystemBuffer),
    TS_GET(IWriteEngine2EventArgs, FreeSystemBuffer)}},
  {false, &imapi2::kIidDiscFormat2DataEventArgs, {
    TS_GET(IDiscFormat2DataEventArgs, ElapsedTime),
    TS_GET(IDiscFormat2DataEventArgs, RemainingTime),
    TS_GET(IDiscFormat2DataEventArgs, TotalTime),
    TS_GET(IDiscFormat2DataEventArgs, CurrentAction)}},
  {false, &imapi2::kIidDiscFormat2, {TS_CALL(IDiscFormat2, IsRecorderSupported),
    TS_GET(IDiscFormat2, MediaHeuristicallyBlank),
    TS_GET(IDiscFormat2, SupportedMediaTypes)}},
  {false, &imapi2::kIidDiscFormat2Data, {TS_PUT(IDiscFormat2Data, Recorder),
    TS_GET(IDiscFormat2Data, CurrentMediaStatus),
    TS_GET(IDiscFormat2Data, WriteProtectStatus),
    TS_GET(IDiscFormat2Data, FreeSectorsOnMedia),
    TS_GET(IDiscFormat2Data, CurrentPhysicalMediaType),
    TS_PUT(IDiscFormat2Data, ClientName), TS_CALL(IDiscFormat2Data, Write),
    TS_CALL(IDiscFormat2Data, CancelWrite),
    TS_CALL(IDiscFormat2Data, SetWriteSpeed)}},
  {false, &imapi2::kIidDiscFormat2Erase, {TS_PUT(IDiscFormat2Erase, Recorder),
    TS_PUT(IDiscFormat2Erase, FullErase),
    TS_GET(IDiscFormat2Erase, CurrentPhysicalMediaType),
    TS_PUT(IDiscFormat2Erase, ClientName),
    TS_CALL(IDiscFormat2Erase, EraseMedia)}},
  {false, &imapi2::kIidDDiscFormat2DataEvents, {
    TS_CALL(DDiscFormat2DataEvents, Update)}},
  {false, &imapi2::kIidDDiscFormat2EraseEvents, {
    TS_CALL(DDiscFormat2EraseEvents, Update)}},
  {true, &imapi2::kIidBootOptions, {TS_GET(IBootOptions, BootImage),
    TS_CALL(IBootOptions, AssignBootImage)}},
  {true, &imapi2::kIidFileSystemImageResult, {
    TS_GET(IFileSystemImageResult, ImageStream),
    TS_GET(IFileSystemImageResult, TotalBlocks)}},
  {true, &imapi2::kIidFsiDirectoryItem, {TS_CALL(IFsiDirectoryItem, AddTree),
    TS_CALL(IFsiDirectoryItem, RemoveTree)}},
  {true, &imapi2::kIidFileSystemImage, {TS_GET(IFileSystemImage, Root),
    TS_PUT(IFileSystemImage, FreeMediaBlocks),
    TS_PUT(IFileSystemImage, VolumeName),
    TS_PUT(IFileSystemImage, BootImageOptions),
    TS_GET(IFileSystemImage, FileCount),
    TS_GET(IFileSystemImage, DirectoryCount),
    TS_GET(IFileSystemImage, FileSystemsToCreate),
    TS_PUT(IFileSystemImage, FileSystemsToCreate),
    TS_CALL(IFileSystemImage, CreateResultImage),
    TS_PUT(IFileSystemImage, MultisessionInterfaces)}},
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
    const ComPtr<ITypeInfo> info =
        VtableInfo(declared.fs ? fs.get() : base.get(), *declared.iid);
    ASSERT_TRUE(info) << "not in the type library";
    for (const Method& method : declared.methods) {
      EXPECT_EQ(LibrarySlot(info.get(), method), method.slot)
          << ToUtf8(method.name) << " (kind " << method.kind << ")";
    }
  }
}

}  // namespace
}  // namespace tessaline::platform::windows
