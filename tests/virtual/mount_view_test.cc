// The mount folder of a virtual drive shows the file system read back from
// the medium: UDF images of the project's builder and ISO 9660 images of
// xorriso, after a write and again after a dismount.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>

#include "support/core/temp_folder.h"
#include "virtual/virtual_drive_fixture.h"

namespace tessaline::testing {
namespace {

namespace fs = std::filesystem;
using namespace platform;

// Every file below `root` with its content, and every folder with "/".
std::map<std::string, std::string> Tree(const fs::path& root) {
  std::map<std::string, std::string> tree;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    const std::string relative = fs::relative(entry.path(), root).string();
    tree[relative] = entry.is_directory() ? "/" : ReadFile(entry.path());
  }
  return tree;
}

class MountViewTest : public VirtualDrivesTest {
 protected:
  MountViewTest() : source_(temp_.path() / "source") {
    WriteFile(source_ / "a.txt", "alpha");
    WriteFile(source_ / "sub" / "b.txt", "beta");
    WritePatternFile(source_ / "sub" / "deeper" / "big.bin",
                     3 * 1024 * 1024 + 777, 5);
    fs::create_directories(source_ / "empty");
  }

  // Writes a UDF image of the source folder made by the disc services.
  HRESULT WriteUdfImage(std::int32_t index) {
    std::shared_ptr<IFileSystemImage> image;
    std::shared_ptr<IFsiDirectoryItem> root;
    std::shared_ptr<IFileSystemImageResult> result;
    std::shared_ptr<IStream> stream;
    EXPECT_EQ(disc_->CreateFileSystemImage(&image), kS_OK);
    EXPECT_EQ(image->PutFileSystemsToCreate(kFileSystemUDF), kS_OK);
    EXPECT_EQ(image->GetRoot(&root), kS_OK);
    EXPECT_EQ(root->AddTree(FromUtf8(source_.string()), false), kS_OK);
    EXPECT_EQ(image->PutVolumeName(L"RECOVERYDISC2"), kS_OK);
    EXPECT_EQ(image->CreateResultImage(&result), kS_OK);
    EXPECT_EQ(result->GetImageStream(&stream), kS_OK);
    if (!stream) return kE_FAIL;
    return Writer(index)->Write(stream.get());
  }

  fs::path source_;
};

TEST_F(MountViewTest,
       UdfImageIsShownAfterTheWriteAndAfterADismountButNotOnceErased) {
  const fs::path drive = AddDrive("drive0", IMAPI_MEDIA_TYPE_BDRE);
  // A name beyond the Basic Multilingual Plane, and one with accents.
  WriteFile(source_ / "Grüße 🎉.txt", "unicode");
  ASSERT_EQ(WriteUdfImage(0), kS_OK);
  EXPECT_EQ(Tree(drive / "mount"), Tree(source_));

  // What the writer job does before verifying: lock, dismount, unlock.
  const std::wstring mount = MountOf(0);
  auto device =
      devices_->Open(devices_->DevicePath(mount), DeviceAttributes::kNone);
  ASSERT_NE(device, nullptr);
  ASSERT_TRUE(device->LockVolume());
  ASSERT_TRUE(device->DismountVolume());
  ASSERT_TRUE(device->UnlockVolume());
  device.reset();
  EXPECT_TRUE(fs::is_empty(drive / "mount"));
  // Naming the drive's device is a use of it, as is asking for its paths.
  devices_->DevicePath(mount);
  EXPECT_EQ(Tree(drive / "mount"), Tree(source_));
  devices_->Open(devices_->DevicePath(mount), DeviceAttributes::kNone)
      ->DismountVolume();
  EXPECT_TRUE(fs::is_empty(drive / "mount"));
  EXPECT_EQ(MountOf(0), mount);
  EXPECT_EQ(Tree(drive / "mount"), Tree(source_));

  // Erased, ejected or holding raw data, the medium shows nothing.
  ASSERT_EQ(Eraser(0)->EraseMedia(), kS_OK);
  MountOf(0);
  EXPECT_TRUE(fs::is_empty(drive / "mount"));
  ASSERT_EQ(WriteUdfImage(0), kS_OK);
  ASSERT_FALSE(fs::is_empty(drive / "mount"));
  device = devices_->Open(devices_->DevicePath(mount), DeviceAttributes::kNone);
  device->EjectMedia();
  EXPECT_TRUE(fs::is_empty(drive / "mount"));
  device->LoadMedia();
  ASSERT_EQ(WriteBytes(0, Sectors(40)), kS_OK);
  MountOf(0);
  EXPECT_TRUE(fs::is_empty(drive / "mount"));
}

TEST_F(MountViewTest, IsoImagesAreReadBackWithAndWithoutRockRidge) {
  if (std::system("command -v xorriso >/dev/null 2>&1") != 0) {
    GTEST_SKIP() << "xorriso is not installed";
  }
  WriteFile(source_ / "Long name with blanks.text", "long");
  const fs::path drive = AddDrive("drive0", IMAPI_MEDIA_TYPE_DVDDASHR);
  const fs::path plain = AddDrive("drive1", IMAPI_MEDIA_TYPE_CDR);
  for (const auto& [options, index] :
       {std::pair{"-R -J", 0}, {"--norock", 1}}) {
    const fs::path iso = temp_.path() / (std::to_string(index) + ".iso");
    const std::string command = "xorriso -as mkisofs " + std::string(options) +
                                " -o '" + iso.string() + "' '" +
                                source_.string() + "' >/dev/null 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    std::shared_ptr<IStream> stream;
    ASSERT_EQ(disc_->CreateStreamOnFile(FromUtf8(iso.string()), &stream),
              kS_OK);
    ASSERT_EQ(Writer(index)->Write(stream.get()), kS_OK);
  }
  EXPECT_EQ(Tree(drive / "mount"), Tree(source_));
  // Plain ISO 9660 names lose their version and case.
  const std::map<std::string, std::string> tree = Tree(plain / "mount");
  EXPECT_EQ(tree.at("a.txt"), "alpha");
  EXPECT_EQ(tree.at("sub/b.txt"), "beta");
  EXPECT_EQ(tree.at("sub/deeper/big.bin"),
            ReadFile(source_ / "sub" / "deeper" / "big.bin"));
}

}  // namespace
}  // namespace tessaline::testing
