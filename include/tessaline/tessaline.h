// The public surface of the recovery-disc library: the creator class
// `Tessaline`, the recorder record, the status callback and the exceptions
// that reach the host.
#ifndef TESSALINE_TESSALINE_H_
#define TESSALINE_TESSALINE_H_

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "tessaline/export.h"
#include "tessaline/media_types.h"
#include "tessaline/status_codes.h"

namespace tessaline {
class MediaWriter;
namespace platform {
struct Platform;
}  // namespace platform
}  // namespace tessaline

// Status report of a writer job, made on the job's thread. `first` and
// `second` are pointer-sized so that code 12 can carry the address of its
// failure text; the text is valid during the call only.
//
// From inside the callback a host may call, on the creator that started the
// job: Cancel, CreateDisc (typically for the next disc, from the final
// report), SetDrive, SetTempDir, assignment and destruction of the creator,
// and the static operations. The final report (10 to 14) is the job's last
// act on the work folder and the recorder: a job started from it finds both
// free. A job released from its own callback is waited for later, on the
// next release on another thread or at exit, never left running unowned.
using StatusCallback = void (*)(std::int32_t code, std::intptr_t first,
                                std::intptr_t second, void* context);

// Thrown by AnalyzeLayout.
class TESSALINE_API CreateMediaException {
 public:
  explicit CreateMediaException(std::wstring text) : message(std::move(text)) {}
  std::wstring message;
};

// Thrown by AnalyzeLayout when no drive has room for a disc's work files.
class TESSALINE_API CreateMediaExceptionMoreDiskSpaceNeededPlease {
 public:
  explicit CreateMediaExceptionMoreDiskSpaceNeededPlease(std::int32_t mb)
      : megabytesNeeded(mb) {}
  std::int32_t megabytesNeeded;
};

// A failure of building or writing a disc; reported with status 12.
// `detail` names what failed and the system's reason, where it is known; the
// report carries `message` alone.
class TESSALINE_API MediaWriterException {
 public:
  explicit MediaWriterException(std::wstring text, std::wstring why = {})
      : message(std::move(text)), detail(std::move(why)) {}
  std::wstring message;
  std::wstring detail;
};

// A failure of verifying a disc; reported with status 14 (chunk, code).
class TESSALINE_API MediaVerifyException {
 public:
  MediaVerifyException(std::wstring text, std::int32_t chunk_number,
                       std::int32_t failure_code, std::wstring why = {})
      : message(std::move(text)),
        chunk(chunk_number),
        code(failure_code),
        detail(std::move(why)) {}
  std::wstring message;
  std::int32_t chunk;
  std::int32_t code;
  // As MediaWriterException::detail.
  std::wstring detail;
};

// The user must act on the medium; reported with status 13 (reason).
class TESSALINE_API UserNeededException {
 public:
  explicit UserNeededException(std::int32_t why) : reason(why) {}
  std::int32_t reason;
};

// A file that the library had to create could not be created.
class TESSALINE_API FileException {
 public:
  FileException(std::wstring file_path, std::wstring text)
      : path(std::move(file_path)), message(std::move(text)) {}
  std::wstring path;
  std::wstring message;
};

// One recorder as ListRecorders reports it. The flag arrays are indexed by
// IMAPI_MEDIA_PHYSICAL_TYPE.
struct TESSALINE_API RecorderInfo {
  std::wstring productId;
  std::wstring vendorId;
  std::int32_t index = -1;
  bool currentMediaFlags[20] = {};
  bool mediaSupportFlags[20] = {};
  std::wstring mountPoints;
  IMAPI_MEDIA_PHYSICAL_TYPE currentMediaType = IMAPI_MEDIA_TYPE_UNKNOWN;
};

// The creator of one set of recovery discs.
class TESSALINE_API Tessaline {
 public:
  using PlatformPtr = std::shared_ptr<tessaline::platform::Platform>;

  Tessaline(const wchar_t* workFolder, const wchar_t* sourceFolder,
            const wchar_t* mediaName);
  Tessaline(const wchar_t* workFolder, const wchar_t* sourceFolder,
            const wchar_t* mediaName, PlatformPtr platform);
  // Copies the settings and the plan and takes over the other creator's job.
  Tessaline(Tessaline& other);
  Tessaline& operator=(Tessaline& other);
  ~Tessaline();

