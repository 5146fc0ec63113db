// What the Win32 file system does beyond the contract that every system's
// file system keeps (file_system_contract_test.cc): drive roots, relative
// trees, attributes, deletion at the next start, sharing and message texts.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/windows/win32.h"
#include "platform/windows/windows_backends.h"
#include "support/core/temp_folder.h"

namespace tessaline::platform {
namespace {

using testing::ReadFile;
using testing::WriteFile;

class WindowsFileSystemTest : public ::testing::Test {
 protected:
  std::wstring Path(const std::string& relative) const {
    return folder_.Wide(relative);
  }

  testing::TempFolder folder_;
  const std::shared_ptr<FileSystem> files_ = windows::MakeFileSystem();
};

TEST_F(WindowsFileSystemTest, DriveRootsAndRelativeTrees) {
  EXPECT_EQ(files_->Separator(), L'\\');
  // A root has no entry of its own for FindFirstFileW to find.
  wchar_t windows_folder[MAX_PATH];
  ASSERT_NE(::GetWindowsDirectoryW(windows_folder, MAX_PATH), 0u);
  const std::wstring root{windows_folder[0], L':', L'\\'};
  EXPECT_TRUE(files_->IsDirectory(root));

  // SHCreateDirectoryExW wants a full path; a relative one means the
  // current folder.
  wchar_t previous[MAX_PATH];
  ASSERT_NE(::GetCurrentDirectoryW(MAX_PATH, previous), 0u);
  ASSERT_TRUE(::SetCurrentDirectoryW(folder_.Wide().c_str()));
  const CreateFolderResult relative = files_->CreateFolderTree(L"r\\s");
  ::SetCurrentDirectoryW(previous);
  EXPECT_EQ(relative, CreateFolderResult::kCreated);
  EXPECT_TRUE(files_->IsDirectory(Path("r\\s")));
}

TEST_F(WindowsFileSystemTest, LinksResolveToTheRealPath) {
  WriteFile(folder_.path() / "d" / "file.txt", "x");
  bool loop = true;
  const std::wstring real =
      files_->ResolveLinks(Path("d\\..\\d\\file.txt"), &loop);
  EXPECT_FALSE(loop);
  EXPECT_EQ(real, files_->ResolveLinks(Path("d\\file.txt"), nullptr));
  ASSERT_GT(real.size(), 11u);
  EXPECT_EQ(real.substr(real.size() - 11), L"\\d\\file.txt");
  EXPECT_NE(real.rfind(L"\\\\?\\", 0), 0u);  // the short form
  EXPECT_EQ(files_->ResolveLinks(Path("absent"), &loop), L"");
  EXPECT_FALSE(loop);

  // 2: SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE, in developer mode.
  if (!::CreateSymbolicLinkW(Path("l").c_str(), Path("d").c_str(),
                             SYMBOLIC_LINK_FLAG_DIRECTORY | 2) ||
      !files_->Exists(Path("l\\file.txt"))) {
    GTEST_SKIP() << "symbolic links cannot be made here";
  }
  EXPECT_EQ(files_->ResolveLinks(Path("l\\file.txt"), nullptr), real);
  std::vector<FolderEntry> entries;
  ASSERT_TRUE(files_->ListFolder(folder_.Wide(), &entries));
  const auto link = std::find_if(entries.begin(), entries.end(),
                                 [](const auto& e) { return e.name == L"l"; });
  ASSERT_NE(link, entries.end());
  EXPECT_TRUE(link->is_link);
  EXPECT_TRUE(link->is_directory);
}

TEST_F(WindowsFileSystemTest, AttributesAreClearedAndFilesDeleted) {
  WriteFile(folder_.path() / "ro.txt", "x");
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
  HKEY key = nullptr;
  if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE,
                      L"System\\CurrentControlSet\\Control\\Session Manager", 0,
                      KEY_READ, &key) != ERROR_SUCCESS) {
    return {};
  }
  DWORD size = 0;
  std::wstring data;
  if (::RegQueryValueExW(key, L"PendingFileRenameOperations", nullptr, nullptr,
                         nullptr, &size) == ERROR_SUCCESS) {
    data.resize(size / sizeof(wchar_t));
    ::RegQueryValueExW(key, L"PendingFileRenameOperations", nullptr, nullptr,
                       reinterpret_cast<BYTE*>(data.data()), &size);
  }
  ::RegCloseKey(key);
  std::replace(data.begin(), data.end(), L'\0', L'\n');
  return data;
}

TEST_F(WindowsFileSystemTest, ImageThatCannotBeDeletedGoesAtTheNextStart) {
  WriteFile(folder_.path() / "boot.iso", "image");
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
  WriteFile(folder_.path() / "free.iso", "image");
  EXPECT_TRUE(files_->DeleteAtRestart(Path("free.iso")));
  EXPECT_FALSE(files_->Exists(Path("free.iso")));
  EXPECT_EQ(PendingOperations().find(Path("free.iso")), std::wstring::npos);
}

// Reading shares the file with other readers, not with writers; unknown
// codes get a text all the same.
TEST_F(WindowsFileSystemTest, ReadersShareWithReadersOnlyAndCodesAllHaveText) {
  WriteFile(folder_.path() / "data.bin", "0123456789");
  std::uint32_t error = 0;
  auto in = files_->OpenRead(Path("data.bin"), &error);
  ASSERT_NE(in, nullptr);
  EXPECT_NE(files_->OpenRead(Path("data.bin"), &error), nullptr);
  EXPECT_EQ(files_->OpenWrite(Path("data.bin"), &error), nullptr);
  EXPECT_EQ(error, static_cast<std::uint32_t>(ERROR_SHARING_VIOLATION));
  EXPECT_NE(files_->ErrorText(ERROR_FILE_NOT_FOUND),
            files_->ErrorText(ERROR_ACCESS_DENIED));
  EXPECT_EQ(files_->ErrorText(0x2FFFFFF1u), L"Unknown error 0x2FFFFFF1");
}

}  // namespace
}  // namespace tessaline::platform
