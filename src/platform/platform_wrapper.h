// Forwarding wrappers of the seam's services. A test derives from one,
// overrides the single call it wants to fail or observe, and puts the
// wrapper in place of the service in a copy of the Platform.
#ifndef TESSALINE_PLATFORM_PLATFORM_WRAPPER_H_
#define TESSALINE_PLATFORM_PLATFORM_WRAPPER_H_

#include <memory>
#include <string>
#include <utility>
#include <vector>

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
  std::uint32_t CopyFile(const std::wstring& source,
                         const std::wstring& destination) override {
    return target_->CopyFile(source, destination);
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

}  // namespace tessaline::platform

#endif  // TESSALINE_PLATFORM_PLATFORM_WRAPPER_H_
