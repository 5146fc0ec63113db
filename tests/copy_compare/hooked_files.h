// The real file system with hooks: a test can fail a copy, or act in the
// middle of a copy or of a read.
#ifndef TESSALINE_TESTS_COPY_COMPARE_HOOKED_FILES_H_
#define TESSALINE_TESTS_COPY_COMPARE_HOOKED_FILES_H_

#include <errno.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "base/status.h"
#include "platform/platform_wrapper.h"
#include "platform/text.h"

namespace tessaline {

class HookedFiles : public platform::FileSystemWrapper {
 public:
  using FileSystemWrapper::FileSystemWrapper;
  // Returns a native error to fail the copy with, or 0 to let it run.
  std::function<std::uint32_t(const std::wstring& to)> on_copy;
  std::function<void()> on_read;

  // As on Windows, a read-only destination refuses a copy until it is made
  // writable.
  void RefuseReadOnlyDestinations() {
    on_copy = [](const std::wstring& to) -> std::uint32_t {
      namespace fs = std::filesystem;
      const fs::path path = platform::ToUtf8(to);
      return fs::exists(path) && (fs::status(path).permissions() &
                                  fs::perms::owner_write) == fs::perms::none
                 ? EACCES
                 : 0;
    };
  }

  std::uint32_t CopyFileCancellable(const std::wstring& from,
                                    const std::wstring& to,
                                    const CancelFlag* cancel) override {
    std::uint32_t error = on_copy ? on_copy(to) : 0;
    return error != 0 ? error : target().CopyFileCancellable(from, to, cancel);
  }
  std::unique_ptr<platform::File> OpenRead(const std::wstring& path,
                                           std::uint32_t* error) override {
    struct Reader : platform::File {
      std::unique_ptr<platform::File> file;
      std::function<void()>* hook;
      std::int64_t Read(void* to, std::int64_t size) override {
        std::int64_t n = file->Read(to, size);
        if (*hook) (*hook)();
        return n;
      }
      bool Write(const void*, std::int64_t) override { return false; }
      bool Seek(std::int64_t offset) override { return file->Seek(offset); }
      std::int64_t Size() override { return file->Size(); }
      bool Close() override { return file->Close(); }
    };
    auto reader = std::make_unique<Reader>();
    reader->file = target().OpenRead(path, error);
    reader->hook = &on_read;
    return reader->file ? std::move(reader) : nullptr;
  }
};

}  // namespace tessaline

#endif  // TESSALINE_TESTS_COPY_COMPARE_HOOKED_FILES_H_