  // Reads the layout file once into the plan. Refuses a media name that
  // cannot be part of a file name, a value longer than 0xFFFFF characters
  // ("Value too long (for key)") and an item list of empty entries only.
  void AnalyzeLayout(const wchar_t* layoutPath);
  std::uint32_t NumDiscs() const;
  // The item list and the size text that AnalyzeLayout read for `disc`
  // (the size is empty for an entry it did not read); false when the plan
  // has no such disc. A host shows the plan through this, so what it shows
  // is what the discs get.
  bool DiscPlan(std::int32_t disc, std::wstring* items,
                std::wstring* size) const;
  // Throws CreateMediaException for a media name that cannot be part of a
  // file name, and MediaWriterException when the work folder and the
  // source folder overlap; both before anything is created or copied.
  void Stage(std::int32_t disc);
  // Reports a job's failures only through the callback, with one exception:
  // a media name that cannot be part of a file name throws
  // CreateMediaException at once, before any job starts or any file is
  // touched (AnalyzeLayout has refused that name already, so only a host
  // that skipped it meets this). A work folder that overlaps the source
  // folder starts no job either: the callback gets the final report 12,
  // naming both folders, before CreateDisc returns.
  void CreateDisc(std::int32_t disc, std::int32_t verify,
                  StatusCallback callback, void* context);
  void SetDrive(std::int32_t index);
  std::int32_t SetTempDir(const wchar_t* folder);
  // Stores a pointer to the work folder's text, valid until the work folder
  // changes or the creator goes.
  std::int32_t GetTempDir(const wchar_t** folder) const;
  void Cancel();
  // Why the last job ended with report 12 or 14, beyond the report's own
  // text: the file or folder that could not be copied, read or compared,
  // and the system's reason (the errno text, or the Windows message), as
  // "path: reason". Empty before that report, after any other final report
  // and where the job knows no more than its report said. May be called
  // from the status callback.
  std::wstring FailureDetail() const;

  static void ListRecorders(std::vector<RecorderInfo>& recorders);
  static void ListRecorders(std::vector<RecorderInfo>& recorders,
                            PlatformPtr platform);
  static IMAPI_MEDIA_PHYSICAL_TYPE MediaTypeInRecorder(std::int32_t index,
                                                       std::int32_t* status);
  static IMAPI_MEDIA_PHYSICAL_TYPE MediaTypeInRecorder(std::int32_t index,
                                                       std::int32_t* status,
                                                       PlatformPtr platform);
  static bool IsMediaBlank(std::int32_t index);
  static bool IsMediaBlank(std::int32_t index, PlatformPtr platform);
  static void EjectClose(std::uint32_t index, bool close);
  static void EjectClose(std::uint32_t index, bool close, PlatformPtr platform);
  static std::int32_t DriveLock(std::uint32_t index, bool lock);
  static std::int32_t DriveLock(std::uint32_t index, bool lock,
                                PlatformPtr platform);
  static std::int32_t DisableEnableMCN(std::uint32_t index, bool disable);
  static std::int32_t DisableEnableMCN(std::uint32_t index, bool disable,
                                       PlatformPtr platform);

 private:
  using CancelFlag = std::atomic<std::uint8_t>;

  std::wstring MediaSection() const;
  bool HasRoomFor(const std::wstring& folder, const std::wstring& size) const;
  void SearchDriveWithRoom(const std::wstring& size);
  // Joins the job (if any) so that no thread outlives it, then drops it.
  void ReleaseJob();
  // Puts `job` into the job slot and then releases the job that was there.
  void InstallJob(std::unique_ptr<tessaline::MediaWriter> job);
  // Moves `owner`'s job out; the caller holds owner's job lock.
  static std::unique_ptr<tessaline::MediaWriter> TakeJob(Tessaline& owner);

  std::wstring workFolder_;
  std::wstring sourceFolder_;
  std::wstring mediaName_;
  std::int32_t recorderIndex_ = 0;
  std::map<std::int32_t, std::wstring> plan_;
  // The size text of each disc that AnalyzeLayout read, for DiscPlan.
  std::map<std::int32_t, std::wstring> sizes_;
  std::unique_ptr<tessaline::MediaWriter> job_;
  // Shared with the jobs this creator starts, so a job never reads a freed
  // flag even after it moved to another creator.
  std::shared_ptr<CancelFlag> cancel_;
  PlatformPtr platform_;
  // Guards job_ and cancel_ against Cancel from another thread. Never held
  // while a job is joined, since a job's status callback may call Cancel.
  mutable std::mutex jobMutex_;
};

#endif  // TESSALINE_TESSALINE_H_
