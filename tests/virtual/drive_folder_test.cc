// Drive folders, the disc master's list of drives, and the system
// platform, which takes its drives from TESSALINE_DRIVES at every call.
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
#include "support/core/test_platform.h"
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
  std::ofstream(dir_ / "a-file");
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
    EXPECT_EQ(id, FromUtf8((dir_ / name).string()));
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
  TestPlatform test = MakeTestPlatform();
  test.platform->disc = disc_;
  std::vector<RecorderInfo> list;
  EnumerateRecorders(*test.platform, list);

  ASSERT_EQ(list.size(), 4u);
  std::vector<std::wstring> seen;
  for (const RecorderInfo& info : list) {
    seen.push_back(std::to_wstring(info.index) + L" " + info.vendorId + L" " +
                   info.productId + L" " + info.mountPoints);
  }
  EXPECT_EQ(seen[1],
            L"1 UNREADABLE drive1: drive.ini names no recordable medium "
            L"(type=) ");
  EXPECT_EQ(seen[2], L"2 UNREADABLE drive2: no drive.ini ");
  EXPECT_EQ(seen[3], L"3 ACME Burner 9000 " +
                         FromUtf8((dir_ / "drive3" / "mount").string()) + L"/");
  // Its tray counts as empty: nothing is written there.
  bool blank = false;
  EXPECT_EQ(Writer(2)->GetMediaHeuristicallyBlank(&blank),
            kE_IMAPI_RECORDER_MEDIA_NO_MEDIA);
  EXPECT_EQ(WriteBytes(2, Sectors(1)), kE_IMAPI_RECORDER_MEDIA_NO_MEDIA);
  EXPECT_EQ(fs::file_size(dir_ / "drive2" / "medium.img"), 0u);
  // A folder that is not one of the drives is no recorder.
  std::shared_ptr<IDiscRecorder2> other;
  ASSERT_EQ(disc_->CreateRecorder(&other), kS_OK);
  EXPECT_EQ(other->InitializeDiscRecorder(FromUtf8(dir_.string())),
            kE_INVALIDARG);
}

std::int32_t RecorderCount(const Platform& platform) {
  std::shared_ptr<IDiscMaster2> master;
  EXPECT_EQ(platform.disc->CreateDiscMaster(&master), kS_OK);
  std::int32_t count = -1;
  EXPECT_EQ(master->GetCount(&count), kS_OK);
  return count;
}

TEST(SystemPlatformTest, RecordersComeFromTheVariableAtEachCall) {
  const char* old = std::getenv("TESSALINE_DRIVES");
  const std::string saved = old ? old : "";
  TempFolder temp;
  std::string error;
  for (const char* name : {"drive0", "drive1"}) {
    ASSERT_TRUE(CreateDriveFolder(temp.path().string(), name,
                                  IMAPI_MEDIA_TYPE_CDRW, &error));
  }
  const std::wstring mount = temp.Wide("drive1/mount");
  const std::wstring medium = temp.Wide("drive1/medium.img");
  setenv("TESSALINE_DRIVES", temp.path().c_str(), 1);
  const std::shared_ptr<Platform> with_drives = SystemPlatform();
  EXPECT_EQ(RecorderCount(*with_drives), 2);
  EXPECT_EQ(with_drives->devices->DevicePath(mount), medium);
  // Its mount points are the media's, read-only.
  EXPECT_EQ(with_drives->files->OpenWrite(mount + L"/x", nullptr), nullptr);
  unsetenv("TESSALINE_DRIVES");
  const std::shared_ptr<Platform> without = SystemPlatform();
  EXPECT_EQ(RecorderCount(*without), 0);
  EXPECT_EQ(without->devices->DevicePath(mount), L"");
  EXPECT_EQ(without->devices->Open(medium, DeviceAttributes::kNormal), nullptr);
  // A platform made earlier keeps the drives it was made with.
  EXPECT_EQ(RecorderCount(*with_drives), 2);
  if (old) setenv("TESSALINE_DRIVES", saved.c_str(), 1);
}

}  // namespace
}  // namespace tessaline::testing
