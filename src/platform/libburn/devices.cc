// The volume devices of the libburn recorders: the block device of a real
// drive, driven through the kernel's CD-ROM interface, and the file of a
// pseudo-drive, which has no tray and no door.
#include <fcntl.h>
#include <linux/cdrom.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <sstream>
#include <string>

#include "platform/libburn/burn_drive.h"
#include "platform/libburn/cdrom.h"
#include "platform/libburn/libburn_platform.h"
#include "platform/libburn/medium_view.h"
#include "platform/posix/mount_table.h"
#include "platform/text.h"

namespace tessaline::platform::libburn {
namespace {

constexpr std::uint32_t kPseudoSectorBytes = 2048;

// Opens without waiting for a medium, as the tray requests need.
int OpenDevice(const std::string& path) {
  return open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
}

class FileDescriptorDevice : public Device {
 public:
  FileDescriptorDevice(std::string path, int fd)
      : path_(std::move(path)), fd_(fd) {}
  ~FileDescriptorDevice() override { Close(); }

  bool Seek(std::int64_t offset) override {
    if (offset < 0) return false;
    position_ = offset;
    return true;
  }

  std::uint32_t Read(void* buffer, std::uint32_t size) override {
    if (fd_ < 0 || buffer == nullptr) return 0;
    std::uint32_t total = 0;
    while (total < size) {
      const ssize_t got = pread(fd_, static_cast<char*>(buffer) + total,
                                size - total, position_ + total);
      if (got <= 0) break;
      total += static_cast<std::uint32_t>(got);
    }
    position_ += total;
    return total;
  }

  bool Close() override {
    if (fd_ < 0) return true;
    const bool closed = close(fd_) == 0;
    fd_ = -1;
    return closed;
  }

 protected:
  const std::string path_;
  int fd_;
  std::int64_t position_ = 0;
};

class CdromDevice final : public FileDescriptorDevice {
 public:
  using FileDescriptorDevice::FileDescriptorDevice;

  // The kernel keeps the door locked after the handle closes, until it is
  // unlocked through any handle.
  bool StorageMediaRemoval(bool prevent) override { return LockDoor(prevent); }
  bool CdromMediaRemoval(bool prevent) override { return LockDoor(prevent); }

  bool EjectMedia() override {
    const bool ejected = ioctl(fd_, CDROMEJECT, 0) == 0;
    if (ejected) ForgetMedium(path_);
    return ejected;
  }

  bool LoadMedia() override {
    ForgetMedium(path_);
    return ioctl(fd_, CDROMCLOSETRAY, 0) == 0;
  }

  // A volume is locked by taking its file systems away: what still uses
  // one keeps it mounted, and the lock fails.
  bool LockVolume() override { return UnmountAll(path_); }
  bool DismountVolume() override { return UnmountAll(path_); }
  bool UnlockVolume() override { return true; }

  bool BytesPerSector(std::uint32_t* bytes) override {
    int size = 0;
    if (bytes == nullptr || ioctl(fd_, BLKSSZGET, &size) != 0 || size <= 0) {
      return false;
    }
    *bytes = static_cast<std::uint32_t>(size);
    return true;
  }

 private:
  bool LockDoor(bool prevent) {
    const bool done = ioctl(fd_, CDROM_LOCKDOOR, prevent ? 1 : 0) == 0;
    if (done) NoteDoorLock(path_, prevent);
    return done;
  }
};

// A pseudo-drive's medium is its file: there is no tray to move or door to
// lock, and nothing mounts it.
class PseudoDevice final : public FileDescriptorDevice {
 public:
  using FileDescriptorDevice::FileDescriptorDevice;

  bool StorageMediaRemoval(bool) override { return false; }
  bool CdromMediaRemoval(bool) override { return false; }
  bool EjectMedia() override { return false; }
  bool LoadMedia() override { return false; }
  bool LockVolume() override { return true; }
  bool DismountVolume() override { return true; }
  bool UnlockVolume() override { return true; }
  bool BytesPerSector(std::uint32_t* bytes) override {
    if (bytes == nullptr) return false;
    *bytes = kPseudoSectorBytes;
    return true;
  }
};

bool IsPseudoDriveFile(const std::string& path) {
  const char* named = std::getenv("TESSALINE_LIBBURN_DRIVES");
  if (named == nullptr) return false;
  for (const DriveAddress& drive : ParsePseudoDrives(named)) {
    if (DevicePathOf(drive) == path) return true;
  }
  return false;
}

class LibburnDevices final : public Devices {
 public:
  // `drive` is a mount point or a view folder, as GetVolumePathNames gives
  // it.
  std::wstring DevicePath(const std::wstring& drive) override {
    const std::string folder = ToUtf8(drive);
    const std::string shown = DeviceOfView(folder);
    if (!shown.empty()) return FromUtf8(shown);
    std::string trimmed = folder;
    while (trimmed.size() > 1 && trimmed.back() == '/') trimmed.pop_back();
    std::ifstream mounts("/proc/mounts");
    std::stringstream text;
    text << mounts.rdbuf();
    for (const posix::MountEntry& entry : posix::ParseMountTable(text.str())) {
      struct stat info {};
      if (entry.mountPoint == trimmed &&
          stat(entry.device.c_str(), &info) == 0 && S_ISBLK(info.st_mode)) {
        return FromUtf8(entry.device);
      }
    }
    return {};
  }

