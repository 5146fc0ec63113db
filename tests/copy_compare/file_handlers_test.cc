#include "copy_compare/file_handlers.h"

#include <errno.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "copy_compare/hooked_files.h"
#include "support/core/test_platform.h"

namespace tessaline {
namespace {

namespace fs = std::filesystem;
using testing::ReadFile;
using testing::WriteFile;

class FileHandlersTest : public ::testing::Test {
 protected:
  FileHandlersTest() {
    platform_.files = hooked_;
    WriteFile(Path("src/a.txt"), "alpha");
    testing::WritePatternFile(Path("src/sub/b.bin"), 300000, 2);
    WriteFile(Path("src/sub/\u00fcn\u00ef"), "unicode");
    fs::create_directories(Path("src/sub/empty"));
  }
  std::wstring At(const std::string& relative) { return temp_.Wide(relative); }
  fs::path Path(const std::string& relative) { return temp_.path() / relative; }
  std::int32_t Verify() {
    return RecursiveFolderVerify(platform_, At("src"), At("d/x"), &cancel_);
  }

  testing::TempFolder temp_;
  testing::TestPlatform test_ = testing::MakeTestPlatform();
  std::shared_ptr<HookedFiles> hooked_ =
      std::make_shared<HookedFiles>(test_.platform->files);
  platform::Platform platform_ = *test_.platform;
  CancelFlag cancel_{0};
};

TEST_F(FileHandlersTest, CopiedTreeVerifiesAndEveryDifferenceIsFound) {
  const std::vector<std::function<void()>> faults = {
      [] {},
      [&] { WriteFile(Path("d/x/a.txt"), "alphA"); },
      [&] { WriteFile(Path("d/x/sub/extra"), ""); },
      [&] { fs::remove(Path("d/x/sub/b.bin")); },
      [&] { fs::remove(Path("d/x/sub/empty")); },
      [&] {
        fs::remove(Path("d/x/a.txt"));
        fs::create_directory(Path("d/x/a.txt"));
      }};
  for (std::size_t i = 0; i < faults.size(); ++i) {
    fs::remove_all(Path("d"));
    ASSERT_EQ(RecursiveFolderCopy(platform_, At("src"), At("d/x"), &cancel_),
              0);
    EXPECT_EQ(ReadFile(Path("d/x/sub/\u00fcn\u00ef")), "unicode");
    faults[i]();
    EXPECT_EQ(Verify() != 0, i != 0) << "fault " << i;
    cancel_ = 1;
    EXPECT_EQ(Verify(), 0) << "fault " << i;
    cancel_ = 0;
  }
}

TEST_F(FileHandlersTest, CopyOverwritesReadOnlyFilesAndReportsFailures) {
  hooked_->RefuseReadOnlyDestinations();
  WriteFile(Path("d/a.txt"), "old");
  fs::permissions(Path("d/a.txt"), fs::perms::owner_read);
  EXPECT_EQ(RecursiveFolderCopy(platform_, At("src"), At("d"), &cancel_), 0);
  EXPECT_EQ(ReadFile(Path("d/a.txt")), "alpha");

  hooked_->on_copy = [](const std::wstring&) { return ENOSPC; };
  EXPECT_NE(RecursiveFolderCopy(platform_, At("src"), At("d2"), &cancel_), 0);
  EXPECT_NE(
      RecursiveFolderCopy(platform_, At("src"), At("src/sub/in"), nullptr), 0);
  EXPECT_FALSE(fs::exists(Path("src/sub/in")));
}

TEST_F(FileHandlersTest, CancelStopsBetweenFilesAndBlocksAndCountsAsSuccess) {
  hooked_->on_copy = [&](const std::wstring&) -> std::uint32_t {
    cancel_ = 1;
    return 0;
  };
  EXPECT_EQ(RecursiveFolderCopy(platform_, At("src"), At("d"), &cancel_), 0);
  // The file whose copy saw the flag is removed, and no other is begun.
  for (const auto& entry : fs::recursive_directory_iterator(Path("d"))) {
    EXPECT_FALSE(entry.is_regular_file()) << entry.path();
  }

  cancel_ = 0;
  const std::uint64_t size = (9 << 20) + 5;  // three blocks, the last short
  testing::WritePatternFile(Path("one"), size, 4);
  testing::WritePatternFile(Path("two"), size, 4);
  EXPECT_EQ(CompareFile(platform_, At("one"), At("two"), 0, &cancel_), 0);
  testing::WritePatternFile(Path("short"), size - 1, 4);
  EXPECT_NE(CompareFile(platform_, At("one"), At("short"), 0, &cancel_), 0);
  EXPECT_NE(CompareFile(platform_, At("one"), At("none"), 0, &cancel_), 0);
  WriteFile(Path("short"), ReadFile(Path("short")) + "!");  // the last byte
  EXPECT_NE(CompareFile(platform_, At("one"), At("short"), 0, &cancel_), 0);
  hooked_->on_read = [&] { cancel_ = 1; };
  EXPECT_EQ(CompareFile(platform_, At("one"), At("short"), 0, &cancel_), 0);
}

TEST_F(FileHandlersTest, TreesAreDeletedButLinksNotFollowed) {
  WriteFile(Path("outside/keep"), "mine");
  fs::create_directory_symlink(Path("outside"), Path("src/sub/link"));
  fs::permissions(Path("src/sub/empty"), fs::perms::owner_read);
  DeleteTree(platform_, At("src"), L"");
  EXPECT_FALSE(fs::exists(Path("src")));
  EXPECT_EQ(ReadFile(Path("outside/keep")), "mine");
}

}  // namespace
}  // namespace tessaline
