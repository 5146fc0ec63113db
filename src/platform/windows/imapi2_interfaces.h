// The IMAPI2 and IMAPI2FS COM interfaces, class identifiers and interface
// identifiers the Windows disc services use.
//
// A Windows SDK ships them as <imapi2.h> and <imapi2fs.h>, which are used
// where they exist. The mingw-w64 headers of Debian's cross-compiler have
// neither, so the declarations below stand in for them. They follow
// Microsoft's published definitions:
//   - method order: the interface definitions of the Windows SDK files
//     imapi2.idl and imapi2fs.idl, as the registered type libraries
//     "Microsoft IMAPI2 Base Functionality" (imapi2.dll) and "Microsoft
//     IMAPI2 File System Image Creator" (imapi2fs.dll) describe them, one
//     entry per vtable slot after IUnknown's three and IDispatch's four;
//   - parameter types: the syntax blocks of the interfaces' reference pages
//     on learn.microsoft.com ("imapi2.h", "imapi2fs.h");
//   - identifiers: the uuid attributes of those type libraries.
// Every interface is declared whole, also where the library calls only a
// few of its methods, because a slot left out would move every later one.
// The vtable layout can be checked against the registered type library on
// a machine that has IMAPI2 (tests/platform/windows/imapi2_layout_test.cc).
#ifndef TESSALINE_PLATFORM_WINDOWS_IMAPI2_INTERFACES_H_
#define TESSALINE_PLATFORM_WINDOWS_IMAPI2_INTERFACES_H_

#include "platform/windows/win32.h"
#include "tessaline/media_types.h"

#if __has_include(<imapi2.h>) && __has_include(<imapi2fs.h>)
#include <imapi2.h>
#include <imapi2fs.h>
#define TESSALINE_SYSTEM_IMAPI2 1
#else
#define TESSALINE_SYSTEM_IMAPI2 0
#endif

