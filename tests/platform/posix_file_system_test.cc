#include <errno.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <map>

#include "platform/platform_wrapper.h"
#include "platform/posix/posix_backends.h"
#include "platform/text.h"
#include "support/core/temp_folder.h"

namespace tessaline::platform {
namespace {

namespace fs = std::filesystem;
using testing::ReadFile;
using testing::WriteFile;
using testing::WritePatternFile;

class PosixFileSystemTest : public ::testing::Test {
 protected:
  std::uint32_t Copy(const std::string& from, const std::string& to) {
    return files_->CopyFile(temp_.Wide(from), temp_.Wide(to));
  }
  fs::path Path(const std::string& relative) { return temp_.path() / relative; }

  std::shared_ptr<FileSystem> files_ = posix::MakeFileSystem();
  testing::TempFolder temp_;
};

TEST_F(PosixFileSystemTest, CopyKeepsContentModeAndTimeAndReplacesOlderFile) {
  WritePatternFile(Path("src"), 3 << 20, 7);
  ::chmod(Path("src").c_str(), 0604);
  const auto when = fs::last_write_time(Path("src")) - std::chrono::hours(50);
  fs::last_write_time(Path("src"), when);
  WritePatternFile(Path("dst"), 5 << 20, 9);  // longer: must be truncated
  ASSERT_EQ(Copy("src", "dst"), 0u);
  EXPECT_EQ(ReadFile(Path("dst")), ReadFile(Path("src")));
  struct stat st;
  ASSERT_EQ(::stat(Path("dst").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0604u);
  EXPECT_EQ(fs::last_write_time(Path("dst")), when);
}

TEST_F(PosixFileSystemTest, CopyFallsBackWhereTheKernelCannotCopy) {
  // /proc files claim size 0; from tmpfs to another file system the kernel
  // copy is refused on recent kernels.
  ASSERT_EQ(files_->CopyFile(L"/proc/self/mountinfo", temp_.Wide("m")), 0u);
  EXPECT_NE(ReadFile(Path("m")).find(" / "), std::string::npos);
  const fs::path shm = "/dev/shm/tessaline-test-" + std::to_string(::getpid());
  if (!fs::is_directory(shm.parent_path())) return;
  WritePatternFile(shm, 1 << 20, 3);
  EXPECT_EQ(files_->CopyFile(FromUtf8(shm.string()), temp_.Wide("shm")), 0u);
  EXPECT_EQ(ReadFile(Path("shm")), ReadFile(shm));
  fs::remove(shm);
}

TEST_F(PosixFileSystemTest, CopyFailuresReportErrnoAndLeaveNoHalfFile) {
  WriteFile(Path("same"), "keep me");
  EXPECT_EQ(Copy("same", "same"), static_cast<std::uint32_t>(EINVAL));
  EXPECT_EQ(ReadFile(Path("same")), "keep me");
  EXPECT_EQ(files_->ErrorText(ENOENT), L"No such file or directory");
  EXPECT_EQ(Copy("", "x"), static_cast<std::uint32_t>(EISDIR));
  EXPECT_FALSE(fs::exists(Path("x")));

  // Wrapped, the file system keeps honouring the cancel.
  std::atomic<std::uint8_t> cancel{1};
  FileSystemWrapper wrapped(files_);
  for (FileSystem* files : {files_.get(), static_cast<FileSystem*>(&wrapped)}) {
    EXPECT_EQ(files->CopyFileCancellable(temp_.Wide("same"), temp_.Wide("old"),
                                         &cancel),
              0u);
    EXPECT_FALSE(fs::exists(Path("old")));
  }
}

TEST_F(PosixFileSystemTest, LinksCountAsWhatTheyLeadTo) {
  fs::create_directories(Path("d/sub"));
  WriteFile(Path("d/file"), "x");
  fs::create_directory_symlink(Path("d/sub"), Path("d/dl"));
  fs::create_symlink(Path("d/file"), Path("d/fl"));
  fs::create_symlink(Path("nowhere"), Path("d/dangling"));
  fs::create_symlink("loop", Path("d/loop"));
  std::vector<FolderEntry> entries;
  ASSERT_TRUE(files_->ListFolder(temp_.Wide("d"), &entries));
  // Folder, link: a loop is listed so that a walk can refuse it.
  std::map<std::wstring, std::pair<bool, bool>> seen;
  for (const auto& e : entries) seen[e.name] = {e.is_directory, e.is_link};
  EXPECT_EQ(seen, (std::map<std::wstring, std::pair<bool, bool>>{
                      {L"sub", {true, false}},
                      {L"file", {false, false}},
                      {L"dl", {true, true}},
                      {L"fl", {false, true}},
                      {L"loop", {false, true}}}));
  EXPECT_FALSE(files_->Exists(temp_.Wide("d/dangling")));
  bool loop = true;
  EXPECT_EQ(files_->ResolveLinks(temp_.Wide("d/dl/../fl"), &loop),
            FromUtf8(fs::canonical(Path("d/file")).string()));
  EXPECT_FALSE(loop);
  EXPECT_EQ(files_->ResolveLinks(temp_.Wide("d/dangling"), &loop), L"");
  EXPECT_FALSE(loop);
  EXPECT_EQ(files_->ResolveLinks(temp_.Wide("d/loop"), &loop), L"");
  EXPECT_TRUE(loop);
  EXPECT_TRUE(files_->IsDirectory(temp_.Wide("d/dl")));
}

}  // namespace
}  // namespace tessaline::platform
