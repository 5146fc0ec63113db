// The file system of a platform with virtual drives: paths below a drive's
// mount point are the file system on its medium, read in place from
// medium.img (mount_view.h), read-only as a mounted disc is; every other
// path goes to the system's file system.
#include <sys/stat.h>

#include <atomic>
#include <cerrno>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "platform/platform_wrapper.h"
#include "platform/text.h"
#include "platform/virtual/mount_view.h"
#include "platform/virtual/virtual_drive.h"
#include "platform/virtual/virtual_platform.h"

namespace tessaline::platform {
namespace virtual_drive {
namespace {

namespace fs = std::filesystem;

constexpr char kMountFolder[] = "mount";
constexpr std::int64_t kCopyBlock = 4 << 20;

// What tells one state of a file from another without reading it.
struct Signature {
  dev_t device = 0;
  ino_t inode = 0;
  off_t size = -1;
  std::int64_t modified = 0;

  static Signature Of(const fs::path& path) {
    Signature signature;
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return signature;
    signature.device = info.st_dev;
    signature.inode = info.st_ino;
    signature.size = info.st_size;
    signature.modified =
        std::int64_t{info.st_mtim.tv_sec} * 1000000000 + info.st_mtim.tv_nsec;
    return signature;
  }
  bool operator==(const Signature& other) const {
    return device == other.device && inode == other.inode &&
           size == other.size && modified == other.modified;
  }
};

class VirtualFileSystem final : public FileSystemWrapper {
 public:
  VirtualFileSystem(std::shared_ptr<FileSystem> base, std::string drives_dir)
      : FileSystemWrapper(std::move(base)), prefix_(drives_dir + "/") {}

  bool Exists(const std::wstring& path) override {
    Place place;
    if (!Locate(path, &place)) return target().Exists(path);
    bool is_directory = false;
    return Find(place, &is_directory);
  }

  bool IsDirectory(const std::wstring& path) override {
    Place place;
    if (!Locate(path, &place)) return target().IsDirectory(path);
    bool is_directory = false;
    return Find(place, &is_directory) && is_directory;
  }

  CreateFolderResult CreateFolder(const std::wstring& path) override {
    Place place;
    if (!Locate(path, &place)) return target().CreateFolder(path);
    return Made(place);
  }

  CreateFolderResult CreateFolderTree(const std::wstring& path) override {
    Place place;
    if (!Locate(path, &place)) return target().CreateFolderTree(path);
    return Made(place);
  }

  bool RemoveFolder(const std::wstring& path) override {
    Place place;
    return Locate(path, &place) ? false : target().RemoveFolder(path);
  }

  bool ListFolder(const std::wstring& path,
                  std::vector<FolderEntry>* entries) override {
    Place place;
    if (!Locate(path, &place)) return target().ListFolder(path, entries);
    entries->clear();
    if (!place.view) return place.steps.empty();
    std::vector<ViewEntry> listed;
    int error = 0;
    if (!place.view->List(place.steps, &listed, &error)) return false;
    entries->reserve(listed.size());
    for (const ViewEntry& entry : listed) {
      entries->push_back({FromUtf8(entry.name), entry.is_directory, false});
    }
    return true;
  }

  // A disc holds no links: a path that is there is its own real path.
  std::wstring ResolveLinks(const std::wstring& path, bool* loop) override {
    Place place;
    if (!Locate(path, &place)) return target().ResolveLinks(path, loop);
    if (loop != nullptr) *loop = false;
    bool is_directory = false;
    return Find(place, &is_directory) ? place.normal : std::wstring();
  }

  std::wstring ResolvePath(const std::wstring& path) override {
    Place place;
    return Locate(path, &place) ? place.normal : target().ResolvePath(path);
  }

  std::uint32_t CopyFile(const std::wstring& source,
                         const std::wstring& destination) override {
    return CopyFileCancellable(source, destination, nullptr);
  }

  std::uint32_t CopyFileCancellable(
      const std::wstring& source, const std::wstring& destination,
      const std::atomic<std::uint8_t>* cancel) override {
    Place from;
    Place to;
    const bool from_disc = Locate(source, &from);
    if (Locate(destination, &to)) return EROFS;
    if (!from_disc) {
      return target().CopyFileCancellable(source, destination, cancel);
    }
    std::uint32_t error = 0;
    std::unique_ptr<File> in = OpenRead(source, &error);
    if (!in) return error;
    std::unique_ptr<File> out = target().OpenWrite(destination, &error);
    if (!out) return error;
    std::vector<char> buffer(kCopyBlock);
    for (;;) {
      if (cancel != nullptr && cancel->load() != 0) {
        out.reset();
        target().DeleteFile(destination);
        return 0;
      }
      const std::int64_t got = in->Read(buffer.data(), kCopyBlock);
      if (got < 0) return EIO;
      if (got == 0) break;
      if (!out->Write(buffer.data(), got)) return errno != 0 ? errno : EIO;
    }
    return out->Close() ? 0 : EIO;
  }

  bool DeleteFile(const std::wstring& path) override {
    Place place;
    return Locate(path, &place) ? false : target().DeleteFile(path);
  }
  bool MakeWritable(const std::wstring& path) override {
    Place place;
    return Locate(path, &place) ? false : target().MakeWritable(path);
  }
  bool SetNormalAttributes(const std::wstring& path) override {
    Place place;
    return Locate(path, &place) ? false : target().SetNormalAttributes(path);
  }
  bool DeleteAtRestart(const std::wstring& path) override {
    Place place;
    return Locate(path, &place) ? false : target().DeleteAtRestart(path);
  }

