// The volume devices of the virtual drives. A drive's device is its medium
// file, read raw in 2048-byte sectors; the tray, lock and volume requests
// change the drive folder and are written to its request log.
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <utility>

#include "platform/platform.h"
#include "platform/text.h"
#include "platform/virtual/drive_folder.h"
#include "platform/virtual/virtual_drive.h"
#include "platform/virtual/virtual_platform.h"

namespace tessaline::platform {
namespace virtual_drive {
namespace {

namespace fs = std::filesystem;

constexpr char kMediumFile[] = "medium.img";
constexpr char kMountFolder[] = "mount";

fs::path PathOf(const std::wstring& text) {
  std::string path = ToUtf8(text);
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return PathFromUtf8(path);
}

class VirtualDevice final : public Device {
 public:
  explicit VirtualDevice(std::shared_ptr<VirtualDrive> drive)
      : drive_(std::move(drive)) {}
  ~VirtualDevice() override { Close(); }

  bool StorageMediaRemoval(bool prevent) override {
    return SetRemoval("IOCTL_STORAGE_MEDIA_REMOVAL", prevent);
  }
  bool CdromMediaRemoval(bool prevent) override {
    return SetRemoval("IOCTL_CDROM_MEDIA_REMOVAL", prevent);
  }

  bool EjectMedia() override {
    std::string outcome;
    bool ejected = false;
    {
      auto lock = drive_->Lock();
      if (drive_->busy()) {
        outcome = "refused: drive busy";
      } else if (drive_->RemovalPrevented()) {
        outcome = "refused: medium removal prevented";
      } else {
        ejected = drive_->Eject(&outcome);
      }
    }
    drive_->LogRequest("IOCTL_STORAGE_EJECT_MEDIA: " + outcome);
    return ejected;
  }

  bool LoadMedia() override {
    std::string outcome;
    {
      auto lock = drive_->Lock();
      outcome = drive_->Load();
    }
    drive_->LogRequest("IOCTL_STORAGE_LOAD_MEDIA: " + outcome);
    return true;
  }

  // The volume lock belongs to this handle and ends with it.
  bool LockVolume() override {
    return OnVolume("FSCTL_LOCK_VOLUME", [this] { volume_locked_ = true; });
  }

  bool DismountVolume() override {
    return OnVolume("FSCTL_DISMOUNT_VOLUME", [this] { drive_->Dismount(); });
  }

  bool UnlockVolume() override {
    const bool was_locked = volume_locked_;
    volume_locked_ = false;
    return Logged("FSCTL_UNLOCK_VOLUME",
                  was_locked ? nullptr : "volume not locked");
  }

  bool BytesPerSector(std::uint32_t* bytes) override {
    if (bytes == nullptr) return false;
    auto lock = drive_->Lock();
    if (!drive_->ReadMedium().present) return false;
    *bytes = kSectorBytes;
    return true;
  }

  bool Seek(std::int64_t offset) override {
    if (offset < 0) return false;
    position_ = offset;
    return true;
  }

  // Reads past the recorded bytes give nothing, as past the end of the
  // last track. The medium file is opened for each read, so a medium
  // changed through another handle is read as it is now.
  std::uint32_t Read(void* buffer, std::uint32_t size) override {
    if (buffer == nullptr || size == 0) return 0;
    std::ifstream in(drive_->MediumPath(), std::ios::binary);
    if (!in || !in.seekg(position_)) return 0;
    in.read(static_cast<char*>(buffer), size);
    const auto got = static_cast<std::uint32_t>(in.gcount());
    position_ += got;
    return got;
  }

  bool Close() override {
    volume_locked_ = false;
    return true;
  }

 private:
  bool SetRemoval(const std::string& request, bool prevent) {
    {
      auto lock = drive_->Lock();
      drive_->SetRemovalPrevented(prevent);
    }
    drive_->LogRequest(request + (prevent ? " prevent" : " allow"));
    return true;
  }

  // Runs a volume request unless the tray is empty or the drive is busy,
  // and logs it either way.
  template <typename Action>
  bool OnVolume(const char* request, Action action) {
    const char* refusal = nullptr;
    {
      auto lock = drive_->Lock();
      if (!drive_->ReadMedium().present) {
        refusal = "no medium";
      } else if (drive_->busy()) {
        refusal = "drive busy";
      } else {
        action();
      }
    }
    return Logged(request, refusal);
  }

  bool Logged(const std::string& request, const char* refusal) {
    drive_->LogRequest(refusal == nullptr ? request
                                          : request + ": refused: " + refusal);
    return refusal == nullptr;
  }

  std::shared_ptr<VirtualDrive> drive_;
  std::int64_t position_ = 0;
  bool volume_locked_ = false;
};

class VirtualDevices final : public Devices {
 public:
  explicit VirtualDevices(bool enabled) : enabled_(enabled) {}

  // `drive` is the mount folder GetVolumePathNames gives, with or without
  // its trailing separator. Naming the device is a use of the volume, so
  // a dismounted one is mounted again.
  std::wstring DevicePath(const std::wstring& drive) override {
    if (!enabled_) return {};
    const fs::path mount = PathOf(drive);
    if (mount.filename() != kMountFolder) return {};
    const std::shared_ptr<VirtualDrive> virtual_drive =
        VirtualDrive::Open(mount.parent_path());
    if (!virtual_drive) return {};
    {
      auto lock = virtual_drive->Lock();
      virtual_drive->EnsureMounted();
    }
    return FromUtf8(Utf8FromPath(virtual_drive->MediumPath()));
  }

  // The drive's own folder holds its lock, so every process that uses the
  // drive sees the same file.
  std::wstring LockPath(const std::wstring& drive) override {
    if (!enabled_) return {};
    const fs::path mount = PathOf(drive);
    if (mount.filename() != kMountFolder) return {};
    return FromUtf8(Utf8FromPath(mount.parent_path() / "recorder.lock"));
  }

  // A drive that is no virtual drive has nothing to settle either.
  std::uint32_t SettleMilliseconds(const std::wstring& drive,
                                   Settle when) override {
    if (!enabled_) return 0;
    const fs::path mount = PathOf(drive);
    if (mount.filename() != kMountFolder) return 0;
    const std::shared_ptr<VirtualDrive> virtual_drive =
        VirtualDrive::Open(mount.parent_path());
    if (!virtual_drive) return 0;
    const DriveDescription& description = virtual_drive->description();
    return when == Settle::kAfterDismount ? description.settle_after_dismount
                                          : description.settle_before_report;
  }

  std::unique_ptr<Device> Open(const std::wstring& device_path,
                               DeviceAttributes attributes) override {
    (void)attributes;
    if (!enabled_) return nullptr;
    const fs::path medium = PathOf(device_path);
    if (medium.filename() != kMediumFile) return nullptr;
    std::shared_ptr<VirtualDrive> drive =
        VirtualDrive::Open(medium.parent_path());
    if (!drive) return nullptr;
    return std::make_unique<VirtualDevice>(std::move(drive));
  }

 private:
  bool enabled_;
};

}  // namespace
}  // namespace virtual_drive

std::shared_ptr<Devices> MakeVirtualDevices(const std::string& drives_dir) {
  return std::make_shared<virtual_drive::VirtualDevices>(!drives_dir.empty());
}

}  // namespace tessaline::platform
