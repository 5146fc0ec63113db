#include "support/disc/disc_test_platform.h"

#include <utility>

namespace tessaline::testing {
namespace {

class SeparatorFileSystem : public platform::FileSystem {
 public:
  SeparatorFileSystem(std::shared_ptr<platform::FileSystem> inner,
                      wchar_t separator)
      : inner_(std::move(inner)), separator_(separator) {}

  wchar_t Separator() const override { return separator_; }
  bool Exists(const std::wstring& path) override {
    return inner_->Exists(path);
  }
  bool IsDirectory(const std::wstring& path) override {
    return inner_->IsDirectory(path);
  }
  platform::CreateFolderResult CreateFolder(const std::wstring& path) override {
    return inner_->CreateFolder(path);
  }
  platform::CreateFolderResult CreateFolderTree(
      const std::wstring& path) override {
    return inner_->CreateFolderTree(path);
  }
  bool RemoveFolder(const std::wstring& path) override {
    return inner_->RemoveFolder(path);
  }
  bool ListFolder(const std::wstring& path,
                  std::vector<platform::FolderEntry>* entries) override {
    return inner_->ListFolder(path, entries);
  }
  std::uint32_t CopyFile(const std::wstring& source,
                         const std::wstring& destination) override {
    return inner_->CopyFile(source, destination);
  }
  bool DeleteFile(const std::wstring& path) override {
    return inner_->DeleteFile(path);
  }
  bool MakeWritable(const std::wstring& path) override {
    return inner_->MakeWritable(path);
  }
  bool SetNormalAttributes(const std::wstring& path) override {
    return inner_->SetNormalAttributes(path);
  }
  bool DeleteAtRestart(const std::wstring& path) override {
    return inner_->DeleteAtRestart(path);
  }
  std::unique_ptr<platform::File> OpenRead(const std::wstring& path,
                                           std::uint32_t* error) override {
    return inner_->OpenRead(path, error);
  }
  std::unique_ptr<platform::File> OpenWrite(const std::wstring& path,
                                            std::uint32_t* error) override {
    return inner_->OpenWrite(path, error);
  }
  std::wstring ErrorText(std::uint32_t code) override {
    return inner_->ErrorText(code);
  }

 private:
  std::shared_ptr<platform::FileSystem> inner_;
  wchar_t separator_;
};

}  // namespace

std::shared_ptr<platform::FileSystem> WithSeparator(
    std::shared_ptr<platform::FileSystem> inner, wchar_t separator) {
  return std::make_shared<SeparatorFileSystem>(std::move(inner), separator);
}

DiscTestPlatform MakeDiscTestPlatform(wchar_t separator) {
  DiscTestPlatform test;
  static_cast<TestPlatform&>(test) = MakeTestPlatform();
  test.disc = std::make_shared<FakeDiscServices>();
  test.disc->UseClock(test.clock);
  test.platform->disc = test.disc;
  if (test.platform->files->Separator() != separator) {
    test.platform->files = WithSeparator(test.platform->files, separator);
  }
  return test;
}

std::ostream& operator<<(std::ostream& out, const StatusReport& report) {
  return out << "(" << report.code << ", " << report.first << ", "
             << report.second << ")";
}

void StatusLog::Callback(std::int32_t code, std::intptr_t first,
                         std::intptr_t second, void* context) {
  auto* log = static_cast<StatusLog*>(context);
  std::lock_guard<std::mutex> lock(log->mutex_);
  log->reports_.push_back({code, first, second});
}

std::vector<StatusReport> StatusLog::Reports() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return reports_;
}

}  // namespace tessaline::testing