  std::unique_ptr<File> OpenRead(const std::wstring& path,
                                 std::uint32_t* error) override {
    Place place;
    if (!Locate(path, &place)) return target().OpenRead(path, error);
    int failure = place.steps.empty() ? EISDIR : ENOENT;
    std::unique_ptr<File> file;
    if (place.view && !place.steps.empty()) {
      file = place.view->OpenFile(place.steps, &failure);
    }
    if (!file && error != nullptr) *error = static_cast<std::uint32_t>(failure);
    return file;
  }

  std::unique_ptr<File> OpenWrite(const std::wstring& path,
                                  std::uint32_t* error) override {
    Place place;
    if (!Locate(path, &place)) return target().OpenWrite(path, error);
    if (error != nullptr) *error = EROFS;
    return nullptr;
  }

  std::unique_ptr<FileLock> LockExclusive(const std::wstring& path,
                                          bool* in_use) override {
    Place place;
    if (!Locate(path, &place)) return target().LockExclusive(path, in_use);
    if (in_use != nullptr) *in_use = false;
    return nullptr;
  }

 private:
  // A path below a drive's mount point: the steps below it, the view of
  // the medium (null when the drive holds nothing readable), and the path
  // as the drive spells it.
  struct Place {
    std::vector<std::string> steps;
    std::shared_ptr<MountView> view;
    std::wstring normal;
  };

  // The view of a drive folder for as long as its medium and its state
  // stay as they were.
  struct Cached {
    Signature drive_ini;
    Signature medium_img;
    Signature medium_ini;
    bool is_drive = false;
    std::shared_ptr<MountView> view;
  };

  static bool Find(const Place& place, bool* is_directory) {
    if (place.steps.empty()) {
      *is_directory = true;
      return true;
    }
    int error = 0;
    return place.view && place.view->Find(place.steps, is_directory, &error);
  }

  static CreateFolderResult Made(const Place& place) {
    bool is_directory = false;
    return Find(place, &is_directory) && is_directory
               ? CreateFolderResult::kAlreadyExists
               : CreateFolderResult::kFailed;
  }

  // False for a path that lies below no drive's mount point.
  bool Locate(const std::wstring& path, Place* place) {
    const std::string text = ToUtf8(path);
    if (text.compare(0, prefix_.size(), prefix_) != 0) return false;
    std::vector<std::string> steps;
    for (std::size_t at = prefix_.size(); at <= text.size();) {
      std::size_t end = text.find('/', at);
      if (end == std::string::npos) end = text.size();
      const std::string step = text.substr(at, end - at);
      if (step == "..") {
        if (steps.empty()) return false;
        steps.pop_back();
      } else if (!step.empty() && step != ".") {
        steps.push_back(step);
      }
      at = end + 1;
    }
    if (steps.size() < 2 || steps[1] != kMountFolder) return false;
    const std::string drive = prefix_ + steps[0];
    if (!ViewOf(drive, &place->view)) return false;
    std::string normal = drive + "/" + kMountFolder;
    for (std::size_t i = 2; i < steps.size(); ++i) normal += "/" + steps[i];
    place->normal = FromUtf8(normal);
    steps.erase(steps.begin(), steps.begin() + 2);
    place->steps = std::move(steps);
    return true;
  }

  // False when `folder` holds no drive. Looked up at every call, so that
  // every change of the medium, in this process or another, is seen.
  bool ViewOf(const std::string& folder, std::shared_ptr<MountView>* view) {
    const fs::path path = PathFromUtf8(folder);
    Cached now;
    now.drive_ini = Signature::Of(path / "drive.ini");
    now.medium_img = Signature::Of(path / "medium.img");
    now.medium_ini = Signature::Of(path / "medium.ini");
    std::lock_guard<std::mutex> lock(mutex_);
    Cached& cached = views_[folder];
    if (!(cached.drive_ini == now.drive_ini &&
          cached.medium_img == now.medium_img &&
          cached.medium_ini == now.medium_ini) ||
        now.drive_ini.size < 0) {
      const std::shared_ptr<VirtualDrive> drive = VirtualDrive::Open(path);
      now.is_drive = drive != nullptr;
      if (drive) {
        const MediumState medium = drive->ReadMedium();
        if (medium.present && medium.written && !medium.damaged) {
          now.view = MountView::Open(drive->MediumPath());
        }
      }
      cached = std::move(now);
    }
    *view = cached.view;
    return cached.is_drive;
  }

  const std::string prefix_;
  std::mutex mutex_;
  std::map<std::string, Cached> views_;
};

}  // namespace
}  // namespace virtual_drive

std::shared_ptr<FileSystem> MakeVirtualFileSystem(
    std::shared_ptr<FileSystem> base, const std::string& drives_dir) {
  if (drives_dir.empty()) return base;
  std::error_code error;
  std::filesystem::path dir =
      std::filesystem::absolute(virtual_drive::PathFromUtf8(drives_dir), error);
  dir = dir.lexically_normal();
  if (!dir.has_filename()) dir = dir.parent_path();
  return std::make_shared<virtual_drive::VirtualFileSystem>(
      std::move(base), virtual_drive::Utf8FromPath(dir));
}

}  // namespace tessaline::platform
