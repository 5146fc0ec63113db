// The disc services of the platform: the objects of the Windows Image
// Mastering API (IMAPI2) that the library uses, one-to-one, as plain C++
// interfaces. Methods return the HRESULT that IMAPI2 returns (negative on
// failure) and give results through out-parameters, so the burn code reads
// as a chain of steps on one status and the Windows backend is a thin
// pass-through. Objects are held by std::shared_ptr, which stands for the
// COM reference count: the last holder releases the object.
//
// The objects are used on one thread at a time (the thread that created
// them), except CancelWrite, which an event sink calls from inside Write.
#ifndef TESSALINE_PLATFORM_DISC_H_
#define TESSALINE_PLATFORM_DISC_H_

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "tessaline/media_types.h"

namespace tessaline::platform {

using HRESULT = std::int32_t;

constexpr bool Succeeded(HRESULT hr) { return hr >= 0; }
constexpr bool Failed(HRESULT hr) { return hr < 0; }

// The constants keep IMAPI2's and Windows' names and values. Where the
// Windows headers define them already, theirs are used.
#define TESSALINE_HRESULT(name, value) \
  inline constexpr HRESULT k##name = static_cast<HRESULT>(value)

TESSALINE_HRESULT(S_OK, 0x00000000u);
TESSALINE_HRESULT(S_FALSE, 0x00000001u);
TESSALINE_HRESULT(E_NOTIMPL, 0x80004001u);
TESSALINE_HRESULT(E_NOINTERFACE, 0x80004002u);
TESSALINE_HRESULT(E_POINTER, 0x80004003u);
TESSALINE_HRESULT(E_FAIL, 0x80004005u);
TESSALINE_HRESULT(E_OUTOFMEMORY, 0x8007000Eu);
TESSALINE_HRESULT(E_INVALIDARG, 0x80070057u);
// IMAPI2 (imapi2error.h).
TESSALINE_HRESULT(E_IMAPI_REQUEST_CANCELLED, 0xC0AA0002u);
TESSALINE_HRESULT(E_IMAPI_RECORDER_REQUIRED, 0xC0AA0003u);
TESSALINE_HRESULT(E_IMAPI_RECORDER_MEDIA_NO_MEDIA, 0xC0AA0202u);
TESSALINE_HRESULT(E_IMAPI_RECORDER_MEDIA_INCOMPATIBLE, 0xC0AA0203u);
TESSALINE_HRESULT(E_IMAPI_RECORDER_MEDIA_BUSY, 0xC0AA0207u);
TESSALINE_HRESULT(E_IMAPI_RECORDER_MEDIA_WRITE_PROTECTED, 0xC0AA0209u);
TESSALINE_HRESULT(E_IMAPI_RECORDER_NO_SUCH_FEATURE, 0xC0AA020Au);
TESSALINE_HRESULT(E_IMAPI_RECORDER_FEATURE_IS_NOT_CURRENT, 0xC0AA020Bu);
TESSALINE_HRESULT(E_IMAPI_DF2DATA_WRITE_IN_PROGRESS, 0xC0AA0400u);
TESSALINE_HRESULT(E_IMAPI_DF2DATA_WRITE_NOT_IN_PROGRESS, 0xC0AA0401u);
TESSALINE_HRESULT(E_IMAPI_DF2DATA_INVALID_MEDIA_STATE, 0xC0AA0402u);
TESSALINE_HRESULT(E_IMAPI_DF2DATA_STREAM_NOT_SUPPORTED, 0xC0AA0403u);
TESSALINE_HRESULT(E_IMAPI_DF2DATA_STREAM_TOO_LARGE_FOR_CURRENT_MEDIA,
                  0xC0AA0404u);
TESSALINE_HRESULT(E_IMAPI_DF2DATA_MEDIA_NOT_BLANK, 0xC0AA0405u);
TESSALINE_HRESULT(E_IMAPI_DF2DATA_MEDIA_IS_NOT_SUPPORTED, 0xC0AA0406u);
TESSALINE_HRESULT(E_IMAPI_DF2DATA_RECORDER_NOT_SUPPORTED, 0xC0AA0407u);
TESSALINE_HRESULT(E_IMAPI_DF2DATA_CLIENT_NAME_IS_NOT_VALID, 0xC0AA0408u);
TESSALINE_HRESULT(E_IMAPI_ERASE_MEDIA_IS_NOT_SUPPORTED, 0xC0AA0909u);
TESSALINE_HRESULT(E_IMAPI_ERASE_RECORDER_NOT_SUPPORTED, 0xC0AA090Au);
// IMAPI2FS (imapi2fserror.h).
TESSALINE_HRESULT(IMAPI_E_IMAGE_SIZE_LIMIT, 0xC0AAB120u);
TESSALINE_HRESULT(IMAPI_E_INVALID_PARAM, 0xC0AAB101u);
TESSALINE_HRESULT(IMAPI_E_BOOT_IMAGE_DATA, 0xC0AAB148u);
TESSALINE_HRESULT(IMAPI_E_FILE_NOT_FOUND, 0xC0AAB119u);
TESSALINE_HRESULT(IMAPI_E_DIR_NOT_FOUND, 0xC0AAB11Au);
TESSALINE_HRESULT(IMAPI_E_NOT_DIR, 0xC0AAB109u);
TESSALINE_HRESULT(IMAPI_E_INVALID_PATH, 0xC0AAB110u);
TESSALINE_HRESULT(IMAPI_E_DUP_NAME, 0xC0AAB112u);
TESSALINE_HRESULT(IMAPI_E_DATA_STREAM_INCONSISTENCY, 0xC0AAB128u);
TESSALINE_HRESULT(IMAPI_E_DATA_STREAM_READ_FAILURE, 0xC0AAB129u);
TESSALINE_HRESULT(IMAPI_E_DATA_STREAM_CREATE_FAILURE, 0xC0AAB12Au);
TESSALINE_HRESULT(IMAPI_E_DIRECTORY_READ_FAILURE, 0xC0AAB12Bu);
TESSALINE_HRESULT(IMAPI_E_DATA_TOO_BIG, 0xC0AAB132u);

#undef TESSALINE_HRESULT

// IMAPI_FORMAT2_DATA_WRITE_ACTION.
enum WriteAction : std::int32_t {
  kWriteActionValidatingMedia = 0,
  kWriteActionFormattingMedia = 1,
  kWriteActionInitializingHardware = 2,
  kWriteActionCalibratingPower = 3,
  kWriteActionWritingData = 4,
  kWriteActionFinalization = 5,
  kWriteActionCompleted = 6,
  kWriteActionVerifying = 7
};

// IMAPI_FORMAT2_DATA_MEDIA_STATE flags.
enum MediaState : std::uint32_t {
  kMediaStateUnknown = 0x0,
  kMediaStateOverwriteOnly = 0x1,
  kMediaStateBlank = 0x2,
  kMediaStateAppendable = 0x4,
  kMediaStateFinalSession = 0x8,
  kMediaStateDamaged = 0x400,
  kMediaStateEraseRequired = 0x800,
  kMediaStateNonEmptySession = 0x1000,
  kMediaStateWriteProtected = 0x2000,
  kMediaStateFinalized = 0x4000,
  kMediaStateUnsupportedMedia = 0x8000
};

// IMAPI_MEDIA_WRITE_PROTECT_STATE flags.
enum WriteProtectState : std::uint32_t {
  kWriteProtectNone = 0x0,
  kWriteProtectUntilPowerdown = 0x1,
  kWriteProtectByCartridge = 0x2,
  kWriteProtectByMediaSpecificReason = 0x4,
  kWriteProtectBySoftwareWriteProtect = 0x8,
  kWriteProtectByDiscControlBlock = 0x10,
  kWriteProtectReadOnlyMedia = 0x4000
};

// IMAPI_FEATURE_PAGE_TYPE values the library reads.
enum FeaturePage : std::uint32_t {
  kFeatureCdRead = 0x1E,
  kFeatureDvdRead = 0x1F,
  kFeatureCdrwCavWrite = 0x27,
  kFeatureDvdPlusRw = 0x2A,
  kFeatureDvdPlusR = 0x2B,
  kFeatureCdTrackAtOnce = 0x2D,
  kFeatureCdMastering = 0x2E,
  kFeatureDvdDashWrite = 0x2F,
  kFeatureCdrwMediaWriteSupport = 0x37,
  kFeatureDvdPlusRDualLayer = 0x3B,
  kFeatureBdRead = 0x40,
  kFeatureBdWrite = 0x41,
  kFeatureHdDvdRead = 0x50,
  kFeatureHdDvdWrite = 0x51
};

// FsiFileSystems flags.
enum FileSystems : std::uint32_t {
  kFileSystemNone = 0,
  kFileSystemISO9660 = 1,
  kFileSystemJoliet = 2,
  kFileSystemUDF = 4
};

// A readable byte stream (IStream, as far as the library reads one).
class IStream : NonCopyable {
 public:
  virtual ~IStream() = default;
  // Size in bytes (STATSTG.cbSize).
  virtual HRESULT Stat(std::uint64_t* size) = 0;
  // Reads up to `size` bytes; *read < size only at the end of the stream.
  virtual HRESULT Read(void* buffer, std::uint32_t size,
                       std::uint32_t* read) = 0;
};

class IDiscRecorder2Ex : NonCopyable {
 public:
  virtual ~IDiscRecorder2Ex() = default;
  // The feature descriptor, byte 0 being the first byte of the feature code.
  virtual HRESULT GetFeaturePage(std::uint32_t feature, bool current_only,
                                 std::vector<std::uint8_t>* descriptor) = 0;
};

class IDiscRecorder2 : NonCopyable {
 public:
  virtual ~IDiscRecorder2() = default;
  virtual HRESULT InitializeDiscRecorder(const std::wstring& unique_id) = 0;
  virtual HRESULT GetVendorId(std::wstring* vendor) = 0;
  virtual HRESULT GetProductId(std::wstring* product) = 0;
  virtual HRESULT GetVolumePathNames(std::vector<std::wstring>* paths) = 0;
  virtual HRESULT GetSupportedFeaturePages(
      std::vector<std::uint32_t>* features) = 0;
  virtual HRESULT DisableMcn() = 0;
  virtual HRESULT EnableMcn() = 0;
  // QueryInterface for IDiscRecorder2Ex.
  virtual HRESULT QueryRecorderEx(std::shared_ptr<IDiscRecorder2Ex>* ex) = 0;
};

class IDiscMaster2 : NonCopyable {
 public:
  virtual ~IDiscMaster2() = default;
  virtual HRESULT GetCount(std::int32_t* count) = 0;
  // The unique id of the recorder at `index`.
  virtual HRESULT GetItem(std::int32_t index, std::wstring* unique_id) = 0;
};

// IDiscFormat2DataEventArgs with the eleven values the sink reads; each
// read can fail.
class IDiscFormat2DataEventArgs : NonCopyable {
 public:
  virtual ~IDiscFormat2DataEventArgs() = default;
  virtual HRESULT GetElapsedTime(std::int32_t* seconds) = 0;
  virtual HRESULT GetRemainingTime(std::int32_t* seconds) = 0;
  virtual HRESULT GetTotalTime(std::int32_t* seconds) = 0;
  virtual HRESULT GetCurrentAction(std::int32_t* action) = 0;
  virtual HRESULT GetStartLba(std::int32_t* lba) = 0;
  virtual HRESULT GetSectorCount(std::int32_t* count) = 0;
  virtual HRESULT GetLastReadLba(std::int32_t* lba) = 0;
  virtual HRESULT GetLastWrittenLba(std::int32_t* lba) = 0;
  virtual HRESULT GetTotalSystemBuffer(std::int32_t* bytes) = 0;
  virtual HRESULT GetUsedSystemBuffer(std::int32_t* bytes) = 0;
  virtual HRESULT GetFreeSystemBuffer(std::int32_t* bytes) = 0;
};

class IDiscFormat2Data;
class IDiscFormat2Erase;

// DDiscFormat2DataEvents. `object` is the data writer, or null when the
// event's source does not answer for IDiscFormat2Data; `progress` is null
// when the event's arguments do not answer for IDiscFormat2DataEventArgs.
class DDiscFormat2DataEvents {
 public:
  virtual ~DDiscFormat2DataEvents() = default;
  virtual HRESULT Update(IDiscFormat2Data* object,
                         IDiscFormat2DataEventArgs* progress) = 0;
};

// DDiscFormat2EraseEvents.
class DDiscFormat2EraseEvents {
 public:
  virtual ~DDiscFormat2EraseEvents() = default;
  virtual HRESULT Update(IDiscFormat2Erase* object,
                         std::int32_t elapsed_seconds,
                         std::int32_t expected_seconds) = 0;
};

class IDiscFormat2Data : NonCopyable {
 public:
  virtual ~IDiscFormat2Data() = default;
  virtual HRESULT IsRecorderSupported(IDiscRecorder2* recorder,
                                      bool* supported) = 0;
  // Binds the writer to a recorder; null undoes the binding.
  virtual HRESULT PutRecorder(std::shared_ptr<IDiscRecorder2> recorder) = 0;
  virtual HRESULT PutClientName(const std::wstring& name) = 0;
  virtual HRESULT GetSupportedMediaTypes(
      std::vector<IMAPI_MEDIA_PHYSICAL_TYPE>* types) = 0;
  virtual HRESULT GetCurrentPhysicalMediaType(
      IMAPI_MEDIA_PHYSICAL_TYPE* type) = 0;
  // State flags of MediaState.
  virtual HRESULT GetCurrentMediaStatus(std::uint32_t* state) = 0;
  virtual HRESULT GetMediaHeuristicallyBlank(bool* blank) = 0;
  virtual HRESULT GetFreeSectorsOnMedia(std::int32_t* sectors) = 0;
  // Writes the stream from its start; returns kE_IMAPI_REQUEST_CANCELLED
  // after CancelWrite.
  virtual HRESULT Write(IStream* data) = 0;
  virtual HRESULT CancelWrite() = 0;
  virtual HRESULT GetWriteProtectStatus(std::uint32_t* state) = 0;
  // The connection point of DDiscFormat2DataEvents.
  virtual HRESULT Advise(std::shared_ptr<DDiscFormat2DataEvents> sink,
                         std::uint32_t* cookie) = 0;
  virtual HRESULT Unadvise(std::uint32_t cookie) = 0;
};

class IDiscFormat2Erase : NonCopyable {
 public:
  virtual ~IDiscFormat2Erase() = default;
  virtual HRESULT PutRecorder(std::shared_ptr<IDiscRecorder2> recorder) = 0;
  virtual HRESULT PutClientName(const std::wstring& name) = 0;
  virtual HRESULT GetCurrentPhysicalMediaType(
      IMAPI_MEDIA_PHYSICAL_TYPE* type) = 0;
  virtual HRESULT PutFullErase(bool full) = 0;
  virtual HRESULT EraseMedia() = 0;
  virtual HRESULT Advise(std::shared_ptr<DDiscFormat2EraseEvents> sink,
                         std::uint32_t* cookie) = 0;
  virtual HRESULT Unadvise(std::uint32_t cookie) = 0;
};

class IFsiDirectoryItem : NonCopyable {
 public:
  virtual ~IFsiDirectoryItem() = default;
  // Adds the folder's content below this directory, or the folder itself
  // with its content when `include_base_directory` is set.
  virtual HRESULT AddTree(const std::wstring& source_directory,
                          bool include_base_directory) = 0;
};

class IBootOptions : NonCopyable {
 public:
  virtual ~IBootOptions() = default;
  virtual HRESULT AssignBootImage(std::shared_ptr<IStream> image) = 0;
};

class IFileSystemImageResult : NonCopyable {
 public:
  virtual ~IFileSystemImageResult() = default;
  virtual HRESULT GetImageStream(std::shared_ptr<IStream>* stream) = 0;
  // Size of the image in 2048-byte blocks.
  virtual HRESULT GetTotalBlocks(std::int32_t* blocks) = 0;
};

class IFileSystemImage : NonCopyable {
 public:
  virtual ~IFileSystemImage() = default;
  // Flags of FileSystems.
  virtual HRESULT PutFileSystemsToCreate(std::uint32_t file_systems) = 0;
  virtual HRESULT GetFileSystemsToCreate(std::uint32_t* file_systems) = 0;
  virtual HRESULT GetRoot(std::shared_ptr<IFsiDirectoryItem>* root) = 0;
  virtual HRESULT PutBootImageOptions(
      std::shared_ptr<IBootOptions> options) = 0;
  virtual HRESULT GetFileCount(std::int32_t* count) = 0;
  virtual HRESULT GetDirectoryCount(std::int32_t* count) = 0;
  virtual HRESULT PutVolumeName(const std::wstring& name) = 0;
  virtual HRESULT PutFreeMediaBlocks(std::int32_t blocks) = 0;
  virtual HRESULT CreateResultImage(
      std::shared_ptr<IFileSystemImageResult>* result) = 0;
};

// The factory of the objects above (CoCreateInstance of MsftDiscMaster2,
// MsftDiscRecorder2, MsftDiscFormat2Data, MsftDiscFormat2Erase,
// MsftFileSystemImage, BootOptions; SHCreateStreamOnFileW).
class DiscServices : NonCopyable {
 public:
  virtual ~DiscServices() = default;
  virtual HRESULT CreateDiscMaster(std::shared_ptr<IDiscMaster2>* out) = 0;
  virtual HRESULT CreateRecorder(std::shared_ptr<IDiscRecorder2>* out) = 0;
  virtual HRESULT CreateDataWriter(std::shared_ptr<IDiscFormat2Data>* out) = 0;
  virtual HRESULT CreateEraser(std::shared_ptr<IDiscFormat2Erase>* out) = 0;
  virtual HRESULT CreateFileSystemImage(
      std::shared_ptr<IFileSystemImage>* out) = 0;
  virtual HRESULT CreateBootOptions(std::shared_ptr<IBootOptions>* out) = 0;
  // Opens a file as a read stream that denies writers while it is open.
  virtual HRESULT CreateStreamOnFile(const std::wstring& path,
                                     std::shared_ptr<IStream>* out) = 0;
};

}  // namespace tessaline::platform

#endif  // TESSALINE_PLATFORM_DISC_H_
