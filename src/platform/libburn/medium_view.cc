#include "platform/libburn/medium_view.h"

#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>

#include "platform/posix/mount_table.h"
#include "platform/virtual/mount_view.h"

namespace tessaline::platform::libburn {
namespace {

namespace fs = std::filesystem;

constexpr char kMountFolder[] = "mount";
constexpr char kDeviceFile[] = "device";
constexpr char kIdentityFile[] = "identity";
// The volume recognition area, where every file system this library reads
// keeps its descriptors and their recording times.
constexpr off_t kIdentityStart = 16 * 2048;
constexpr std::size_t kIdentityBytes = 48 * 2048;

std::mutex& ViewMutex() {
  static std::mutex mutex;
  return mutex;
}

std::string ReadText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

bool WriteText(const fs::path& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  return static_cast<bool>(out);
}

// The folder of all views of this user: private to the user, and refused
// when it is anything else (a link, or another user's folder).
bool ViewRoot(fs::path* root) {
  const char* tmp = std::getenv("TMPDIR");
  const fs::path base = (tmp != nullptr && tmp[0] == '/') ? tmp : "/tmp";
  const fs::path folder =
      base / ("tessaline-" + std::to_string(geteuid()) + "-views");
  mkdir(folder.c_str(), 0700);
  struct stat info {};
  if (lstat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) ||
      info.st_uid != geteuid() || (info.st_mode & 077) != 0) {
    return false;
  }
  *root = folder;
  return true;
}

std::string Escaped(const std::string& device) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : device) {
    if (std::isalnum(c) != 0 || c == '-' || c == '.' || c == '_') {
      out.push_back(static_cast<char>(c));
    } else {
      out.push_back('%');
      out.push_back(kHex[c >> 4]);
      out.push_back(kHex[c & 0xF]);
    }
  }
  return out;
}

// What tells one medium from another: its size and its volume recognition
// area. Empty when the device cannot be read (no medium).
std::string MediumIdentity(const std::string& device) {
  // Without O_NONBLOCK the kernel would close an open tray to read it.
  const int fd = open(device.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return {};
  const off_t size = lseek(fd, 0, SEEK_END);
  if (size <= 0) {
    close(fd);
    return {};
  }
  std::string area(kIdentityBytes, '\0');
  const ssize_t got = size > kIdentityStart
                          ? pread(fd, area.data(), area.size(), kIdentityStart)
                          : 0;
  close(fd);
  if (size < 0 || got < 0) return {};
  area.resize(static_cast<std::size_t>(got));
  std::uint64_t hash = 1469598103934665603ull;
  for (unsigned char c : area) hash = (hash ^ c) * 1099511628211ull;
  return std::to_string(size) + ":" + std::to_string(hash);
}

dev_t BlockDeviceNumber(const std::string& path) {
  struct stat info {};
  if (stat(path.c_str(), &info) != 0 || !S_ISBLK(info.st_mode)) return 0;
  return info.st_rdev;
}

}  // namespace

std::vector<std::string> MountPointsOf(const std::string& device) {
  std::vector<std::string> points;
  const dev_t number = BlockDeviceNumber(device);
  if (number == 0) return points;
  for (const posix::MountEntry& entry :
       posix::ParseMountTable(ReadText("/proc/mounts"))) {
    if (BlockDeviceNumber(entry.device) == number) {
      points.push_back(entry.mountPoint);
    }
  }
  return points;
}

bool UnmountAll(const std::string& device) {
  // The last mount first, so that one mounted over another comes off
  // before the one below it.
  const std::vector<std::string> points = MountPointsOf(device);
  for (auto it = points.rbegin(); it != points.rend(); ++it) {
    umount2(it->c_str(), 0);
  }
  return MountPointsOf(device).empty();
}

std::string ShowMedium(const std::string& device) {
  std::lock_guard<std::mutex> lock(ViewMutex());
  fs::path root;
  if (!ViewRoot(&root)) return {};
  const fs::path folder = root / Escaped(device);
  const fs::path mount = folder / kMountFolder;
  std::error_code error;
  fs::create_directories(folder, error);
  if (error) return {};
  const std::string identity = MediumIdentity(device);
  if (fs::is_directory(mount, error) &&
      ReadText(folder / kIdentityFile) == "=" + identity) {
    return mount.string();
  }
  fs::remove(folder / kIdentityFile, error);
  fs::remove_all(mount, error);
  fs::create_directories(mount, error);
  if (error || !WriteText(folder / kDeviceFile, device)) return {};
  if (!identity.empty()) virtual_drive::ExtractFileSystem(device, mount);
  WriteText(folder / kIdentityFile, "=" + identity);
  return mount.string();
}

void ForgetMedium(const std::string& device) {
  std::lock_guard<std::mutex> lock(ViewMutex());
  fs::path root;
  if (!ViewRoot(&root)) return;
  std::error_code error;
  fs::remove(root / Escaped(device) / kIdentityFile, error);
}

std::string DeviceOfView(const std::string& folder) {
  fs::path root;
  if (!ViewRoot(&root)) return {};
  fs::path path(folder);
  while (path.has_parent_path() && path.filename().empty()) {
    path = path.parent_path();
  }
  if (path.filename() != kMountFolder ||
      path.parent_path().parent_path() != root) {
    return {};
  }
  const std::string device = ReadText(path.parent_path() / kDeviceFile);
  return Escaped(device) == path.parent_path().filename().string() ? device
                                                                   : "";
}

}  // namespace tessaline::platform::libburn
