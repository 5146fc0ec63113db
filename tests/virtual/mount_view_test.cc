// A virtual drive's mount point shows the file system on its medium, read
// in place from medium.img, read-only, and nothing once the medium is gone.
// ISO images are read so when the boot disc is verified end to end.
#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <map>
#include <string>

#include "virtual/virtual_drive_fixture.h"

namespace tessaline::testing {
namespace {

namespace fs = std::filesystem;
using namespace platform;
using Tree = std::map<std::string, std::string>;

class MountViewTest : public VirtualDrivesTest {
 protected:
  MountViewTest() {
    WriteFile(source_ / "a.txt", "alpha");
    WriteFile(source_ / "sub" / "b.txt", "beta");
    WritePatternFile(source_ / "sub" / "deeper" / "big.bin",
                     3 * 1024 * 1024 + 777, 5);
    fs::create_directories(source_ / "empty");
  }

  Tree DiscTree(const std::wstring& folder, const std::string& prefix = "") {
    Tree tree;
    std::vector<FolderEntry> entries;
    EXPECT_TRUE(files_->ListFolder(folder, &entries));
    for (const FolderEntry& entry : entries) {
      const std::string name = prefix + ToUtf8(entry.name);
      const std::wstring path = folder + L"/" + entry.name;
      EXPECT_EQ(files_->IsDirectory(path), entry.is_directory);
      if (entry.is_directory) {
        tree[name] = "/";
        tree.merge(DiscTree(path, name + "/"));
      } else if (auto file = files_->OpenRead(path, nullptr)) {
        std::string& content = tree[name];
        content.resize(static_cast<std::size_t>(file->Size()));
        EXPECT_EQ(file->Read(content.data(), file->Size()), file->Size());
      }
    }
    return tree;
  }
  Tree DiscTree(const char* drive) {
    return DiscTree(FromUtf8((drives_ / drive / "mount").string()));
  }

  HRESULT WriteUdfImage(std::int32_t index) {
    std::shared_ptr<IFileSystemImage> image;
    std::shared_ptr<IFsiDirectoryItem> root;
    std::shared_ptr<IFileSystemImageResult> result;
    std::shared_ptr<IStream> stream;
    EXPECT_EQ(disc_->CreateFileSystemImage(&image), kS_OK);
    EXPECT_EQ(image->GetRoot(&root), kS_OK);
    EXPECT_EQ(root->AddTree(FromUtf8(source_.string()), false), kS_OK);
    EXPECT_EQ(image->CreateResultImage(&result), kS_OK);
    EXPECT_EQ(result->GetImageStream(&stream), kS_OK);
    return stream ? Writer(index)->Write(stream.get()) : kE_FAIL;
  }

  std::shared_ptr<FileSystem>& files_ = test_.platform->files;
};

TEST_F(MountViewTest, UdfMediumIsReadInPlaceReadOnlyAndOnlyWhileItIsThere) {
  const fs::path drive = AddDrive("drive0", IMAPI_MEDIA_TYPE_BDRE);
  // A name beyond the Basic Multilingual Plane, and one with accents.
  WriteFile(source_ / "Grüße 🎉.txt", "unicode");
  ASSERT_EQ(WriteUdfImage(0), kS_OK);
  EXPECT_EQ(DiscTree("drive0"), DiscTree(FromUtf8(source_.string())));
  // Nothing but the medium holds its content, and it cannot be changed.
  EXPECT_TRUE(fs::is_empty(drive / "mount"));
  const std::wstring file = FromUtf8((drive / "mount" / "a.txt").string());
  std::uint32_t error = 0;
  EXPECT_EQ(files_->OpenWrite(file, &error), nullptr);
  EXPECT_EQ(error, static_cast<std::uint32_t>(EROFS));
  EXPECT_FALSE(files_->DeleteFile(file));
  EXPECT_EQ(files_->OpenRead(file + L"x", &error), nullptr);
  EXPECT_EQ(error, static_cast<std::uint32_t>(ENOENT));

  // A dismounted volume is read again at its next use.
  auto device =
      devices_->Open(devices_->DevicePath(MountOf(0)), DeviceAttributes::kNone);
  ASSERT_TRUE(device->DismountVolume());
  EXPECT_EQ(DiscTree("drive0"), DiscTree(FromUtf8(source_.string())));
  // Erased, ejected or holding raw data, the medium shows nothing.
  ASSERT_EQ(Eraser(0)->EraseMedia(), kS_OK);
  EXPECT_TRUE(DiscTree("drive0").empty());
  ASSERT_EQ(WriteUdfImage(0), kS_OK);
  ASSERT_TRUE(device->EjectMedia());
  EXPECT_TRUE(DiscTree("drive0").empty());
  EXPECT_FALSE(files_->Exists(file));
  device->LoadMedia();
  ASSERT_EQ(WriteBytes(0, Sectors(40)), kS_OK);
  EXPECT_TRUE(DiscTree("drive0").empty());
}

}  // namespace
}  // namespace tessaline::testing
