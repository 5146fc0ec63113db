// Drive folders, media type names and the disc master's list of drives.
#include "platform/virtual/drive_folder.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "support/core/temp_folder.h"
#include "virtual/virtual_drive_fixture.h"

namespace tessaline::testing {
namespace {

namespace fs = std::filesystem;
using namespace platform;

TEST(MediaTypeNameTest, NamesRoundTripInAnyCase) {
  for (int value = 0; value <= IMAPI_MEDIA_TYPE_MAX; ++value) {
    const auto type = static_cast<IMAPI_MEDIA_PHYSICAL_TYPE>(value);
    IMAPI_MEDIA_PHYSICAL_TYPE parsed = IMAPI_MEDIA_TYPE_UNKNOWN;
    ASSERT_TRUE(ParseMediaTypeName(MediaTypeName(type), &parsed)) << value;
    EXPECT_EQ(parsed, type);
  }
  IMAPI_MEDIA_PHYSICAL_TYPE parsed = IMAPI_MEDIA_TYPE_UNKNOWN;
  ASSERT_TRUE(ParseMediaTypeName("dvdPlusR_DualLayer", &parsed));
  EXPECT_EQ(parsed, IMAPI_MEDIA_TYPE_DVDPLUSR_DUALLAYER);
  EXPECT_EQ(MediaTypeName(IMAPI_MEDIA_TYPE_BDRE), "BDRE");
  parsed = IMAPI_MEDIA_TYPE_CDR;
  EXPECT_FALSE(ParseMediaTypeName("DVD+R", &parsed));
  EXPECT_FALSE(ParseMediaTypeName("", &parsed));
  EXPECT_EQ(parsed, IMAPI_MEDIA_TYPE_CDR);
}

TEST(CreateDriveFolderTest, MakesADriveWithABlankMediumTrayClosed) {
  TempFolder temp;
  std::string error;
  ASSERT_TRUE(CreateDriveFolder((temp.path() / "drives").string(), "drive0",
                                IMAPI_MEDIA_TYPE_DVDPLUSR, &error))
      << error;
  const fs::path drive = temp.path() / "drives" / "drive0";
  EXPECT_TRUE(fs::is_directory(drive / "mount"));
  EXPECT_TRUE(fs::is_directory(drive / "ejected"));
  EXPECT_EQ(fs::file_size(drive / "medium.img"), 0u);
  const std::string ini = ReadFile(drive / "drive.ini");
  EXPECT_NE(ini.find("type=DVDPLUSR\n"), std::string::npos);
  EXPECT_NE(ini.find("[drive]"), std::string::npos);

  auto disc = MakeVirtualDiscServices((temp.path() / "drives").string());
  std::shared_ptr<IDiscFormat2Data> writer;
  std::shared_ptr<IDiscMaster2> master;
  std::shared_ptr<IDiscRecorder2> recorder;
  std::wstring id;
  ASSERT_EQ(disc->CreateDiscMaster(&master), kS_OK);
  ASSERT_EQ(master->GetItem(0, &id), kS_OK);
  EXPECT_EQ(id, FromUtf8(drive.string()));
  ASSERT_EQ(disc->CreateRecorder(&recorder), kS_OK);
  ASSERT_EQ(recorder->InitializeDiscRecorder(id), kS_OK);
  ASSERT_EQ(disc->CreateDataWriter(&writer), kS_OK);
  ASSERT_EQ(writer->PutRecorder(recorder), kS_OK);
  IMAPI_MEDIA_PHYSICAL_TYPE type = IMAPI_MEDIA_TYPE_UNKNOWN;
  bool blank = false;
  ASSERT_EQ(writer->GetCurrentPhysicalMediaType(&type), kS_OK);
  EXPECT_EQ(type, IMAPI_MEDIA_TYPE_DVDPLUSR);
  ASSERT_EQ(writer->GetMediaHeuristicallyBlank(&blank), kS_OK);
  EXPECT_TRUE(blank);
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
  fs::create_directories(dir_ / "a-folder-without-drive");
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

TEST_F(DiscMasterTest, RecorderReportsItsDescriptionAndRefusesUnknownIds) {
  const fs::path drive = AddDrive("drive0", IMAPI_MEDIA_TYPE_DVDPLUSRW);
  std::ofstream(drive / "drive.ini", std::ios::trunc)
      << "[drive]\nvendor=ACME\nproduct=Burner 9000\ntype=dvdplusrw\n";
  auto recorder = Recorder(0);
  std::wstring vendor;
  std::wstring product;
  ASSERT_EQ(recorder->GetVendorId(&vendor), kS_OK);
  ASSERT_EQ(recorder->GetProductId(&product), kS_OK);
  EXPECT_EQ(vendor, L"ACME");
  EXPECT_EQ(product, L"Burner 9000");
  std::vector<std::wstring> paths;
  ASSERT_EQ(recorder->GetVolumePathNames(&paths), kS_OK);
  EXPECT_EQ(paths, std::vector<std::wstring>{
                       FromUtf8((drive / "mount").string()) + L"/"});

  std::shared_ptr<IDiscRecorder2> other;
  ASSERT_EQ(disc_->CreateRecorder(&other), kS_OK);
  EXPECT_EQ(other->InitializeDiscRecorder(FromUtf8(dir_.string())),
            kE_INVALIDARG);
  EXPECT_EQ(other->GetVolumePathNames(&paths), kE_IMAPI_RECORDER_REQUIRED);
}

TEST(NoDrivesTest, EmptyFolderNameListsNothingAndOpensNothing) {
  auto disc = MakeVirtualDiscServices("");
  std::shared_ptr<IDiscMaster2> master;
  ASSERT_EQ(disc->CreateDiscMaster(&master), kS_OK);
  std::int32_t count = -1;
  ASSERT_EQ(master->GetCount(&count), kS_OK);
  EXPECT_EQ(count, 0);
  std::wstring id;
  EXPECT_TRUE(Failed(master->GetItem(0, &id)));
  auto devices = MakeVirtualDevices("");
  EXPECT_EQ(devices->DevicePath(L"/anything/mount"), L"");
  EXPECT_EQ(devices->Open(L"/anything/medium.img", DeviceAttributes::kNormal),
            nullptr);
}

}  // namespace
}  // namespace tessaline::testing
