// Volumes on Linux. There are no drive letters: the candidate work drives
// are the mounted local disks, found in the mount table and sysfs, and a
// "root" is a mount point followed by the separator.
#include <dlfcn.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/statvfs.h>

#include <cerrno>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <limits>
#include <map>
#include <set>
#include <sstream>

#include "platform/posix/mount_table.h"
#include "platform/posix/posix_backends.h"
#include "platform/text.h"

namespace tessaline::platform::posix {
namespace {

// Kernel and service file systems, and the layered views containers and
// live systems are made of: never a place for work files.
const std::set<std::string, std::less<>> kPseudoTypes = {
    "aufs",      "autofs",    "binfmt_misc", "bpf",        "cgroup",
    "cgroup2",   "configfs",  "debugfs",     "devpts",     "efivarfs",
    "fusectl",   "hugetlbfs", "mqueue",      "nsfs",       "overlay",
    "proc",      "pstore",    "rootfs",      "rpc_pipefs", "securityfs",
    "selinuxfs", "squashfs",  "sysfs",       "tracefs"};
const std::set<std::string, std::less<>> kMemoryTypes = {"devtmpfs", "ramfs",
                                                         "tmpfs"};
const std::set<std::string, std::less<>> kOpticalTypes = {"iso9660", "udf"};
const std::set<std::string, std::less<>> kNetworkTypes = {
    "9p",  "afs",  "ceph", "cifs",  "glusterfs", "ncpfs",
    "nfs", "nfs4", "smb3", "smbfs", "sshfs",     "virtiofs"};

std::string Unescape(std::string_view field) {
  std::string out;
  out.reserve(field.size());
  for (std::size_t i = 0; i < field.size(); ++i) {
    if (field[i] == '\\' && i + 3 < field.size() && field[i + 1] >= '0' &&
        field[i + 1] <= '3' && field[i + 2] >= '0' && field[i + 2] <= '7' &&
        field[i + 3] >= '0' && field[i + 3] <= '7') {
      out.push_back(static_cast<char>((field[i + 1] - '0') * 64 +
                                      (field[i + 2] - '0') * 8 +
                                      (field[i + 3] - '0')));
      i += 3;
    } else {
      out.push_back(field[i]);
    }
  }
  return out;
}

std::string ReadSmallFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in),
                     std::istreambuf_iterator<char>());
}

std::string RealPath(const std::string& path) {
  char resolved[PATH_MAX];
  return realpath(path.c_str(), resolved) != nullptr ? std::string(resolved)
                                                     : std::string();
}

