// Forwarding wrappers of the seam's services. A test derives from one,
// overrides the single call it wants to fail or observe, and puts the
// wrapper in place of the service in a copy of the Platform.
#ifndef TESSALINE_PLATFORM_PLATFORM_WRAPPER_H_
#define TESSALINE_PLATFORM_PLATFORM_WRAPPER_H_

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/disc.h"
#include "platform/platform.h"

namespace tessaline::platform {

class FileSystemWrapper : public FileSystem {
 public:
  explicit FileSystemWrapper(std::shared_ptr<FileSystem> target)
      : target_(std::move(target)) {}

  wchar_t Separator() const override { return target_->Separator(); }
  bool Exists(const std::wstring& path) override {
    return target_->Exists(path);
  }
  bool IsDirectory(const std::wstring& path) override {
    return target_->IsDirectory(path);
  }
  CreateFolderResult CreateFolder(const std::wstring& path) override {
    return target_->CreateFolder(path);
  }
  CreateFolderResult CreateFolderTree(const std::wstring& path) override {
    return target_->CreateFolderTree(path);
  }
  bool RemoveFolder(const std::wstring& path) override {
    return target_->RemoveFolder(path);
  }
  bool ListFolder(const std::wstring& path,
                  std::vector<FolderEntry>* entries) override {
    return target_->ListFolder(path, entries);
  }
  std::wstring ResolveLinks(const std::wstring& path, bool* loop) override {
    return target_->ResolveLinks(path, loop);
  }
  std::uint32_t CopyFile(const std::wstring& source,
                         const std::wstring& destination) override {
    return target_->CopyFile(source, destination);
  }
  std::uint32_t CopyFileCancellable(
      const std::wstring& source, const std::wstring& destination,
      const std::atomic<std::uint8_t>* cancel) override {
    return target_->CopyFileCancellable(source, destination, cancel);
  }
  bool DeleteFile(const std::wstring& path) override {
    return target_->DeleteFile(path);
  }
  bool MakeWritable(const std::wstring& path) override {
    return target_->MakeWritable(path);
  }
  bool SetNormalAttributes(const std::wstring& path) override {
    return target_->SetNormalAttributes(path);
  }
  bool DeleteAtRestart(const std::wstring& path) override {
    return target_->DeleteAtRestart(path);
  }
  std::unique_ptr<File> OpenRead(const std::wstring& path,
                                 std::uint32_t* error) override {
    return target_->OpenRead(path, error);
  }
  std::unique_ptr<File> OpenWrite(const std::wstring& path,
                                  std::uint32_t* error) override {
    return target_->OpenWrite(path, error);
  }
  std::wstring ErrorText(std::uint32_t code) override {
    return target_->ErrorText(code);
  }
  std::wstring ResolvePath(const std::wstring& path) override {
    return target_->ResolvePath(path);
  }

  std::unique_ptr<FileLock> LockExclusive(const std::wstring& path,
                                          bool* in_use) override {
    return target_->LockExclusive(path, in_use);
  }

 protected:
  FileSystem& target() { return *target_; }

 private:
  std::shared_ptr<FileSystem> target_;
};

class VolumesWrapper : public Volumes {
 public:
  explicit VolumesWrapper(std::shared_ptr<Volumes> target)
      : target_(std::move(target)) {}

  bool FreeBytes(const std::wstring& path, std::int64_t* free) override {
    return target_->FreeBytes(path, free);
  }
  DriveType TypeOfRoot(const std::wstring& root) override {
    return target_->TypeOfRoot(root);
  }
  std::vector<std::wstring> CandidateWorkRoots() override {
    return target_->CandidateWorkRoots();
  }
  std::wstring ModuleFolder() override { return target_->ModuleFolder(); }

 private:
  std::shared_ptr<Volumes> target_;
};

class DevicesWrapper : public Devices {
 public:
  explicit DevicesWrapper(std::shared_ptr<Devices> target)
      : target_(std::move(target)) {}

  std::wstring DevicePath(const std::wstring& drive) override {
    return target_->DevicePath(drive);
  }
  std::unique_ptr<Device> Open(const std::wstring& device_path,
                               DeviceAttributes attributes) override {
    return target_->Open(device_path, attributes);
  }
  std::wstring LockPath(const std::wstring& drive) override {
    return target_->LockPath(drive);
  }
  std::uint32_t SettleMilliseconds(const std::wstring& drive,
                                   Settle when) override {
    return target_->SettleMilliseconds(drive, when);
  }

 protected:
  Devices& target() { return *target_; }

 private:
  std::shared_ptr<Devices> target_;
};

// A device that forwards every request to the one it wraps, which it owns.
class DeviceWrapper : public Device {
 public:
  explicit DeviceWrapper(std::unique_ptr<Device> target)
      : target_(std::move(target)) {}

  bool StorageMediaRemoval(bool prevent) override {
    return target_->StorageMediaRemoval(prevent);
  }
  bool EjectMedia() override { return target_->EjectMedia(); }
  bool LoadMedia() override { return target_->LoadMedia(); }
  bool CdromMediaRemoval(bool prevent) override {
    return target_->CdromMediaRemoval(prevent);
  }
  bool LockVolume() override { return target_->LockVolume(); }
  bool DismountVolume() override { return target_->DismountVolume(); }
  bool UnlockVolume() override { return target_->UnlockVolume(); }
  bool BytesPerSector(std::uint32_t* bytes) override {
    return target_->BytesPerSector(bytes);
  }
  bool Seek(std::int64_t offset) override { return target_->Seek(offset); }
  std::uint32_t Read(void* buffer, std::uint32_t size) override {
    return target_->Read(buffer, size);
  }
  bool Close() override { return target_->Close(); }

 private:
  std::unique_ptr<Device> target_;
};

// The factory of the disc objects, forwarded. The objects it hands out are
// the target's own; a test that wants to act on them wraps them in turn.
class DiscServicesWrapper : public DiscServices {
 public:
  explicit DiscServicesWrapper(std::shared_ptr<DiscServices> target)
      : target_(std::move(target)) {}

  HRESULT CreateDiscMaster(std::shared_ptr<IDiscMaster2>* out) override {
    return target_->CreateDiscMaster(out);
  }
  HRESULT CreateRecorder(std::shared_ptr<IDiscRecorder2>* out) override {
    return target_->CreateRecorder(out);
  }
  HRESULT CreateDataWriter(std::shared_ptr<IDiscFormat2Data>* out) override {
    return target_->CreateDataWriter(out);
  }
  HRESULT CreateEraser(std::shared_ptr<IDiscFormat2Erase>* out) override {
    return target_->CreateEraser(out);
  }
  HRESULT CreateFileSystemImage(
      std::shared_ptr<IFileSystemImage>* out) override {
    return target_->CreateFileSystemImage(out);
  }
  HRESULT CreateBootOptions(std::shared_ptr<IBootOptions>* out) override {
    return target_->CreateBootOptions(out);
  }
  HRESULT CreateStreamOnFile(const std::wstring& path,
                             std::shared_ptr<IStream>* out) override {
    return target_->CreateStreamOnFile(path, out);
  }

 protected:
  DiscServices& target() { return *target_; }

 private:
  std::shared_ptr<DiscServices> target_;
};

}  // namespace tessaline::platform

#endif  // TESSALINE_PLATFORM_PLATFORM_WRAPPER_H_