namespace tessaline::platform::windows::imapi2 {

// {2735412F-7F64-5B0F-8F00-5D77AFBE261E}, imapi2.dll's type library,
// version 1.0.
inline constexpr GUID kLibImapi2 = {
    0x2735412F,
    0x7F64,
    0x5B0F,
    {0x8F, 0x00, 0x5D, 0x77, 0xAF, 0xBE, 0x26, 0x1E}};
// {2C941FD0-975B-59BE-A960-9A2A262853A5}, imapi2fs.dll's type library,
// version 1.0.
inline constexpr GUID kLibImapi2Fs = {
    0x2C941FD0,
    0x975B,
    0x59BE,
    {0xA9, 0x60, 0x9A, 0x2A, 0x26, 0x28, 0x53, 0xA5}};

// Class identifiers.
inline constexpr CLSID kClsidMsftDiscMaster2 = {
    0x2735412E,
    0x7F64,
    0x5B0F,
    {0x8F, 0x00, 0x5D, 0x77, 0xAF, 0xBE, 0x26, 0x1E}};
inline constexpr CLSID kClsidMsftDiscRecorder2 = {
    0x2735412D,
    0x7F64,
    0x5B0F,
    {0x8F, 0x00, 0x5D, 0x77, 0xAF, 0xBE, 0x26, 0x1E}};
inline constexpr CLSID kClsidMsftDiscFormat2Erase = {
    0x2735412B,
    0x7F64,
    0x5B0F,
    {0x8F, 0x00, 0x5D, 0x77, 0xAF, 0xBE, 0x26, 0x1E}};
inline constexpr CLSID kClsidMsftDiscFormat2Data = {
    0x2735412A,
    0x7F64,
    0x5B0F,
    {0x8F, 0x00, 0x5D, 0x77, 0xAF, 0xBE, 0x26, 0x1E}};
inline constexpr CLSID kClsidMsftFileSystemImage = {
    0x2C941FC5,
    0x975B,
    0x59BE,
    {0xA9, 0x60, 0x9A, 0x2A, 0x26, 0x28, 0x53, 0xA5}};
inline constexpr CLSID kClsidBootOptions = {
    0x2C941FCE,
    0x975B,
    0x59BE,
    {0xA9, 0x60, 0x9A, 0x2A, 0x26, 0x28, 0x53, 0xA5}};

// Interface identifiers (IMAPI2).
inline constexpr IID kIidDiscMaster2 = {
    0x27354130,
    0x7F64,
    0x5B0F,
    {0x8F, 0x00, 0x5D, 0x77, 0xAF, 0xBE, 0x26, 0x1E}};
inline constexpr IID kIidDiscRecorder2Ex = {
    0x27354132,
    0x7F64,
    0x5B0F,
    {0x8F, 0x00, 0x5D, 0x77, 0xAF, 0xBE, 0x26, 0x1E}};
inline constexpr IID kIidDiscRecorder2 = {
    0x27354133,
    0x7F64,
    0x5B0F,
    {0x8F, 0x00, 0x5D, 0x77, 0xAF, 0xBE, 0x26, 0x1E}};
inline constexpr IID kIidWriteEngine2EventArgs = {
    0x27354136,
    0x7F64,
    0x5B0F,
    {0x8F, 0x00, 0x5D, 0x77, 0xAF, 0xBE, 0x26, 0x1E}};
inline constexpr IID kIidDDiscFormat2EraseEvents = {
    0x2735413A,
    0x7F64,
    0x5B0F,
    {0x8F, 0x00, 0x5D, 0x77, 0xAF, 0xBE, 0x26, 0x1E}};
inline constexpr IID kIidDDiscFormat2DataEvents = {
    0x2735413C,
    0x7F64,
    0x5B0F,
    {0x8F, 0x00, 0x5D, 0x77, 0xAF, 0xBE, 0x26, 0x1E}};
inline constexpr IID kIidDiscFormat2DataEventArgs = {
    0x2735413D,
    0x7F64,
    0x5B0F,
    {0x8F, 0x00, 0x5D, 0x77, 0xAF, 0xBE, 0x26, 0x1E}};
inline constexpr IID kIidDiscFormat2 = {
    0x27354152,
    0x8F64,
    0x5B0F,
    {0x8F, 0x00, 0x5D, 0x77, 0xAF, 0xBE, 0x26, 0x1E}};
inline constexpr IID kIidDiscFormat2Data = {
    0x27354153,
    0x9F64,
    0x5B0F,
    {0x8F, 0x00, 0x5D, 0x77, 0xAF, 0xBE, 0x26, 0x1E}};
inline constexpr IID kIidDiscFormat2Erase = {
    0x27354156,
    0x8F64,
    0x5B0F,
    {0x8F, 0x00, 0x5D, 0x77, 0xAF, 0xBE, 0x26, 0x1E}};

// Interface identifiers (IMAPI2FS).
inline constexpr IID kIidBootOptions = {
    0x2C941FD4,
    0x975B,
    0x59BE,
    {0xA9, 0x60, 0x9A, 0x2A, 0x26, 0x28, 0x53, 0xA5}};
inline constexpr IID kIidFileSystemImageResult = {
    0x2C941FD8,
    0x975B,
    0x59BE,
    {0xA9, 0x60, 0x9A, 0x2A, 0x26, 0x28, 0x53, 0xA5}};
inline constexpr IID kIidFsiItem = {
    0x2C941FD9,
    0x975B,
    0x59BE,
    {0xA9, 0x60, 0x9A, 0x2A, 0x26, 0x28, 0x53, 0xA5}};
inline constexpr IID kIidFsiDirectoryItem = {
    0x2C941FDC,
    0x975B,
    0x59BE,
    {0xA9, 0x60, 0x9A, 0x2A, 0x26, 0x28, 0x53, 0xA5}};
inline constexpr IID kIidFileSystemImage = {
    0x2C941FE1,
    0x975B,
    0x59BE,
    {0xA9, 0x60, 0x9A, 0x2A, 0x26, 0x28, 0x53, 0xA5}};

// The dispatch identifier of both event interfaces' Update.
inline constexpr DISPID kDispidUpdate = 0x200;

}  // namespace tessaline::platform::windows::imapi2

#if !TESSALINE_SYSTEM_IMAPI2

// NOLINTBEGIN(readability-identifier-naming)

