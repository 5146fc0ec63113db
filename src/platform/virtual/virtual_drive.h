// One virtual drive: its folder (see drive_folder.h), its description and
// the state of its tray and medium. The IMAPI2 objects and the
// volume devices of the virtual backend all act on drives through this
// class; the state lives in the folder, so every object, and every process,
// sees the drive as it is now.
#ifndef TESSALINE_PLATFORM_VIRTUAL_VIRTUAL_DRIVE_H_
#define TESSALINE_PLATFORM_VIRTUAL_VIRTUAL_DRIVE_H_

#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/virtual/media_catalog.h"
#include "tessaline/media_types.h"

namespace tessaline::platform::virtual_drive {

// The order of drive folders: by bytes, except that runs of digits compare
// as numbers, so that "drive2" comes before "drive10".
bool NameComesBefore(const std::string& a, const std::string& b);

// UTF-8 text and paths, on every system.
std::filesystem::path PathFromUtf8(const std::string& text);
std::string Utf8FromPath(const std::filesystem::path& path);

inline constexpr std::uint32_t kSectorBytes = 2048;

struct DriveDescription {
  std::string vendor;
  std::string product;
  IMAPI_MEDIA_PHYSICAL_TYPE type = IMAPI_MEDIA_TYPE_UNKNOWN;
  // Bytes per second; 0 writes as fast as the disk allows.
  std::uint64_t speed = 0;
  // Capacity of every medium in this drive; 0: the medium's own.
  std::int64_t sectors = 0;
  // Milliseconds the drive needs to settle after a dismount and before a
  // job's final report; none unless it mimics a real recorder.
  std::uint32_t settle_after_dismount = 0;
  std::uint32_t settle_before_report = 0;
};

struct MediumState {
  bool present = false;
  IMAPI_MEDIA_PHYSICAL_TYPE type = IMAPI_MEDIA_TYPE_UNKNOWN;
  bool written = false;
  // A write broke off: the medium holds part of an image.
  bool damaged = false;
  // False from a dismount until the next use of the volume.
  bool mounted = true;
};

class VirtualDrive {
 public:
  // The drive in `folder`, or null when the folder holds no readable
  // drive.ini that names a recordable medium type; *problem then says why,
  // in a few words.
  static std::shared_ptr<VirtualDrive> Open(const std::filesystem::path& folder,
                                            std::string* problem = nullptr);

  // The sub-folders of `dir`, sorted by name (NameComesBefore): each one
  // is a drive, readable or not, so that a broken drive never moves the
  // others to other indices.
  static std::vector<std::filesystem::path> ListDrives(
      const std::filesystem::path& dir);

  VirtualDrive(const VirtualDrive&) = delete;
  VirtualDrive& operator=(const VirtualDrive&) = delete;

  // Absolute, without a trailing separator.
  const std::filesystem::path& folder() const { return folder_; }
  std::filesystem::path MediumPath() const;
  std::filesystem::path MountPath() const;
  const DriveDescription& description() const { return description_; }

  // Capacity in sectors of a medium of `type` in this drive.
  std::int64_t Capacity(IMAPI_MEDIA_PHYSICAL_TYPE type) const;

  // Serialises the changes of this drive's state within the process; the
  // calls below that say so expect it held. A write keeps it only to start
  // and to finish, and marks the drive busy in between.
  std::unique_lock<std::mutex> Lock();
  bool busy() const;
  void set_busy(bool busy);

  // Lock held.
  MediumState ReadMedium() const;
  bool SaveMedium(const MediumState& medium);
  bool RemovalPrevented() const;
  void SetRemovalPrevented(bool prevent);
  // A use of the volume: one that was dismounted is mounted again. What
  // the mount point shows is read from the medium at every access
  // (mount_view.h), whether or not the volume counts as mounted.
  void EnsureMounted();
  // Marks the volume dismounted until its next use.
  void Dismount();
  // Takes the medium out: a written one is filed as ejected/disc-NNN.img
  // (disc-NNN.damaged.img when its write broke off), a blank one goes. False
  // when the medium stays in. *outcome tells what happened, for the request
  // log.
  bool Eject(std::string* outcome);
  // Loads a blank medium of the drive's type into an empty tray. Returns
  // what happened.
  std::string Load();

  // Appends one line to requests.log. Lock not needed.
  void LogRequest(const std::string& line);

 private:
  struct Shared;
  VirtualDrive(std::filesystem::path folder, DriveDescription description,
               std::shared_ptr<Shared> shared);

  void WriteState(const MediumState& medium, bool removal_prevented);

  std::filesystem::path folder_;
  DriveDescription description_;
  std::shared_ptr<Shared> shared_;
};

// The contents of a medium.ini.
std::string MediumIniText(const MediumState& medium, bool removal_prevented);

}  // namespace tessaline::platform::virtual_drive

#endif  // TESSALINE_PLATFORM_VIRTUAL_VIRTUAL_DRIVE_H_
