// Drive folders, media type names and the disc master's list of drives.
#include "platform/virtual/drive_folder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "burn/recorder.h"
#include "support/core/temp_folder.h"
#include "support/core/test_platform.h"
#include "virtual/virtual_drive_fixture.h"

namespace tessaline::testing {
namespace {

namespace fs = std::filesystem;
using namespace platform;

TEST(MediaTypeNameTest, NamesRoundTripInAnyCase) {
  IMAPI_MEDIA_PHYSICAL_TYPE parsed = IMAPI_MEDIA_TYPE_UNKNOWN;
  for (int value = 0; value <= IMAPI_MEDIA_TYPE_MAX; ++value) {
    const auto type = static_cast<IMAPI_MEDIA_PHYSICAL_TYPE>(value);
    ASSERT_TRUE(ParseMediaTypeName(MediaTypeName(type), &parsed)) << value;
    EXPECT_EQ(parsed, type);
  }
  ASSERT_TRUE(ParseMediaTypeName("dvdPlusR_DualLayer", &parsed));
  EXPECT_EQ(parsed, IMAPI_MEDIA_TYPE_DVDPLUSR_DUALLAYER);
  EXPECT_FALSE(ParseMediaTypeName("DVD+R", &parsed));
  EXPECT_FALSE(ParseMediaTypeName("", &parsed));
  EXPECT_EQ(parsed, IMAPI_MEDIA_TYPE_DVDPLUSR_DUALLAYER);  // left alone
}

TEST(CreateDriveFolderTest, RefusesWhatCannotBeADrive) {
  TempFolder temp;
  const std::string dir = temp.path().string();
  std::string error;
  EXPECT_FALSE(CreateDriveFolder(dir, "rom", IMAPI_MEDIA_TYPE_DVDROM, &error));
  EXPECT_NE(error.find("DVDROM"), std::string::npos);
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
  AddDrive("drive1", IMAPI_MEDIA_TYPE_CDR);
  AddDrive("drive0", IMAPI_MEDIA_TYPE_BDRE);
  std::ofstream(dir_ / "a-file");
  std::shared_ptr<IDiscMaster2> master;
  ASSERT_EQ(disc_->CreateDiscMaster(&master), kS_OK);
  std::int32_t count = 0;
  ASSERT_EQ(master->GetCount(&count), kS_OK);
  EXPECT_EQ(count, 2);
  std::wstring id;
  ASSERT_EQ(master->GetItem(0, &id), kS_OK);
  EXPECT_EQ(id, FromUtf8((dir_ / "drive0").string()));
  EXPECT_EQ(master->GetItem(2, &id), kE_INVALIDARG);
  EXPECT_EQ(master->GetItem(-1, &id), kE_INVALIDARG);

  // Numbers in names count as numbers: drive10 comes after drive2.
  AddDrive("drive10", IMAPI_MEDIA_TYPE_CDR);
  AddDrive("drive2", IMAPI_MEDIA_TYPE_DVDDASHRW);
  ASSERT_EQ(master->GetCount(&count), kS_OK);
  EXPECT_EQ(count, 4);
  ASSERT_EQ(master->GetItem(2, &id), kS_OK);
  EXPECT_EQ(id, FromUtf8((dir_ / "drive2").string()));
  ASSERT_EQ(master->GetItem(3, &id), kS_OK);
  EXPECT_EQ(id, FromUtf8((dir_ / "drive10").string()));
}

TEST_F(DiscMasterTest, UnreadableDrivesAreListedInTheirPlace) {
  AddDrive("drive0", IMAPI_MEDIA_TYPE_CDR);
  std::ofstream(AddDrive("drive1", IMAPI_MEDIA_TYPE_CDR) / "drive.ini",
                std::ios::trunc)
      << "\x01\xff[drive\ntype=DVD+R\n";
  fs::remove(AddDrive("drive2", IMAPI_MEDIA_TYPE_CDR) / "drive.ini");
  AddDrive("drive3", IMAPI_MEDIA_TYPE_BDR);
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
  EXPECT_EQ(seen[3], L"3 VIRTUAL BD-R Writer " + MountOf(3));
  // Its tray counts as empty: nothing is written there.
  bool blank = false;
  EXPECT_EQ(Writer(2)->GetMediaHeuristicallyBlank(&blank),
            kE_IMAPI_RECORDER_MEDIA_NO_MEDIA);
  EXPECT_EQ(WriteBytes(2, Sectors(1)), kE_IMAPI_RECORDER_MEDIA_NO_MEDIA);
  EXPECT_EQ(fs::file_size(dir_ / "drive2" / "medium.img"), 0u);
}

TEST_F(DiscMasterTest, NewDriveIsBlankAndDescribedByItsIni) {
  const fs::path drive = AddDrive("drive0", IMAPI_MEDIA_TYPE_DVDPLUSR);
  EXPECT_TRUE(fs::is_directory(drive / "ejected"));
  EXPECT_EQ(fs::file_size(drive / "medium.img"), 0u);
  IMAPI_MEDIA_PHYSICAL_TYPE type = IMAPI_MEDIA_TYPE_UNKNOWN;
  ASSERT_EQ(Writer(0)->GetCurrentPhysicalMediaType(&type), kS_OK);
  EXPECT_EQ(type, IMAPI_MEDIA_TYPE_DVDPLUSR);
  EXPECT_TRUE(Blank(0));

  std::ofstream(drive / "drive.ini", std::ios::trunc)
      << "[drive]\nvendor=ACME\nproduct=Burner 9000\ntype=dvdplusrw\n";
  auto recorder = Recorder(0);
  std::wstring vendor, product;
  ASSERT_EQ(recorder->GetVendorId(&vendor), kS_OK);
  ASSERT_EQ(recorder->GetProductId(&product), kS_OK);
  EXPECT_EQ(vendor + L"|" + product, L"ACME|Burner 9000");
  std::vector<std::wstring> paths;
  ASSERT_EQ(recorder->GetVolumePathNames(&paths), kS_OK);
  EXPECT_EQ(paths, std::vector{FromUtf8((drive / "mount").string()) + L"/"});

  std::shared_ptr<IDiscRecorder2> other;
  ASSERT_EQ(disc_->CreateRecorder(&other), kS_OK);
  EXPECT_EQ(other->InitializeDiscRecorder(FromUtf8(dir_.string())),
            kE_INVALIDARG);
  EXPECT_EQ(other->GetVolumePathNames(&paths), kE_IMAPI_RECORDER_REQUIRED);
}

}  // namespace
}  // namespace tessaline::testing
