// What every system's file system does alike; the cases that differ stay
// with their backend's own tests. Runs on POSIX and, under Wine, on Windows.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <map>
#include <string>
#include <vector>

#include "support/core/temp_folder.h"
#include "support/core/test_platform.h"

namespace tessaline::platform {
namespace {

using testing::ReadFile;
using testing::WriteFile;

// ENOENT and ERROR_FILE_NOT_FOUND.
constexpr std::uint32_t kNotFound = 2;

class FileSystemContractTest : public ::testing::Test {
 protected:
  std::wstring Path(const std::string& relative = "") const {
    return temp_.Wide(relative);
  }

  testing::TempFolder temp_;
  const std::shared_ptr<FileSystem> files_ = testing::MakeSystemFileSystem();
};

TEST_F(FileSystemContractTest, ExistenceAndFolders) {
  WriteFile(temp_.path() / "file.txt", "x");
  EXPECT_TRUE(files_->Exists(Path("file.txt")));
  EXPECT_FALSE(files_->Exists(Path("absent.txt")));
  EXPECT_FALSE(files_->IsDirectory(Path("file.txt")));
  EXPECT_TRUE(files_->IsDirectory(Path()));
  // Two separators in a row, as a work folder ending in one gives.
  const std::wstring twice{files_->Separator(), files_->Separator()};
  EXPECT_TRUE(files_->Exists(Path() + twice + L"file.txt"));
}

TEST_F(FileSystemContractTest, FoldersAreCreatedOnceTreesWholeAndRemovedEmpty) {
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
  WriteFile(temp_.path() / "f", "");
  EXPECT_NE(files_->CreateFolderTree(Path("f")), CreateFolderResult::kCreated);
  EXPECT_TRUE(files_->RemoveFolder(Path("t/u/d\u00e9j\u00e0")));
  EXPECT_FALSE(files_->RemoveFolder(Path("t")));  // not empty
}

TEST_F(FileSystemContractTest, ListsEntriesWithoutDotsAndTellsFolders) {
  WriteFile(temp_.path() / "d" / "one.txt", "1");
  WriteFile(temp_.path() / "d" / "sub" / "two.txt", "2");
  std::vector<FolderEntry> entries;
  ASSERT_TRUE(files_->ListFolder(Path("d"), &entries));
  std::map<std::wstring, bool> seen;
  for (const auto& e : entries) seen[e.name] = e.is_directory;
  EXPECT_EQ(seen, (std::map<std::wstring, bool>{{L"one.txt", false},
                                                {L"sub", true}}));
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
}

}  // namespace
}  // namespace tessaline::platform
