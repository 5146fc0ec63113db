// The file system contract for every system; the cases where the systems
// really differ follow.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "platform/platform_wrapper.h"
#include "platform/text.h"
#include "support/core/temp_folder.h"
#include "support/core/test_platform.h"

#ifdef _WIN32
#include "platform/windows/win32.h"
#else
#include <errno.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace tessaline::platform {
namespace {

namespace fs = std::filesystem;
using testing::ReadFile;
using testing::WriteFile;
using testing::WritePatternFile;

// ENOENT and ERROR_FILE_NOT_FOUND.
constexpr std::uint32_t kNotFound = 2;

class FileSystemContractTest : public ::testing::Test {
 protected:
  std::wstring Path(const std::string& relative = "") const {
    return temp_.Wide(relative);
  }
  fs::path At(const std::string& relative) const {
    return temp_.path() / relative;
  }

  testing::TempFolder temp_;
  const std::shared_ptr<FileSystem> files_ = testing::MakeSystemFileSystem();
};

TEST_F(FileSystemContractTest, FoldersAreCreatedOnceTreesWholeAndRemovedEmpty) {
  WriteFile(temp_.path() / "f", "x");
  EXPECT_TRUE(files_->Exists(Path("f")));
  EXPECT_FALSE(files_->Exists(Path("absent.txt")));
  EXPECT_FALSE(files_->IsDirectory(Path("f")));
  EXPECT_TRUE(files_->IsDirectory(Path()));
  // Two separators in a row, as a work folder ending in one gives.
  const std::wstring twice{files_->Separator(), files_->Separator()};
  EXPECT_TRUE(files_->Exists(Path() + twice + L"f"));
  EXPECT_EQ(files_->CreateFolder(Path("a")), CreateFolderResult::kCreated);
  EXPECT_EQ(files_->CreateFolder(Path("a")),
            CreateFolderResult::kAlreadyExists);
  EXPECT_EQ(files_->CreateFolder(Path("missing/child")),
            CreateFolderResult::kFailed);
  EXPECT_EQ(files_->CreateFolderTree(Path("t/u/d\u00e9j\u00e0")),
            CreateFolderResult::kCreated);
  EXPECT_TRUE(files_->IsDirectory(Path("t/u/d\u00e9j\u00e0")));
  EXPECT_EQ(files_->CreateFolderTree(Path("t/u")),
            CreateFolderResult::kAlreadyExists);
  // A file in the way.
  EXPECT_NE(files_->CreateFolderTree(Path("f")), CreateFolderResult::kCreated);
  EXPECT_TRUE(files_->RemoveFolder(Path("t/u/d\u00e9j\u00e0")));
  EXPECT_FALSE(files_->RemoveFolder(Path("t")));  // not empty
}

// Listings leave out the dots; links count as what they lead to, and a
// walk sees that they are links.
TEST_F(FileSystemContractTest, ListsEntriesAndLinksCountAsWhatTheyLeadTo) {
  WriteFile(At("d/one.txt"), "1");
  WriteFile(At("d/sub/file"), "x");
  // Wine makes no links.
  std::error_code no_links;
  fs::create_directory_symlink(At("d/sub"), At("d/dl"), no_links);
  std::vector<FolderEntry> entries;
  ASSERT_TRUE(files_->ListFolder(Path("d"), &entries));
  std::map<std::wstring, std::pair<bool, bool>> seen,
      expected{{L"one.txt", {false, false}}, {L"sub", {true, false}}};
  for (const auto& e : entries) seen[e.name] = {e.is_directory, e.is_link};
  if (!no_links) expected[L"dl"] = {true, true};
  EXPECT_EQ(seen, expected);
  bool loop = true;
  const std::wstring real = files_->ResolveLinks(Path("d/sub/file"), &loop);
  EXPECT_FALSE(loop);
  if (!no_links) {
    EXPECT_TRUE(files_->IsDirectory(Path("d/dl")));
    EXPECT_EQ(files_->ResolveLinks(Path("d/dl/../dl/file"), nullptr), real);
  }
  EXPECT_EQ(files_->ResolveLinks(Path("absent"), &loop), L"");
  EXPECT_FALSE(loop);
  ASSERT_EQ(files_->CreateFolder(Path("empty")), CreateFolderResult::kCreated);
  EXPECT_TRUE(files_->ListFolder(Path("empty"), &entries));
  EXPECT_TRUE(entries.empty());
  EXPECT_FALSE(files_->ListFolder(Path("absent"), &entries));
  EXPECT_FALSE(files_->ListFolder(Path("d/one.txt"), &entries));
}

TEST_F(FileSystemContractTest, CopiesReplaceWholeAndReportTheSystemCode) {
  WriteFile(temp_.path() / "src.bin", "new content");
  WriteFile(temp_.path() / "dst.bin", "older and longer content");
  EXPECT_EQ(files_->CopyFile(Path("src.bin"), Path("dst.bin")), 0u);
  EXPECT_EQ(ReadFile(temp_.path() / "dst.bin"), "new content");
  EXPECT_EQ(files_->CopyFile(Path("absent.bin"), Path("x.bin")), kNotFound);
  EXPECT_FALSE(files_->Exists(Path("x.bin")));

  std::atomic<std::uint8_t> cancel{0};
  EXPECT_EQ(
      files_->CopyFileCancellable(Path("src.bin"), Path("c1.bin"), &cancel),
      0u);
  EXPECT_EQ(ReadFile(temp_.path() / "c1.bin"), "new content");
  // Cancelled before it starts: nothing is copied and nothing reported.
  cancel = 1;
  EXPECT_EQ(
      files_->CopyFileCancellable(Path("src.bin"), Path("c2.bin"), &cancel),
      0u);
  EXPECT_FALSE(files_->Exists(Path("c2.bin")));
}

TEST_F(FileSystemContractTest, FilesReadWriteSeekAndSize) {
  std::uint32_t error = 0;
  auto out = files_->OpenWrite(Path("data.bin"), &error);
  ASSERT_NE(out, nullptr);
  EXPECT_TRUE(out->Write("0123456789", 10));
  EXPECT_EQ(out->Size(), 10);
  EXPECT_TRUE(out->Close());

  auto in = files_->OpenRead(Path("data.bin"), &error);
  ASSERT_NE(in, nullptr);
  char buffer[8] = {};
  EXPECT_TRUE(in->Seek(6));
  EXPECT_EQ(in->Read(buffer, sizeof buffer), 4);
  EXPECT_EQ(std::string(buffer, 4), "6789");
  EXPECT_EQ(in->Read(buffer, sizeof buffer), 0);
  EXPECT_EQ(files_->OpenRead(Path("absent.bin"), &error), nullptr);
  EXPECT_EQ(error, kNotFound);

  const std::wstring text = files_->ErrorText(kNotFound);
  ASSERT_FALSE(text.empty());
  EXPECT_NE(text.back(), L'\n');
  EXPECT_NE(text.back(), L'\r');
#ifdef _WIN32
  EXPECT_EQ(files_->ErrorText(0x2FFFFFF1u), L"Unknown error 0x2FFFFFF1");
#else
  EXPECT_EQ(text, L"No such file or directory");
#endif
}

#ifndef _WIN32

TEST_F(FileSystemContractTest, PosixCopyKeepsModeAndTimeAndFallsBack) {
  WritePatternFile(At("src"), 3 << 20, 7);
  ::chmod(At("src").c_str(), 0604);
  const auto when = fs::last_write_time(At("src")) - std::chrono::hours(50);
  fs::last_write_time(At("src"), when);
  WritePatternFile(At("dst"), 5 << 20, 9);  // longer: must be truncated
  ASSERT_EQ(files_->CopyFile(Path("src"), Path("dst")), 0u);
  EXPECT_EQ(ReadFile(At("dst")), ReadFile(At("src")));
  struct stat st;
  ASSERT_EQ(::stat(At("dst").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0604u);
  EXPECT_EQ(fs::last_write_time(At("dst")), when);
  // /proc files claim size 0: the kernel copy gives nothing there.
  ASSERT_EQ(files_->CopyFile(L"/proc/self/mountinfo", Path("m")), 0u);
  EXPECT_NE(ReadFile(At("m")).find(" / "), std::string::npos);
  // From tmpfs to another file system recent kernels refuse their copy.
  const fs::path shm = "/dev/shm/tessaline-test-" + std::to_string(::getpid());
  if (!fs::is_directory(shm.parent_path())) return;
  WritePatternFile(shm, 1 << 20, 3);
  EXPECT_EQ(files_->CopyFile(FromUtf8(shm.string()), Path("shm")), 0u);
  EXPECT_EQ(ReadFile(At("shm")), ReadFile(shm));
  fs::remove(shm);
}

TEST_F(FileSystemContractTest, PosixCopyFailuresReportErrnoAndLeaveNoFile) {
  WriteFile(At("same"), "keep me");
  EXPECT_EQ(files_->CopyFile(Path("same"), Path("same")),
            static_cast<std::uint32_t>(EINVAL));
  EXPECT_EQ(ReadFile(At("same")), "keep me");
  EXPECT_EQ(files_->CopyFile(Path(), Path("x")),
            static_cast<std::uint32_t>(EISDIR));
  EXPECT_FALSE(fs::exists(At("x")));
  // Wrapped, the file system keeps honouring the cancel.
  std::atomic<std::uint8_t> cancel{1};
  FileSystemWrapper wrapped(files_);
  EXPECT_EQ(wrapped.CopyFileCancellable(Path("same"), Path("old"), &cancel),
            0u);
  EXPECT_FALSE(fs::exists(At("old")));
  // A dangling link is absent; a loop is listed so that a walk can refuse
  // it.
  fs::create_symlink(At("nowhere"), At("dangling"));
  fs::create_symlink("loop", At("loop"));
  EXPECT_FALSE(files_->Exists(Path("dangling")));
  bool loop = true;
  EXPECT_EQ(files_->ResolveLinks(Path("dangling"), &loop), L"");
  EXPECT_FALSE(loop);
  EXPECT_EQ(files_->ResolveLinks(Path("loop"), &loop), L"");
  EXPECT_TRUE(loop);
}

#else

TEST_F(FileSystemContractTest, WindowsDriveRootsAndRelativeTrees) {
  // A root has no entry of its own for FindFirstFileW to find.
  wchar_t windows_folder[MAX_PATH];
  ASSERT_NE(::GetWindowsDirectoryW(windows_folder, MAX_PATH), 0u);
  const std::wstring root{windows_folder[0], L':', L'\\'};
  EXPECT_TRUE(files_->IsDirectory(root));

  // SHCreateDirectoryExW wants a full path; a relative one means the
  // current folder.
  wchar_t previous[MAX_PATH];
  ASSERT_NE(::GetCurrentDirectoryW(MAX_PATH, previous), 0u);
  ASSERT_TRUE(::SetCurrentDirectoryW(temp_.Wide().c_str()));
  const CreateFolderResult relative = files_->CreateFolderTree(L"r\\s");
  ::SetCurrentDirectoryW(previous);
  EXPECT_EQ(relative, CreateFolderResult::kCreated);
  EXPECT_TRUE(files_->IsDirectory(Path("r\\s")));
}

TEST_F(FileSystemContractTest, WindowsAttributesAreClearedAndFilesDeleted) {
  WriteFile(temp_.path() / "ro.txt", "x");
  const std::wstring path = Path("ro.txt");
  ASSERT_TRUE(::SetFileAttributesW(
      path.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
  EXPECT_FALSE(files_->DeleteFile(path));
  EXPECT_TRUE(files_->MakeWritable(path));
  EXPECT_EQ(::GetFileAttributesW(path.c_str()) & FILE_ATTRIBUTE_READONLY, 0u);
  EXPECT_TRUE(files_->SetNormalAttributes(path));
  EXPECT_EQ(::GetFileAttributesW(path.c_str()) & FILE_ATTRIBUTE_HIDDEN, 0u);
  EXPECT_TRUE(files_->DeleteFile(path));
  EXPECT_FALSE(files_->Exists(path));
  EXPECT_FALSE(files_->MakeWritable(path));
  EXPECT_FALSE(files_->SetNormalAttributes(path));
}

// The machine's list of renames and deletions for its next start.
std::wstring PendingOperations() {
  const wchar_t* key = L"System\\CurrentControlSet\\Control\\Session Manager";
  const wchar_t* value = L"PendingFileRenameOperations";
  DWORD size = 0;
  ::RegGetValueW(HKEY_LOCAL_MACHINE, key, value, RRF_RT_REG_MULTI_SZ, nullptr,
                 nullptr, &size);
  std::wstring data(size / sizeof(wchar_t) + 1, L'\0');
  ::RegGetValueW(HKEY_LOCAL_MACHINE, key, value, RRF_RT_REG_MULTI_SZ, nullptr,
                 data.data(), &size);
  std::replace(data.begin(), data.end(), L'\0', L'\n');
  return data;
}

TEST_F(FileSystemContractTest,
       WindowsImageThatCannotBeDeletedGoesAtTheNextStart) {
  WriteFile(temp_.path() / "boot.iso", "image");
  const std::wstring image = Path("boot.iso");
  // Another program reads the image and does not share deletion.
  windows::UniqueHandle holder(
      ::CreateFileW(image.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  ASSERT_TRUE(holder.valid());
  ASSERT_FALSE(files_->DeleteFile(image));

  if (!files_->DeleteAtRestart(image)) {
    ASSERT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    GTEST_SKIP() << "deletion at the next start needs administrator rights";
  }
  EXPECT_TRUE(files_->Exists(image));
  EXPECT_NE(PendingOperations().find(L"\\??\\" + image), std::wstring::npos)
      << "pending: " << ::testing::PrintToString(PendingOperations());

  // Once nothing holds it, the same call deletes it at once.
  holder.Close();
  WriteFile(temp_.path() / "free.iso", "image");
  EXPECT_TRUE(files_->DeleteAtRestart(Path("free.iso")));
  EXPECT_FALSE(files_->Exists(Path("free.iso")));
  EXPECT_EQ(PendingOperations().find(Path("free.iso")), std::wstring::npos);
}

// Reading shares the file with other readers, not with writers; unknown
// codes get a text all the same.
TEST_F(FileSystemContractTest,
       WindowsReadersShareWithReadersOnlyAndCodesAllHaveText) {
  WriteFile(temp_.path() / "data.bin", "0123456789");
  std::uint32_t error = 0;
  auto in = files_->OpenRead(Path("data.bin"), &error);
  ASSERT_NE(in, nullptr);
  EXPECT_NE(files_->OpenRead(Path("data.bin"), &error), nullptr);
  EXPECT_EQ(files_->OpenWrite(Path("data.bin"), &error), nullptr);
  EXPECT_EQ(error, static_cast<std::uint32_t>(ERROR_SHARING_VIOLATION));
  EXPECT_NE(files_->ErrorText(ERROR_FILE_NOT_FOUND),
            files_->ErrorText(ERROR_ACCESS_DENIED));
}

#endif

}  // namespace
}  // namespace tessaline::platform