  std::unique_ptr<Device> Open(const std::wstring& device_path,
                               DeviceAttributes) override {
    const std::string path = ToUtf8(device_path);
    struct stat info {};
    if (path.empty() || stat(path.c_str(), &info) != 0) return nullptr;
    // Only optical drives and the files of the named pseudo-drives are
    // devices here, never another disk or file.
    if (S_ISBLK(info.st_mode)) {
      const int fd = OpenDevice(path);
      if (fd < 0) return nullptr;
      if (ioctl(fd, CDROM_GET_CAPABILITY, 0) < 0) {
        close(fd);
        return nullptr;
      }
      return std::make_unique<CdromDevice>(path, fd);
    }
    if (S_ISREG(info.st_mode) && IsPseudoDriveFile(path)) {
      const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
      if (fd < 0) return nullptr;
      return std::make_unique<PseudoDevice>(path, fd);
    }
    return nullptr;
  }

  // A real recorder needs the time it always needed to settle; a
  // pseudo-drive is a file and is ready at once.
  std::uint32_t SettleMilliseconds(const std::wstring& drive,
                                   Settle when) override {
    if (IsPseudoDriveFile(ToUtf8(DevicePath(drive)))) return 0;
    return when == Settle::kAfterDismount ? 10000 : 6000;
  }

  // A recorder is locked through a file named after its device, in the
  // system's temporary folder, so that every process finds the same one.
  std::wstring LockPath(const std::wstring& drive) override {
    std::string device = ToUtf8(DevicePath(drive));
    if (device.empty()) return {};
    for (char& c : device) {
      if (c == '/') c = '_';
    }
    const char* temp = std::getenv("TMPDIR");
    const std::string folder = temp != nullptr && *temp != '\0' ? temp : "/tmp";
    return FromUtf8(folder + "/tessaline-recorder" + device + ".lock");
  }
};

}  // namespace

bool SetMediaChangeNotification(const std::string& device, bool enable) {
  static std::mutex mutex;
  // The options each device had before notification was disabled.
  static std::map<std::string, int> saved;
  constexpr int kOptions = CDO_LOCK | CDO_AUTO_EJECT;
  const int fd = OpenDevice(device);
  if (fd < 0) return false;
  std::lock_guard<std::mutex> lock(mutex);
  bool done = false;
  if (enable) {
    const auto it = saved.find(device);
    const int restore = it == saved.end() ? 0 : it->second;
    done = restore == 0 || ioctl(fd, CDROM_SET_OPTIONS, restore) >= 0;
    if (done && it != saved.end()) saved.erase(it);
  } else {
    const int before = ioctl(fd, CDROM_SET_OPTIONS, 0);
    done = before >= 0 && ioctl(fd, CDROM_CLEAR_OPTIONS, kOptions) >= 0;
    if (done) saved.emplace(device, before & kOptions);
  }
  close(fd);
  return done;
}

namespace {

std::mutex& DoorMutex() {
  static std::mutex mutex;
  return mutex;
}

std::set<std::string>& LockedDoors() {
  static std::set<std::string> doors;
  return doors;
}

}  // namespace

void NoteDoorLock(const std::string& device, bool locked) {
  std::lock_guard<std::mutex> lock(DoorMutex());
  if (locked) {
    LockedDoors().insert(device);
  } else {
    LockedDoors().erase(device);
  }
}

bool DoorLocked(const std::string& device) {
  std::lock_guard<std::mutex> lock(DoorMutex());
  return LockedDoors().count(device) != 0;
}

std::shared_ptr<Devices> MakeDevices() {
  return std::make_shared<LibburnDevices>();
}

}  // namespace tessaline::platform::libburn
