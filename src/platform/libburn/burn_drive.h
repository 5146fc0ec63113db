// libburn as the disc services see it: the process-wide library, the list
// of recorders, and a drive held for the length of one operation.
#ifndef TESSALINE_PLATFORM_LIBBURN_BURN_DRIVE_H_
#define TESSALINE_PLATFORM_LIBBURN_BURN_DRIVE_H_

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/disc.h"
#include "platform/platform.h"
#include "tessaline/media_types.h"

// libburn declares itself in namespace burn when included from C++.
namespace burn {
struct burn_drive;
}  // namespace burn

namespace tessaline::platform::libburn {

// One recorder: a libburn address ("/dev/sr0", or "stdio:/path/disc.img"
// for a pseudo-drive whose medium is that file) and, for a pseudo-drive,
// the size of its medium in bytes (0: as much as the file system holds) and
// the bytes per second it writes (0: as fast as the disk allows).
struct DriveAddress {
  std::string address;
  std::int64_t limit = 0;
  std::int64_t speed = 0;
};

// The pseudo-drives of TESSALINE_LIBBURN_DRIVES: entries separated by ';',
// each a "stdio:" address, optionally followed by '@' and options separated
// by ',': "size=N" and "speed=N", in bytes and bytes per second, N with an
// optional k, m or g suffix ("stdio:/tmp/small.img@size=600k,speed=1m").
// Entries that are not stdio: addresses are left out: a real drive is found
// by the scan, and a plain path could name a disk.
std::vector<DriveAddress> ParsePseudoDrives(const std::string& text);

// The recorder's identity as the disc master hands it out, and back.
std::string UniqueId(const DriveAddress& drive);
bool ParseUniqueId(const std::string& id, DriveAddress* drive);

// The machine's recorders by device path (runs of digits compared as
// numbers), then the pseudo-drives. The recorders are those libburn's scan
// finds and every optical drive of the kernel's, so that a drive the scan
// passes over while it is busy keeps its index. The scan is repeated at
// most every few seconds and never while a drive is held, since libburn
// cannot scan then; false when no scan has ever succeeded.
bool ListDrives(std::vector<DriveAddress>* drives);

// The device that a drive's volume requests go to: the block device of a
// real drive, the file of a pseudo-drive.
std::string DevicePathOf(const DriveAddress& drive);
bool IsPseudoDrive(const DriveAddress& drive);

// What libburn knows of a drive and its medium at one moment.
struct DriveFacts {
  std::string vendor;
  std::string product;
  std::string revision;
  // 1 a real MMC drive; 2 a random-access stdio pseudo-drive.
  int role = 0;
  // The MMC profiles the drive supports, with the current one (0: none).
  std::vector<int> profiles;
  int current_profile = 0;
};

// A drive held for the length of the object; libburn allows one holder per
// drive. Functions of libburn that change its drive list are serialised
// process-wide.
class HeldDrive {
 public:
  // Null with *hr set when the drive cannot be had: no such drive, or the
  // drive busy with another operation.
  static std::unique_ptr<HeldDrive> Grab(const DriveAddress& drive,
                                         HRESULT* hr);
  ~HeldDrive();
  HeldDrive(const HeldDrive&) = delete;
  HeldDrive& operator=(const HeldDrive&) = delete;

  burn::burn_drive* drive() const { return drive_; }
  const DriveAddress& address() const { return address_; }
  const DriveFacts& facts() const { return facts_; }

  // The medium's state: kE_IMAPI_RECORDER_MEDIA_NO_MEDIA for an empty
  // tray; otherwise its profile (0xffff for a pseudo-drive), libburn's
  // disc status and whether it seems blank.
  struct Medium {
    int profile = 0;
    int status = 0;
    bool blank = false;
  };
  HRESULT ReadMedium(Medium* medium);
  // Bytes a write may still put on the medium, the pseudo-drive's limit
  // taken into account.
  std::int64_t FreeBytes();

 private:
  HeldDrive() = default;

  DriveAddress address_;
  burn::burn_drive* drive_ = nullptr;
  void* infos_ = nullptr;
  DriveFacts facts_;
};

// Hands libburn's queued messages of severity FAILURE and worse to the
// console, one diagnostic line each; returns the last one's text.
std::string DrainMessages(Console* console);

// MMC profiles and the media types and feature pages they stand for.
IMAPI_MEDIA_PHYSICAL_TYPE MediaTypeOfProfile(int profile);
// Written in place (DVD+RW, DVD-RAM, BD-RE, DVD-RW restricted overwrite,
// a pseudo-drive's file).
bool IsOverwriteProfile(int profile);
bool IsWritableProfile(int profile);
// Blanked as a whole (CD-RW, DVD-RW in sequential recording).
bool IsBlankableProfile(int profile);
// The feature codes that the profiles imply, rising, and the descriptor of
// one of them with the bits the feature-page reading looks at; empty when
// no profile implies it.
std::vector<std::uint32_t> FeaturesOfProfiles(const std::vector<int>& profiles);
std::vector<std::uint8_t> FeatureDescriptor(std::uint32_t feature,
                                            const std::vector<int>& profiles,
                                            int current_profile);

}  // namespace tessaline::platform::libburn

#endif  // TESSALINE_PLATFORM_LIBBURN_BURN_DRIVE_H_
