// The one seam between the library and the operating system. Every call the
// core makes to the system goes through a Platform, which the creator takes
// (or defaults to the system platform) and hands on to every job. Backends
// live in posix/, windows/ and virtual/; tests substitute doubles.
//
// Unless said otherwise, methods may be called from any thread, never throw,
// and report failure through their result.
#ifndef TESSALINE_PLATFORM_PLATFORM_H_
#define TESSALINE_PLATFORM_PLATFORM_H_

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace tessaline::platform {

class DiscServices;

class NonCopyable {
 public:
  NonCopyable() = default;
  NonCopyable(const NonCopyable&) = delete;
  NonCopyable& operator=(const NonCopyable&) = delete;

 protected:
  ~NonCopyable() = default;
};

// An open file. Closed by Close() or by the destructor.
class File : NonCopyable {
 public:
  virtual ~File() = default;
  // Reads up to `size` bytes at the current position; returns the count
  // read, 0 at the end, -1 on failure.
  virtual std::int64_t Read(void* buffer, std::int64_t size) = 0;
  // Writes all `size` bytes; false on failure.
  virtual bool Write(const void* buffer, std::int64_t size) = 0;
  virtual bool Seek(std::int64_t offset) = 0;
  // Size in bytes, or -1 when it cannot be read.
  virtual std::int64_t Size() = 0;
  // False when the system reports a failure on closing.
  virtual bool Close() = 0;
};

// An exclusive lock on a lock file, held until the object goes; the lock
// file is removed when it is released.
class FileLock : NonCopyable {
 public:
  virtual ~FileLock() = default;
};

struct FolderEntry {
  std::wstring name;
  // For a link, what it leads to.
  bool is_directory = false;
  // A symbolic link (on Windows also a junction or another name-surrogate
  // reparse point).
  bool is_link = false;
};

enum class CreateFolderResult { kCreated, kAlreadyExists, kFailed };

class FileSystem : NonCopyable {
 public:
  virtual ~FileSystem() = default;
  // The path separator: '\\' on Windows, '/' on POSIX. Paths are formed by
  // appending the separator and a name, whatever the folder ends with.
  virtual wchar_t Separator() const = 0;
  // The path's attributes can be read (a file or folder is there).
  virtual bool Exists(const std::wstring& path) = 0;
  // Asked only of existing paths.
  virtual bool IsDirectory(const std::wstring& path) = 0;
  // Creates one folder; its parent must exist.
  virtual CreateFolderResult CreateFolder(const std::wstring& path) = 0;
  // Creates a folder with all its missing parents.
  virtual CreateFolderResult CreateFolderTree(const std::wstring& path) = 0;
  // Removes an empty folder.
  virtual bool RemoveFolder(const std::wstring& path) = 0;
  // The entries of a folder, without "." and "..", in no set order. Links
  // are reported as what they point to; one that leads nowhere is left out,
  // one that leads round in a loop is kept (not as a folder) so that the
  // caller can refuse it.
  virtual bool ListFolder(const std::wstring& path,
                          std::vector<FolderEntry>* entries) = 0;
  // Where `path` leads: its full path with every link on the way followed
  // and "." and ".." taken out, spelled as the system spells the folders
  // and files it passes. Empty when it cannot be resolved; `*loop` (when
  // given) then says whether links lead round in a loop.
  virtual std::wstring ResolveLinks(const std::wstring& path, bool* loop) = 0;
  // Copies a file over an existing one. Returns 0 or the native error code.
  virtual std::uint32_t CopyFile(const std::wstring& source,
                                 const std::wstring& destination) = 0;
  // As CopyFile, but looks at `*cancel` between blocks of a large file;
  // once it is non-zero, removes the partial destination and returns 0 (the
  // caller sees the flag itself).
  virtual std::uint32_t CopyFileCancellable(
      const std::wstring& source, const std::wstring& destination,
      const std::atomic<std::uint8_t>* cancel) = 0;
  virtual bool DeleteFile(const std::wstring& path) = 0;
  // Gives the file write permission (_wchmod with _S_IWRITE).
  virtual bool MakeWritable(const std::wstring& path) = 0;
  // Clears the file's attributes (FILE_ATTRIBUTE_NORMAL).
  virtual bool SetNormalAttributes(const std::wstring& path) = 0;
  // Asks the system to delete the file at its next start. False where the
  // system cannot.
  virtual bool DeleteAtRestart(const std::wstring& path) = 0;
  // Opens an existing file for reading; null on failure, with the native
  // error code in *error when given.
  virtual std::unique_ptr<File> OpenRead(const std::wstring& path,
                                         std::uint32_t* error) = 0;
  // Creates or truncates a file for writing; null on failure.
  virtual std::unique_ptr<File> OpenWrite(const std::wstring& path,
                                          std::uint32_t* error) = 0;
  // The system's message text for a native error code, without a trailing
  // line break.
  virtual std::wstring ErrorText(std::uint32_t code) = 0;
  // The absolute path with every link and ".." followed, as the system
  // resolves it (realpath, GetFinalPathNameByHandleW). For a path that does
  // not exist yet, its nearest existing parent is resolved and the rest is
  // appended as written, less its "." steps and with its ".." steps taken.
  // Empty when not even a parent can be resolved.
  virtual std::wstring ResolvePath(const std::wstring& path) = 0;

  // Takes the exclusive lock of the lock file `path`, creating the file,
  // without waiting: an advisory lock on POSIX, a handle that shares nothing
  // on Windows. Two holders never coexist, whether in one process or two.
  // Null when it cannot be had; *in_use then says whether another holder
  // has it (rather than the file being impossible to create).
  virtual std::unique_ptr<FileLock> LockExclusive(const std::wstring& path,
                                                  bool* in_use) = 0;
};

enum class DriveType : std::uint32_t {
  kUnknown = 0,
  kNoRootDir = 1,
  kRemovable = 2,
  kFixed = 3,
  kRemote = 4,
  kCdrom = 5,
  kRamDisk = 6
};

class Volumes : NonCopyable {
 public:
  virtual ~Volumes() = default;
  // Free bytes available to the caller on the volume of `path`; false when
  // the volume cannot be asked.
  virtual bool FreeBytes(const std::wstring& path, std::int64_t* free) = 0;
  virtual DriveType TypeOfRoot(const std::wstring& root) = 0;
  // Roots to try, in order, when the work folder lacks room: "D:\" to "Z:\"
  // on Windows; the mount points of local fixed file systems on POSIX. Each
  // ends with the separator.
  virtual std::vector<std::wstring> CandidateWorkRoots() = 0;
  // Folder of the library's own module file, without a trailing separator.
  virtual std::wstring ModuleFolder() = 0;
};

// A profile file as it was read once: its sections, keys and values with
// the rules of Profiles. Lookups take about constant time, so a layout of
// many discs is not read again for each of them. A value holding a NUL
// character cannot be told apart from one cut at it, so it reads as empty.
class ProfileView {
 public:
  virtual ~ProfileView() = default;
  // Names of all sections, in file order.
  virtual std::vector<std::wstring> SectionNames() const = 0;
  // Names of all keys of the first section of that name, in file order.
  virtual std::vector<std::wstring> KeyNames(
      std::wstring_view section) const = 0;
  // The value of the key's first occurrence, whole; empty when absent.
  virtual std::wstring Value(std::wstring_view section,
                             std::wstring_view key) const = 0;
};

// Reads Windows profile (.ini) files as GetPrivateProfileStringW does.
// Section and key names match without case.
class Profiles : NonCopyable {
 public:
  virtual ~Profiles() = default;
  // The file read and parsed once; null when it cannot be read.
  virtual std::unique_ptr<ProfileView> Read(const std::wstring& file) = 0;
};

class Clock : NonCopyable {
 public:
  virtual ~Clock() = default;
  // Milliseconds since an arbitrary start, wrapping at 2^32.
  virtual std::uint32_t TickCount() = 0;
  // UTC now, in 100-ns units since 1601-01-01 (a FILETIME).
  virtual std::uint64_t SystemTime() = 0;
  virtual void Sleep(std::uint32_t milliseconds) = 0;
};

class Console : NonCopyable {
 public:
  virtual ~Console() = default;
  // Writes diagnostic text (UTF-8) exactly as given.
  virtual void Write(const std::string& text) = 0;
};

class Prompt : NonCopyable {
 public:
  virtual ~Prompt() = default;
  // Blocking message to the user with an OK button. An empty caption means
  // the system's default caption.
  virtual void Show(const std::wstring& text, const std::wstring& caption) = 0;
  // Dispatches at most one pending UI message of the calling thread.
  virtual void PumpOneMessage() = 0;
};

inline constexpr std::uint32_t kStillActive = 259;

enum class WaitResult { kEnded, kTimeout, kFailed };

// A started child process. The destructor releases the handle, not the
// process.
class Process : NonCopyable {
 public:
  virtual ~Process() = default;
  virtual WaitResult Wait(std::uint32_t milliseconds) = 0;
  virtual bool Terminate(std::uint32_t exit_code) = 0;
  // kStillActive while the process runs.
  virtual bool ExitCode(std::uint32_t* code) = 0;
};

class Processes : NonCopyable {
 public:
  virtual ~Processes() = default;
  // The file name of a program called `stem` on this system ("stem" on
  // POSIX, "stem.exe" on Windows).
  virtual std::wstring ProgramFileName(const std::wstring& stem) = 0;
  // Starts `program` hidden, with `command_line` as CreateProcessW takes
  // it (the program's own quoted path first). Null on failure with the
  // native error code in *error.
  virtual std::unique_ptr<Process> Start(const std::wstring& program,
                                         const std::wstring& command_line,
                                         std::uint32_t* error) = 0;
};

// A drive's volume device, opened anew for every operation. Requests return
// whether the device accepted them.
class Device : NonCopyable {
 public:
  virtual ~Device() = default;
  // IOCTL_STORAGE_MEDIA_REMOVAL with removal prevented or allowed.
  virtual bool StorageMediaRemoval(bool prevent) = 0;
  virtual bool EjectMedia() = 0;
  virtual bool LoadMedia() = 0;
  // IOCTL_CDROM_MEDIA_REMOVAL: the drive lock.
  virtual bool CdromMediaRemoval(bool prevent) = 0;
  virtual bool LockVolume() = 0;
  virtual bool DismountVolume() = 0;
  virtual bool UnlockVolume() = 0;
  virtual bool BytesPerSector(std::uint32_t* bytes) = 0;
  virtual bool Seek(std::int64_t offset) = 0;
  // Returns the bytes read (0 on failure or at the end).
  virtual std::uint32_t Read(void* buffer, std::uint32_t size) = 0;
  virtual bool Close() = 0;
};

enum class DeviceAttributes { kNormal, kNone };

// The moments at which a job lets a drive settle.
enum class Settle {
  // After its volume is dismounted, and after each refused volume lock.
  kAfterDismount,
  // Before the job's final report.
  kBeforeReport,
};

class Devices : NonCopyable {
 public:
  virtual ~Devices() = default;
  // The device path of the drive that GetDriveLetter names ("\\.\E:" on
  // Windows). It stays valid while the volume is dismounted.
  virtual std::wstring DevicePath(const std::wstring& drive) = 0;
  virtual std::unique_ptr<Device> Open(const std::wstring& device_path,
                                       DeviceAttributes attributes) = 0;
  // The lock file that a job holds to have the recorder of `drive` to
  // itself (FileSystem::LockExclusive); empty where there is none.
  virtual std::wstring LockPath(const std::wstring& drive) = 0;
  // How long the drive of `drive` needs to settle at `when`, in
  // milliseconds. A recorder's firmware and the system's file system need
  // time after a dismount and after a write; a drive without them needs
  // none.
  virtual std::uint32_t SettleMilliseconds(const std::wstring& drive,
                                           Settle when) = 0;
};

class Apartment : NonCopyable {
 public:
  virtual ~Apartment() = default;
  // Enters a single-threaded apartment on the calling thread; returns the
  // HRESULT (negative on failure).
  virtual std::int32_t Enter() = 0;
  virtual void Leave() = 0;
};

// The whole seam. Every member is set; copying a Platform shares the
// services.
struct Platform {
  std::shared_ptr<FileSystem> files;
  std::shared_ptr<Volumes> volumes;
  std::shared_ptr<Profiles> profiles;
  std::shared_ptr<Clock> clock;
  std::shared_ptr<Console> console;
  std::shared_ptr<Prompt> prompt;
  std::shared_ptr<Processes> processes;
  std::shared_ptr<Devices> devices;
  std::shared_ptr<Apartment> apartment;
  std::shared_ptr<DiscServices> disc;
};

// The platform of the machine the library runs on.
std::shared_ptr<Platform> SystemPlatform();

}  // namespace tessaline::platform

#endif  // TESSALINE_PLATFORM_PLATFORM_H_
