// Drive folders, the disc master's list of drives, and the system
// platform, which takes its drives from TESSALINE_DRIVES (the rig's drives
// here) at every call.
#include "platform/virtual/drive_folder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "burn/recorder.h"
#include "platform/platform.h"
#include "support/core/temp_folder.h"
#include "virtual/virtual_drive_fixture.h"

namespace tessaline::testing {
namespace {

namespace fs = std::filesystem;
using namespace platform;

TEST(CreateDriveFolderTest, RefusesWhatCannotBeADrive) {
  TempFolder temp;
  const std::string dir = temp.path().string();
  std::string error;
  EXPECT_FALSE(CreateDriveFolder(dir, "rom", IMAPI_MEDIA_TYPE_DVDROM, &error));
  EXPECT_FALSE(CreateDriveFolder(dir, "a/b", IMAPI_MEDIA_TYPE_CDR, &error));
  EXPECT_FALSE(CreateDriveFolder(dir, "..", IMAPI_MEDIA_TYPE_CDR, &error));
  ASSERT_TRUE(CreateDriveFolder(dir, "drive0", IMAPI_MEDIA_TYPE_CDR, &error));
  EXPECT_FALSE(CreateDriveFolder(dir, "drive0", IMAPI_MEDIA_TYPE_BDR, &error));
  EXPECT_NE(error.find("already"), std::string::npos);
  EXPECT_NE(ReadFile(temp.path() / "drive0" / "drive.ini").find("type=CDR"),
            std::string::npos);
}

class DiscMasterTest : public VirtualDrivesTest {};

TEST_F(DiscMasterTest, ListsDriveFoldersInSortedOrderAndRereadsTheFolder) {
  std::shared_ptr<IDiscMaster2> master;
  ASSERT_EQ(disc_->CreateDiscMaster(&master), kS_OK);
  AddDrive("drive1", IMAPI_MEDIA_TYPE_CDR);
  std::ofstream(drives_ / "a-file");
  std::int32_t count = 0;
  ASSERT_EQ(master->GetCount(&count), kS_OK);
  EXPECT_EQ(count, 1);
  // Numbers in names count as numbers: drive10 comes after drive2.
  for (const char* name : {"drive10", "drive2", "drive0"}) {
    AddDrive(name, IMAPI_MEDIA_TYPE_CDR);
  }
  ASSERT_EQ(master->GetCount(&count), kS_OK);
  EXPECT_EQ(count, 4);
  std::wstring id;
  for (const auto& [index, name] :
       {std::pair{0, "drive0"}, {2, "drive2"}, {3, "drive10"}}) {
    ASSERT_EQ(master->GetItem(index, &id), kS_OK);
    EXPECT_EQ(id, FromUtf8((drives_ / name).string()));
  }
  EXPECT_EQ(master->GetItem(4, &id), kE_INVALIDARG);
}

TEST_F(DiscMasterTest, UnreadableDrivesAreListedInTheirPlace) {
  AddDrive("drive0", IMAPI_MEDIA_TYPE_CDR);
  std::ofstream(AddDrive("drive1", IMAPI_MEDIA_TYPE_CDR) / "drive.ini",
                std::ios::trunc)
      << "\x01\xff[drive\ntype=DVD+R\n";
  fs::remove(AddDrive("drive2", IMAPI_MEDIA_TYPE_CDR) / "drive.ini");
  std::ofstream(AddDrive("drive3", IMAPI_MEDIA_TYPE_BDR) / "drive.ini")
      << "[drive]\nvendor=ACME\nproduct=Burner 9000\ntype=bdr\n";
  std::vector<RecorderInfo> list;
  EnumerateRecorders(*test_.platform, list);

  ASSERT_EQ(list.size(), 4u);
  EXPECT_EQ(list[1].vendorId + L" " + list[1].productId,
            L"UNREADABLE drive1: drive.ini names no recordable medium (type=)");
  EXPECT_EQ(list[2].vendorId + L" " + list[2].productId,
            L"UNREADABLE drive2: no drive.ini");
  EXPECT_EQ(list[3].vendorId + L" " + list[3].productId, L"ACME Burner 9000");
  // Its tray counts as empty: nothing is written there.
  bool blank = false;
  EXPECT_EQ(Writer(2)->GetMediaHeuristicallyBlank(&blank),
            kE_IMAPI_RECORDER_MEDIA_NO_MEDIA);
  EXPECT_EQ(WriteBytes(2, Sectors(1)), kE_IMAPI_RECORDER_MEDIA_NO_MEDIA);
  EXPECT_EQ(fs::file_size(drives_ / "drive2" / "medium.img"), 0u);
  // A folder that is not one of the drives is no recorder.
  std::shared_ptr<IDiscRecorder2> other;
  ASSERT_EQ(disc_->CreateRecorder(&other), kS_OK);
  EXPECT_EQ(other->InitializeDiscRecorder(FromUtf8(drives_.string())),
            kE_INVALIDARG);
}

TEST_F(DiscMasterTest, SystemPlatformTakesTheVariablesDrivesAtEachCall) {
  const auto count = [](const Platform& platform) {
    std::shared_ptr<IDiscMaster2> master;
    std::int32_t count = -1;
    EXPECT_EQ(platform.disc->CreateDiscMaster(&master), kS_OK);
    EXPECT_EQ(master->GetCount(&count), kS_OK);
    return count;
  };
  AddDrive("drive0", IMAPI_MEDIA_TYPE_CDRW);
  const fs::path drive = AddDrive("drive1", IMAPI_MEDIA_TYPE_CDRW);
  const std::wstring mount = FromUtf8((drive / "mount").string());
  const std::shared_ptr<Platform> with_drives = SystemPlatform();
  EXPECT_EQ(count(*with_drives), 2);
  EXPECT_EQ(with_drives->devices->DevicePath(mount),
            FromUtf8((drive / "medium.img").string()));
  // Its mount points are the media's, read-only.
  EXPECT_EQ(with_drives->files->OpenWrite(mount + L"/x", nullptr), nullptr);
  unsetenv("TESSALINE_DRIVES");
  const std::shared_ptr<Platform> without = SystemPlatform();
  EXPECT_EQ(count(*without), 0);
  EXPECT_EQ(without->devices->DevicePath(mount), L"");
  // A platform made earlier keeps the drives it was made with.
  EXPECT_EQ(count(*with_drives), 2);
}

}  // namespace
}  // namespace tessaline::testing