// Enumerations that appear in the signatures. Only the values the library
// names are listed; all are 32-bit, as MIDL makes them.
typedef enum _IMAPI_FORMAT2_DATA_WRITE_ACTION {
  IMAPI_FORMAT2_DATA_WRITE_ACTION_VALIDATING_MEDIA = 0,
  IMAPI_FORMAT2_DATA_WRITE_ACTION_VERIFYING = 7
} IMAPI_FORMAT2_DATA_WRITE_ACTION;
typedef enum _IMAPI_FORMAT2_DATA_MEDIA_STATE {
  IMAPI_FORMAT2_DATA_MEDIA_STATE_UNKNOWN = 0
} IMAPI_FORMAT2_DATA_MEDIA_STATE;
typedef enum _IMAPI_MEDIA_WRITE_PROTECT_STATE {
  IMAPI_WRITEPROTECTED_UNTIL_POWERDOWN = 1
} IMAPI_MEDIA_WRITE_PROTECT_STATE;
typedef enum _IMAPI_READ_TRACK_ADDRESS_TYPE {
  IMAPI_READ_TRACK_ADDRESS_TYPE_LBA = 0
} IMAPI_READ_TRACK_ADDRESS_TYPE;
typedef enum _IMAPI_FEATURE_PAGE_TYPE {
  IMAPI_FEATURE_PAGE_TYPE_PROFILE_LIST = 0
} IMAPI_FEATURE_PAGE_TYPE;
typedef enum _IMAPI_MODE_PAGE_TYPE {
  IMAPI_MODE_PAGE_TYPE_READ_WRITE_ERROR_RECOVERY = 1
} IMAPI_MODE_PAGE_TYPE;
typedef enum _IMAPI_MODE_PAGE_REQUEST_TYPE {
  IMAPI_MODE_PAGE_REQUEST_TYPE_CURRENT_VALUES = 0
} IMAPI_MODE_PAGE_REQUEST_TYPE;
typedef enum _IMAPI_PROFILE_TYPE {
  IMAPI_PROFILE_TYPE_INVALID = 0
} IMAPI_PROFILE_TYPE;
typedef enum FsiFileSystems {
  FsiFileSystemNone = 0,
  FsiFileSystemISO9660 = 1,
  FsiFileSystemJoliet = 2,
  FsiFileSystemUDF = 4,
  FsiFileSystemUnknown = 0x40000000
} FsiFileSystems;
typedef enum FsiItemType { FsiItemNotFound = 0 } FsiItemType;
typedef enum PlatformId { PlatformX86 = 0 } PlatformId;
typedef enum EmulationType { EmulationNone = 0 } EmulationType;

struct IDiscRecorder2;
struct IFsiItem;
struct IFsiFileItem;
struct IEnumFsiItems;
struct IProgressItems;

// ---- imapi2.h ---------------------------------------------------------

