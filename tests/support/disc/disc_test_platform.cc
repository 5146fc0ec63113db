#include "support/disc/disc_test_platform.h"

#include <utility>

#include "platform/platform_wrapper.h"

namespace tessaline::testing {
namespace {

// The real files, under another separator.
class SeparatorFileSystem : public platform::FileSystemWrapper {
 public:
  SeparatorFileSystem(std::shared_ptr<platform::FileSystem> inner,
                      wchar_t separator)
      : FileSystemWrapper(std::move(inner)), separator_(separator) {}
  wchar_t Separator() const override { return separator_; }

 private:
  wchar_t separator_;
};

}  // namespace

DiscTestPlatform MakeDiscTestPlatform(wchar_t separator) {
  DiscTestPlatform test;
  static_cast<TestPlatform&>(test) = MakeTestPlatform();
  test.disc = std::make_shared<FakeDiscServices>();
  test.disc->UseClock(test.clock);
  test.platform->disc = test.disc;
  if (test.platform->files->Separator() != separator) {
    test.platform->files =
        std::make_shared<SeparatorFileSystem>(test.platform->files, separator);
  }
  return test;
}

}  // namespace tessaline::testing
