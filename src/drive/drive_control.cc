#include "drive/drive_control.h"

#include <cwctype>
#include <memory>
#include <string>

#include "drive/drive_letter.h"
#include "drive/drive_name.h"

namespace tessaline {
namespace {

constexpr int kLockAttempts = 3;

// The drive of the recorder at `index`, or false when GetDriveLetter finds
// none. Its exceptions pass on.
bool DriveOf(const platform::Platform& platform, std::uint32_t index,
             std::wstring* drive) {
  return GetDriveLetter(platform, static_cast<std::int32_t>(index), drive) == 1;
}

// Opens the volume device of `drive` anew; null when it cannot be had.
std::unique_ptr<platform::Device> OpenDevice(
    const platform::Platform& platform, const std::wstring& drive,
    platform::DeviceAttributes attributes) {
  const std::wstring path = platform.devices->DevicePath(drive);
  if (path.empty()) return nullptr;
  return platform.devices->Open(path, attributes);
}

}  // namespace

bool IsDriveName(const platform::Platform& platform,
                 const std::wstring& drive) {
  if (drive.empty()) return false;
  const wchar_t separator = platform.files->Separator();
  if (separator == L'\\') {
    const std::wint_t letter =
        std::towupper(static_cast<std::wint_t>(drive[0]));
    return letter >= static_cast<std::wint_t>(L'A') &&
           letter <= static_cast<std::wint_t>(L'Z');
  }
  return drive[0] == separator;
}

void EjectClose(const platform::Platform& platform, std::uint32_t index,
                bool close) {
  std::wstring drive;
  if (!DriveOf(platform, index, &drive)) return;
  if (!IsDriveName(platform, drive)) return;
  const std::unique_ptr<platform::Device> device =
      OpenDevice(platform, drive, platform::DeviceAttributes::kNormal);
  if (!device) return;
  if (close) {
    device->LoadMedia();
  } else {
    device->StorageMediaRemoval(false);
    device->EjectMedia();
  }
  device->Close();
}

std::int32_t DriveLock(const platform::Platform& platform, std::uint32_t index,
                       bool lock) {
  std::wstring drive;
  if (!DriveOf(platform, index, &drive)) return 1;
  const std::unique_ptr<platform::Device> device =
      OpenDevice(platform, drive, platform::DeviceAttributes::kNormal);
  if (!device) return 1;
  device->CdromMediaRemoval(lock);
  device->Close();
  return 0;
}

void SettleDrive(const platform::Platform& platform, const std::wstring& drive,
                 platform::Settle when) {
  const std::uint32_t milliseconds =
      platform.devices->SettleMilliseconds(drive, when);
  if (milliseconds > 0) platform.clock->Sleep(milliseconds);
}

std::int32_t DismountDiscVolume(const platform::Platform& platform,
                                std::uint32_t index) {
  std::wstring drive;
  if (!DriveOf(platform, index, &drive)) return 1;
  const std::unique_ptr<platform::Device> device =
      OpenDevice(platform, drive, platform::DeviceAttributes::kNone);
  if (!device) return 1;
  // The file system may still hold the volume right after writing, so the
  // lock is retried; a volume that stays busy is dismounted all the same.
  bool dismounted = false;
  for (int attempt = 0; attempt < kLockAttempts && !dismounted; ++attempt) {
    if (device->LockVolume()) {
      device->DismountVolume();
      dismounted = true;
      device->UnlockVolume();
    } else {
      SettleDrive(platform, drive, platform::Settle::kAfterDismount);
    }
  }
  if (!dismounted) device->DismountVolume();
  device->Close();
  SettleDrive(platform, drive, platform::Settle::kAfterDismount);
  return 0;
}

}  // namespace tessaline