// IDiscMaster2 {27354130-7F64-5B0F-8F00-5D77AFBE261E}, dual.
struct IDiscMaster2 : public IDispatch {
  virtual HRESULT STDMETHODCALLTYPE get__NewEnum(IEnumVARIANT** ppunk) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Item(LONG index, BSTR* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Count(LONG* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE
  get_IsSupportedEnvironment(VARIANT_BOOL* value) = 0;
};

// IDiscRecorder2Ex {27354132-7F64-5B0F-8F00-5D77AFBE261E}, derived from
// IUnknown only: the one interface here without an IDispatch path.
struct IDiscRecorder2Ex : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE SendCommandNoData(BYTE* Cdb, ULONG CdbSize,
                                                      BYTE SenseBuffer[18],
                                                      ULONG Timeout) = 0;
  virtual HRESULT STDMETHODCALLTYPE SendCommandSendDataToDevice(
      BYTE* Cdb, ULONG CdbSize, BYTE SenseBuffer[18], ULONG Timeout,
      BYTE* Buffer, ULONG BufferSize) = 0;
  virtual HRESULT STDMETHODCALLTYPE SendCommandGetDataFromDevice(
      BYTE* Cdb, ULONG CdbSize, BYTE SenseBuffer[18], ULONG Timeout,
      BYTE* Buffer, ULONG BufferSize, ULONG* BufferFetched) = 0;
  virtual HRESULT STDMETHODCALLTYPE ReadDvdStructure(ULONG format,
                                                     ULONG address, ULONG layer,
                                                     ULONG agid, BYTE** data,
                                                     ULONG* count) = 0;
  virtual HRESULT STDMETHODCALLTYPE SendDvdStructure(ULONG format, BYTE* data,
                                                     ULONG count) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetAdapterDescriptor(BYTE** data,
                                                         ULONG* byteSize) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetDeviceDescriptor(BYTE** data,
                                                        ULONG* byteSize) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetDiscInformation(BYTE** discInformation,
                                                       ULONG* byteSize) = 0;
  virtual HRESULT STDMETHODCALLTYPE
  GetTrackInformation(ULONG address, IMAPI_READ_TRACK_ADDRESS_TYPE addressType,
                      BYTE** trackInformation, ULONG* byteSize) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetFeaturePage(
      IMAPI_FEATURE_PAGE_TYPE requestedFeature, BOOLEAN currentFeatureOnly,
      BYTE** featureData, ULONG* byteSize) = 0;
  virtual HRESULT STDMETHODCALLTYPE
  GetModePage(IMAPI_MODE_PAGE_TYPE requestedModePage,
              IMAPI_MODE_PAGE_REQUEST_TYPE requestType, BYTE** modePageData,
              ULONG* byteSize) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetModePage(
      IMAPI_MODE_PAGE_REQUEST_TYPE requestType, BYTE* data, ULONG byteSize) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetSupportedFeaturePages(
      BOOLEAN currentFeatureOnly, IMAPI_FEATURE_PAGE_TYPE** featureData,
      ULONG* byteSize) = 0;
  virtual HRESULT STDMETHODCALLTYPE
  GetSupportedProfiles(BOOLEAN currentOnly, IMAPI_PROFILE_TYPE** profileTypes,
                       ULONG* validProfiles) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetSupportedModePages(
      IMAPI_MODE_PAGE_REQUEST_TYPE requestType,
      IMAPI_MODE_PAGE_TYPE** modePageTypes, ULONG* validPages) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetByteAlignmentMask(ULONG* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE
  GetMaximumNonPageAlignedTransferSize(ULONG* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE
  GetMaximumPageAlignedTransferSize(ULONG* value) = 0;
};

// IDiscRecorder2 {27354133-7F64-5B0F-8F00-5D77AFBE261E}, dual.
struct IDiscRecorder2 : public IDispatch {
  virtual HRESULT STDMETHODCALLTYPE EjectMedia() = 0;
  virtual HRESULT STDMETHODCALLTYPE CloseTray() = 0;
  virtual HRESULT STDMETHODCALLTYPE AcquireExclusiveAccess(VARIANT_BOOL force,
                                                           BSTR clientName) = 0;
  virtual HRESULT STDMETHODCALLTYPE ReleaseExclusiveAccess() = 0;
  virtual HRESULT STDMETHODCALLTYPE DisableMcn() = 0;
  virtual HRESULT STDMETHODCALLTYPE EnableMcn() = 0;
  virtual HRESULT STDMETHODCALLTYPE
  InitializeDiscRecorder(BSTR recorderUniqueId) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_ActiveDiscRecorder(BSTR* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_VendorId(BSTR* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_ProductId(BSTR* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_ProductRevision(BSTR* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_VolumeName(BSTR* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_VolumePathNames(SAFEARRAY** value) = 0;
  virtual HRESULT STDMETHODCALLTYPE
  get_DeviceCanLoadMedia(VARIANT_BOOL* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE
  get_LegacyDeviceNumber(LONG* legacyDeviceNumber) = 0;
  virtual HRESULT STDMETHODCALLTYPE
  get_SupportedFeaturePages(SAFEARRAY** value) = 0;
  virtual HRESULT STDMETHODCALLTYPE
  get_CurrentFeaturePages(SAFEARRAY** value) = 0;
  virtual HRESULT STDMETHODCALLTYPE
  get_SupportedProfiles(SAFEARRAY** value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_CurrentProfiles(SAFEARRAY** value) = 0;
  virtual HRESULT STDMETHODCALLTYPE
  get_SupportedModePages(SAFEARRAY** value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_ExclusiveAccessOwner(BSTR* value) = 0;
};

// IWriteEngine2EventArgs {27354136-7F64-5B0F-8F00-5D77AFBE261E}, dual.
struct IWriteEngine2EventArgs : public IDispatch {
  virtual HRESULT STDMETHODCALLTYPE get_StartLba(LONG* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_SectorCount(LONG* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_LastReadLba(LONG* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_LastWrittenLba(LONG* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_TotalSystemBuffer(LONG* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_UsedSystemBuffer(LONG* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_FreeSystemBuffer(LONG* value) = 0;
};

// IDiscFormat2DataEventArgs {2735413D-7F64-5B0F-8F00-5D77AFBE261E}, dual.
struct IDiscFormat2DataEventArgs : public IWriteEngine2EventArgs {
  virtual HRESULT STDMETHODCALLTYPE get_ElapsedTime(LONG* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_RemainingTime(LONG* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_TotalTime(LONG* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE
  get_CurrentAction(IMAPI_FORMAT2_DATA_WRITE_ACTION* value) = 0;
};

// IDiscFormat2 {27354152-8F64-5B0F-8F00-5D77AFBE261E}, dual.
struct IDiscFormat2 : public IDispatch {
  virtual HRESULT STDMETHODCALLTYPE
  IsRecorderSupported(IDiscRecorder2* recorder, VARIANT_BOOL* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE
  IsCurrentMediaSupported(IDiscRecorder2* recorder, VARIANT_BOOL* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE
  get_MediaPhysicallyBlank(VARIANT_BOOL* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE
  get_MediaHeuristicallyBlank(VARIANT_BOOL* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE
  get_SupportedMediaTypes(SAFEARRAY** value) = 0;
};

// IDiscFormat2Erase {27354156-8F64-5B0F-8F00-5D77AFBE261E}, dual.
struct IDiscFormat2Erase : public IDiscFormat2 {
  virtual HRESULT STDMETHODCALLTYPE put_Recorder(IDiscRecorder2* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Recorder(IDiscRecorder2** value) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_FullErase(VARIANT_BOOL value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_FullErase(VARIANT_BOOL* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE
  get_CurrentPhysicalMediaType(IMAPI_MEDIA_PHYSICAL_TYPE* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_ClientName(BSTR value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_ClientName(BSTR* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE EraseMedia() = 0;
};

// IDiscFormat2Data {27354153-9F64-5B0F-8F00-5D77AFBE261E}, dual.
struct IDiscFormat2Data : public IDiscFormat2 {
  virtual HRESULT STDMETHODCALLTYPE put_Recorder(IDiscRecorder2* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Recorder(IDiscRecorder2** value) = 0;
  virtual HRESULT STDMETHODCALLTYPE
  put_BufferUnderrunFreeDisabled(VARIANT_BOOL value) = 0;
  virtual HRESULT STDMETHODCALLTYPE
  get_BufferUnderrunFreeDisabled(VARIANT_BOOL* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE
  put_PostgapAlreadyInImage(VARIANT_BOOL value) = 0;
  virtual HRESULT STDMETHODCALLTYPE
  get_PostgapAlreadyInImage(VARIANT_BOOL* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE
  get_CurrentMediaStatus(IMAPI_FORMAT2_DATA_MEDIA_STATE* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE
  get_WriteProtectStatus(IMAPI_MEDIA_WRITE_PROTECT_STATE* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_TotalSectorsOnMedia(LONG* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_FreeSectorsOnMedia(LONG* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_NextWritableAddress(LONG* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE
  get_StartAddressOfPreviousSession(LONG* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE
  get_LastWrittenAddressOfPreviousSession(LONG* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE
  put_ForceMediaToBeClosed(VARIANT_BOOL value) = 0;
  virtual HRESULT STDMETHODCALLTYPE
  get_ForceMediaToBeClosed(VARIANT_BOOL* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE
  put_DisableConsumerDvdCompatibilityMode(VARIANT_BOOL value) = 0;
  virtual HRESULT STDMETHODCALLTYPE
  get_DisableConsumerDvdCompatibilityMode(VARIANT_BOOL* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE
  get_CurrentPhysicalMediaType(IMAPI_MEDIA_PHYSICAL_TYPE* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_ClientName(BSTR value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_ClientName(BSTR* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_RequestedWriteSpeed(LONG* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE
  get_RequestedRotationTypeIsPureCAV(VARIANT_BOOL* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_CurrentWriteSpeed(LONG* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE
  get_CurrentRotationTypeIsPureCAV(VARIANT_BOOL* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE
  get_SupportedWriteSpeeds(SAFEARRAY** supportedSpeeds) = 0;
  virtual HRESULT STDMETHODCALLTYPE
  get_SupportedWriteSpeedDescriptors(SAFEARRAY** supportedSpeedDescriptors) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_ForceOverwrite(VARIANT_BOOL value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_ForceOverwrite(VARIANT_BOOL* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE
  get_MultisessionInterfaces(SAFEARRAY** value) = 0;
  virtual HRESULT STDMETHODCALLTYPE Write(IStream* data) = 0;
  virtual HRESULT STDMETHODCALLTYPE CancelWrite() = 0;
  virtual HRESULT STDMETHODCALLTYPE SetWriteSpeed(
      LONG RequestedSectorsPerSecond, VARIANT_BOOL RotationTypeIsPureCAV) = 0;
};

// DDiscFormat2EraseEvents {2735413A-7F64-5B0F-8F00-5D77AFBE261E}: Update
// has dispatch identifier 0x200.
struct DDiscFormat2EraseEvents : public IDispatch {
  virtual HRESULT STDMETHODCALLTYPE Update(IDispatch* object,
                                           LONG elapsedSeconds,
                                           LONG estimatedTotalSeconds) = 0;
};

// DDiscFormat2DataEvents {2735413C-7F64-5B0F-8F00-5D77AFBE261E}: Update
// has dispatch identifier 0x200.
struct DDiscFormat2DataEvents : public IDispatch {
  virtual HRESULT STDMETHODCALLTYPE Update(IDispatch* object,
                                           IDispatch* progress) = 0;
};

// ---- imapi2fs.h -------------------------------------------------------

// IBootOptions {2C941FD4-975B-59BE-A960-9A2A262853A5}, dual.
struct IBootOptions : public IDispatch {
  virtual HRESULT STDMETHODCALLTYPE get_BootImage(IStream** pVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Manufacturer(BSTR* pVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_Manufacturer(BSTR newVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_PlatformId(PlatformId* pVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_PlatformId(PlatformId newVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Emulation(EmulationType* pVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_Emulation(EmulationType newVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_ImageSize(ULONG* pVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE AssignBootImage(IStream* newVal) = 0;
};

// IFileSystemImageResult {2C941FD8-975B-59BE-A960-9A2A262853A5}, dual.
struct IFileSystemImageResult : public IDispatch {
  virtual HRESULT STDMETHODCALLTYPE get_ImageStream(IStream** pVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE
  get_ProgressItems(IProgressItems** pVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_TotalBlocks(LONG* pVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_BlockSize(LONG* pVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_DiscId(BSTR* pVal) = 0;
};

// IFsiItem {2C941FD9-975B-59BE-A960-9A2A262853A5}, dual.
struct IFsiItem : public IDispatch {
  virtual HRESULT STDMETHODCALLTYPE get_Name(BSTR* pVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_FullPath(BSTR* pVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_CreationTime(DATE* pVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_CreationTime(DATE newVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_LastAccessedTime(DATE* pVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_LastAccessedTime(DATE newVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_LastModifiedTime(DATE* pVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_LastModifiedTime(DATE newVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_IsHidden(VARIANT_BOOL* pVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_IsHidden(VARIANT_BOOL newVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE FileSystemName(FsiFileSystems fileSystem,
                                                   BSTR* pVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE FileSystemPath(FsiFileSystems fileSystem,
                                                   BSTR* pVal) = 0;
};

// IFsiDirectoryItem {2C941FDC-975B-59BE-A960-9A2A262853A5}, dual.
struct IFsiDirectoryItem : public IFsiItem {
  virtual HRESULT STDMETHODCALLTYPE get__NewEnum(IEnumVARIANT** NewEnum) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Item(BSTR path, IFsiItem** item) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Count(LONG* Count) = 0;
  virtual HRESULT STDMETHODCALLTYPE
  get_EnumFsiItems(IEnumFsiItems** NewEnum) = 0;
  virtual HRESULT STDMETHODCALLTYPE AddDirectory(BSTR path) = 0;
  virtual HRESULT STDMETHODCALLTYPE AddFile(BSTR path, IStream* fileData) = 0;
  virtual HRESULT STDMETHODCALLTYPE
  AddTree(BSTR sourceDirectory, VARIANT_BOOL includeBaseDirectory) = 0;
  virtual HRESULT STDMETHODCALLTYPE Add(IFsiItem* item) = 0;
  virtual HRESULT STDMETHODCALLTYPE Remove(BSTR path) = 0;
  virtual HRESULT STDMETHODCALLTYPE RemoveTree(BSTR path) = 0;
};

// IFileSystemImage {2C941FE1-975B-59BE-A960-9A2A262853A5}, dual.
struct IFileSystemImage : public IDispatch {
  virtual HRESULT STDMETHODCALLTYPE get_Root(IFsiDirectoryItem** pVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_SessionStartBlock(LONG* pVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_SessionStartBlock(LONG newVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_FreeMediaBlocks(LONG* pVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_FreeMediaBlocks(LONG newVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE
  SetMaxMediaBlocksFromDevice(IDiscRecorder2* discRecorder) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_UsedBlocks(LONG* pVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_VolumeName(BSTR* pVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_VolumeName(BSTR newVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_ImportedVolumeName(BSTR* pVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE
  get_BootImageOptions(IBootOptions** pVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE
  put_BootImageOptions(IBootOptions* newVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_FileCount(LONG* pVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_DirectoryCount(LONG* pVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_WorkingDirectory(BSTR* pVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_WorkingDirectory(BSTR newVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_ChangePoint(LONG* pVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE
  get_StrictFileSystemCompliance(VARIANT_BOOL* pVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE
  put_StrictFileSystemCompliance(VARIANT_BOOL newVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE
  get_UseRestrictedCharacterSet(VARIANT_BOOL* pVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE
  put_UseRestrictedCharacterSet(VARIANT_BOOL newVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE
  get_FileSystemsToCreate(FsiFileSystems* pVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE
  put_FileSystemsToCreate(FsiFileSystems newVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE
  get_FileSystemsSupported(FsiFileSystems* pVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_UDFRevision(LONG newVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_UDFRevision(LONG* pVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE
  get_UDFRevisionsSupported(SAFEARRAY** pVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE
  ChooseImageDefaults(IDiscRecorder2* discRecorder) = 0;
  virtual HRESULT STDMETHODCALLTYPE
  ChooseImageDefaultsForMediaType(IMAPI_MEDIA_PHYSICAL_TYPE value) = 0;
  virtual HRESULT STDMETHODCALLTYPE
  put_ISO9660InterchangeLevel(LONG newVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_ISO9660InterchangeLevel(LONG* pVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE
  get_ISO9660InterchangeLevelsSupported(SAFEARRAY** pVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE
  CreateResultImage(IFileSystemImageResult** resultStream) = 0;
  virtual HRESULT STDMETHODCALLTYPE Exists(BSTR FullPath,
                                           FsiItemType* itemType) = 0;
  virtual HRESULT STDMETHODCALLTYPE
  CalculateDiscIdentifier(BSTR* discIdentifier) = 0;
  virtual HRESULT STDMETHODCALLTYPE IdentifyFileSystemsOnDisc(
      IDiscRecorder2* discRecorder, FsiFileSystems* fileSystems) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetDefaultFileSystemForImport(
      FsiFileSystems fileSystems, FsiFileSystems* importDefault) = 0;
  virtual HRESULT STDMETHODCALLTYPE
  ImportFileSystem(FsiFileSystems* importedFileSystem) = 0;
  virtual HRESULT STDMETHODCALLTYPE
  ImportSpecificFileSystem(FsiFileSystems fileSystemToUse) = 0;
  virtual HRESULT STDMETHODCALLTYPE RollbackToChangePoint(LONG ChangePoint) = 0;
  virtual HRESULT STDMETHODCALLTYPE LockInChangePoint() = 0;
  virtual HRESULT STDMETHODCALLTYPE
  CreateDirectoryItem(BSTR Name, IFsiDirectoryItem** newItem) = 0;
  virtual HRESULT STDMETHODCALLTYPE CreateFileItem(BSTR Name,
                                                   IFsiFileItem** newItem) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_VolumeNameUDF(BSTR* pVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_VolumeNameJoliet(BSTR* pVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_VolumeNameISO9660(BSTR* pVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_StageFiles(VARIANT_BOOL* pVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_StageFiles(VARIANT_BOOL newVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE
  get_MultisessionInterfaces(SAFEARRAY** pVal) = 0;
  virtual HRESULT STDMETHODCALLTYPE
  put_MultisessionInterfaces(SAFEARRAY* newVal) = 0;
};

// NOLINTEND(readability-identifier-naming)

#endif  // !TESSALINE_SYSTEM_IMAPI2

#endif  // TESSALINE_PLATFORM_WINDOWS_IMAPI2_INTERFACES_H_