std::string BaseName(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string DirName(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

bool FileExists(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0;
}

bool IsFolder(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// The whole disk behind a block device node ("sda" for /dev/sda1), or ""
// when the device is not a block device sysfs knows.
std::string DiskOf(const std::string& device, const std::string& sysRoot) {
  if (device.rfind("/dev/", 0) != 0) return {};
  std::string node = RealPath(device);
  if (node.empty()) node = device;
  const std::string name = BaseName(node);
  const std::string entry = RealPath(sysRoot + "/class/block/" + name);
  if (entry.empty()) return name;
  if (FileExists(entry + "/partition")) return BaseName(DirName(entry));
  return BaseName(entry);
}

// The visible mount at each mount point (a later mount hides an earlier one
// at the same place), ordered by mount point.
std::map<std::string, MountEntry> VisibleMounts(const std::string& path) {
  std::map<std::string, MountEntry> mounts;
  for (MountEntry& entry : ParseMountTable(ReadSmallFile(path))) {
    std::string key = entry.mountPoint;
    mounts[key] = std::move(entry);
  }
  return mounts;
}

std::string RootOf(const std::string& mountPoint) {
  return mountPoint.back() == '/' ? mountPoint : mountPoint + '/';
}

class PosixVolumes final : public Volumes {
 public:
  PosixVolumes(std::string mountsPath, std::string sysRoot)
      : mountsPath_(std::move(mountsPath)), sysRoot_(std::move(sysRoot)) {}

  // A work folder not made yet will be made on the volume of its nearest
  // existing parent, so that volume is asked.
  bool FreeBytes(const std::wstring& path, std::int64_t* free) override {
    struct statvfs info {};
    std::string asked = ToUtf8(path);
    while (statvfs(asked.c_str(), &info) != 0) {
      if (errno != ENOENT || asked.empty() || asked == "/" || asked == ".") {
        return false;
      }
      while (asked.size() > 1 && asked.back() == '/') asked.pop_back();
      asked = DirName(asked);
    }
    const auto blocks = static_cast<std::uint64_t>(info.f_bavail);
    const auto size = static_cast<std::uint64_t>(info.f_frsize);
    constexpr auto kMax =
        static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
    *free = static_cast<std::int64_t>(
        size != 0 && blocks > kMax / size ? kMax : blocks * size);
    return true;
  }

  DriveType TypeOfRoot(const std::wstring& root) override {
    std::string mountPoint = ToUtf8(root);
    while (mountPoint.size() > 1 && mountPoint.back() == '/') {
      mountPoint.pop_back();
    }
    const auto mounts = VisibleMounts(mountsPath_);
    const auto found = mounts.find(mountPoint);
    if (found == mounts.end()) return DriveType::kNoRootDir;
    const DriveType type = ClassifyMount(found->second, sysRoot_);
    // A file bind-mounted over a file (as containers do with /etc/hosts) is
    // no root. Only local disks are looked at: a lost network server would
    // hang the question.
    if (type == DriveType::kFixed && !IsFolder(mountPoint)) {
      return DriveType::kNoRootDir;
    }
    return type;
  }

  // The system's own file system (the one holding "/", also where it is
  // bound elsewhere) is never taken: work files must not fill it.
  std::vector<std::wstring> CandidateWorkRoots() override {
    std::vector<std::wstring> roots;
    const auto mounts = VisibleMounts(mountsPath_);
    const auto system = mounts.find("/");
    for (const auto& [mountPoint, entry] : mounts) {
      if (system != mounts.end() && entry.device == system->second.device) {
        continue;
      }
      if (ClassifyMount(entry, sysRoot_) == DriveType::kFixed &&
          IsFolder(mountPoint)) {
        roots.push_back(FromUtf8(RootOf(mountPoint)));
      }
    }
    return roots;
  }

  std::wstring ModuleFolder() override {
    Dl_info info{};
    std::string file;
    // Any function of the library names the file it was loaded from.
    std::shared_ptr<Volumes> (*const anchor)() = &MakeVolumes;
    if (dladdr(reinterpret_cast<void*>(anchor), &info) != 0 &&
        info.dli_fname != nullptr && info.dli_fname[0] != '\0') {
      file = RealPath(info.dli_fname);
    }
    if (file.empty()) file = RealPath("/proc/self/exe");
    return file.empty() ? std::wstring() : FromUtf8(DirName(file));
  }

 private:
  const std::string mountsPath_;
  const std::string sysRoot_;
};

}  // namespace

std::vector<MountEntry> ParseMountTable(std::string_view text) {
  std::vector<MountEntry> entries;
  std::istringstream lines{std::string(text)};
  std::string line;
  while (std::getline(lines, line)) {
    std::istringstream fields(line);
    std::string device, mountPoint, type;
    if (!(fields >> device >> mountPoint >> type)) continue;
    entries.push_back(
        MountEntry{Unescape(device), Unescape(mountPoint), std::move(type)});
  }
  return entries;
}

DriveType ClassifyMount(const MountEntry& entry, const std::string& sysRoot) {
  const std::string& type = entry.type;
  if (kPseudoTypes.count(type) != 0) return DriveType::kUnknown;
  if (kMemoryTypes.count(type) != 0) return DriveType::kRamDisk;
  if (kNetworkTypes.count(type) != 0 || type.rfind("nfs", 0) == 0 ||
      type.rfind("smb", 0) == 0 || type.rfind("fuse.", 0) == 0) {
    return DriveType::kRemote;
  }
  if (kOpticalTypes.count(type) != 0) return DriveType::kCdrom;
  const std::string disk = DiskOf(entry.device, sysRoot);
  if (!disk.empty()) {
    if (disk.rfind("sr", 0) == 0) return DriveType::kCdrom;
    const std::string removable =
        ReadSmallFile(sysRoot + "/block/" + disk + "/removable");
    if (!removable.empty() && removable[0] == '1') {
      return DriveType::kRemovable;
    }
  }
  return DriveType::kFixed;
}

std::shared_ptr<Volumes> MakeVolumes(const std::string& mountsPath,
                                     const std::string& sysRoot) {
  return std::make_shared<PosixVolumes>(mountsPath, sysRoot);
}

std::shared_ptr<Volumes> MakeVolumes() {
  return MakeVolumes("/proc/mounts", "/sys");
}

}  // namespace tessaline::platform::posix
