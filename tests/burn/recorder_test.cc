#include "burn/recorder.h"

#include <gtest/gtest.h>

#include <set>

#include "support/disc/disc_test_platform.h"

namespace {

using tessaline::testing::DiscTestPlatform;
using tessaline::testing::FakeRecorder;
using tessaline::testing::MakeDiscTestPlatform;
namespace platform = tessaline::platform;

std::set<int> SupportFlags(const RecorderInfo& info) {
  std::set<int> flags;
  for (int i = 0; i < 20; ++i) {
    if (info.mediaSupportFlags[i]) flags.insert(i);
  }
  return flags;
}

class RecorderTest : public ::testing::Test {
 protected:
  explicit RecorderTest(wchar_t separator = L'/')
      : test_(MakeDiscTestPlatform(separator)) {}

  void TearDown() override {
    EXPECT_EQ(test_.disc->LiveObjects(), 0);
    EXPECT_EQ(test_.disc->OpenBindings(), 0);
  }

  std::vector<RecorderInfo> List() {
    std::vector<RecorderInfo> list;
    tessaline::EnumerateRecorders(*test_.platform, list);
    return list;
  }

  DiscTestPlatform test_;
};

class WindowsRecorderTest : public RecorderTest {
 protected:
  WindowsRecorderTest() : RecorderTest(L'\\') {}
};

TEST_F(WindowsRecorderTest, TwoVolumePathsGiveFirstDriveAndJoinedMountPoints) {
  auto& drive = test_.disc->AddRecorder();
  drive.vendor = L"VNDR";
  drive.product = L"Writer 9";
  drive.volume_paths = {L"F:\\", L"D:\\mounts\\disc\\"};

  std::wstring letter = L"unchanged";
  EXPECT_EQ(tessaline::GetDriveLetter(*test_.platform, 0, &letter), 1);
  EXPECT_EQ(letter, L"F:");

  auto list = List();
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0].index, 0);
  EXPECT_EQ(list[0].vendorId, L"VNDR");
  EXPECT_EQ(list[0].productId, L"Writer 9");
  EXPECT_EQ(list[0].mountPoints, L"F:\\|D:\\mounts\\disc\\");
}

TEST_F(WindowsRecorderTest, DriveLetterKeepsCaseAndRefusesNonLetters) {
  test_.disc->AddRecorder().volume_paths = {L"e:\\"};
  test_.disc->AddRecorder().volume_paths = {L"\\\\?\\Volume{1234}\\"};
  std::wstring letter;
  EXPECT_EQ(tessaline::GetDriveLetter(*test_.platform, 0, &letter), 1);
  EXPECT_EQ(letter, L"e:");
  letter = L"kept";
  EXPECT_EQ(tessaline::GetDriveLetter(*test_.platform, 1, &letter), 1002);
  EXPECT_EQ(letter, L"kept");
}

TEST_F(RecorderTest, PosixDriveIsTheMountPointWithoutTrailingSeparator) {
  test_.disc->AddRecorder().volume_paths = {L"/media/cdrom0/", L"/mnt/x/"};
  test_.disc->AddRecorder().volume_paths = {L"/"};
  test_.disc->AddRecorder().volume_paths = {L"media/relative/"};
  test_.disc->AddRecorder().volume_paths = {L"E:\\"};
  std::wstring drive;
  EXPECT_EQ(tessaline::GetDriveLetter(*test_.platform, 0, &drive), 1);
  EXPECT_EQ(drive, L"/media/cdrom0");
  EXPECT_EQ(tessaline::GetDriveLetter(*test_.platform, 1, &drive), 1);
  EXPECT_EQ(drive, L"/");
  drive = L"kept";
  EXPECT_EQ(tessaline::GetDriveLetter(*test_.platform, 2, &drive), 1002);
  EXPECT_EQ(tessaline::GetDriveLetter(*test_.platform, 3, &drive), 1002);
  EXPECT_EQ(drive, L"kept");
}

TEST_F(RecorderTest, MissingOrUnreadableMountPoints) {
  test_.disc->AddRecorder();
  test_.disc->AddRecorder().volume_paths = {L"/media/cdrom1/"};
  test_.disc->Fail("IDiscRecorder2::GetVolumePathNames", platform::kE_FAIL, 1);
  std::wstring drive = L"kept";
  EXPECT_EQ(tessaline::GetDriveLetter(*test_.platform, 0, &drive), 1001);
  EXPECT_EQ(tessaline::GetDriveLetter(*test_.platform, 1, &drive), 1000);
  EXPECT_EQ(drive, L"kept");
  EXPECT_EQ(test_.console->Text(),
            " (*** NO MOUNT POINTS ***)"
            "Unable to get mount points, failed\n");
}

TEST_F(RecorderTest, OpenRecorderThrowsTheTextOfTheFailingStep) {
  test_.disc->AddRecorder();
  const std::pair<const char*, const wchar_t*> steps[] = {
      {"DiscServices::CreateDiscMaster",
       L"CoCreateInstance MsftDiscMaster2 failed"},
      {"IDiscMaster2::GetItem", L"Disc Master Failure"},
      {"DiscServices::CreateRecorder",
       L"CoCreateInstance MsftDiscRecorder2 failed"},
      {"IDiscRecorder2::InitializeDiscRecorder",
       L"Failed to init disc recorder"},
  };
  for (const auto& [call, text] : steps) {
    test_.disc->ClearFailures();
    test_.disc->Fail(call, platform::kE_FAIL);
    try {
      tessaline::OpenRecorder(*test_.platform, 0);
      ADD_FAILURE() << call << " did not throw";
    } catch (const MediaWriterException& e) {
      EXPECT_EQ(e.message, text);
    }
  }
  test_.disc->ClearFailures();
  // An index equal to the number of recorders is unknown to the master.
  try {
    std::wstring drive;
    tessaline::GetDriveLetter(*test_.platform, 1, &drive);
    ADD_FAILURE() << "no throw";
  } catch (const MediaWriterException& e) {
    EXPECT_EQ(e.message, L"Disc Master Failure");
  }
}

TEST_F(RecorderTest, RecorderWithoutMountPointIsStillListed) {
  test_.disc->AddRecorder();
  auto list = List();
  ASSERT_EQ(list.size(), 1u);
  EXPECT_TRUE(list[0].mountPoints.empty());
  EXPECT_EQ(test_.console->Text(), " (*** NO MOUNT POINTS ***)");
}

TEST_F(RecorderTest, UnsupportedRecorderIsLeftOutAndLaterOnesKeepTheirIndex) {
  test_.disc->AddRecorder().volume_paths = {L"/a/"};
  test_.disc->AddRecorder().supported = false;
  test_.disc->AddRecorder().volume_paths = {L"/c/"};
  auto list = List();
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[0].index, 0);
  EXPECT_EQ(list[1].index, 2);
  EXPECT_EQ(list[1].mountPoints, L"/c/");
}

TEST_F(RecorderTest, RecorderFailingToOpenStopsTheList) {
  for (int i = 0; i < 3; ++i) test_.disc->AddRecorder().volume_paths = {L"/"};
  test_.disc->Fail("IDiscRecorder2::InitializeDiscRecorder", platform::kE_FAIL,
                   1);
  std::vector<RecorderInfo> list(5);
  tessaline::EnumerateRecorders(*test_.platform, list);
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0].index, 0);
  EXPECT_EQ(test_.disc->Count("IDiscMaster2::GetItem"), 2);
}

TEST_F(RecorderTest, MissingExtendedInterfaceStopsTheList) {
  test_.disc->AddRecorder().volume_paths = {L"/"};
  test_.disc->AddRecorder().has_extended = false;
  test_.disc->AddRecorder().volume_paths = {L"/"};
  EXPECT_EQ(List().size(), 1u);
}

TEST_F(RecorderTest, RecordersWhoseDetailsCannotBeReadAreSkipped) {
  for (int i = 0; i < 4; ++i) test_.disc->AddRecorder().volume_paths = {L"/"};
  test_.disc->Fail("IDiscRecorder2::GetProductId", platform::kE_FAIL, 0);
  test_.disc->Fail("IDiscRecorder2::GetVolumePathNames", platform::kE_FAIL, 1);
  // The first two never reach the data writer; the third's is refused.
  test_.disc->FailOnce("DiscServices::CreateDataWriter", platform::kE_FAIL);
  auto list = List();
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0].index, 3);
  EXPECT_EQ(test_.console->Text(),
            "Failed to get ID's\n"
            "Unable to get mount points, failed\n"
            "Failed CoCreateInstance on dataWriter\n");
}

TEST_F(RecorderTest, CountFailureGivesEmptyListAndMasterFailureThrows) {
  test_.disc->AddRecorder();
  test_.disc->Fail("IDiscMaster2::GetCount", platform::kE_FAIL);
  std::vector<RecorderInfo> list(2);
  tessaline::EnumerateRecorders(*test_.platform, list);
  EXPECT_TRUE(list.empty());
  EXPECT_EQ(test_.console->Text(), "Failed to get count\n");

  test_.disc->Fail("DiscServices::CreateDiscMaster", platform::kE_FAIL);
  EXPECT_THROW(tessaline::EnumerateRecorders(*test_.platform, list),
               MediaWriterException);
}

TEST_F(RecorderTest, FeaturePagesSetSupportFlags) {
  struct Row {
    std::uint32_t feature;
    std::vector<std::pair<std::size_t, std::uint8_t>> bytes;
    std::set<int> flags;
  };
  const Row rows[] = {
      {0x2F, {{4, 0x0C}}, {9, 10, 11}},
      {0x2F, {{4, 0x08}}, {9, 11}},
      {0x2F, {}, {9}},
      {0x1E, {}, {1}},
      {0x1F, {}, {4}},
      {0x27, {}, {3}},
      {0x37, {}, {3}},
      {0x2D, {{4, 0x02}}, {2, 3}},
      {0x2E, {{4, 0x01}}, {2}},
      {0x2A, {{4, 0x01}}, {7}},
      {0x2A, {{4, 0xFE}}, {}},
      {0x2B, {{4, 0x01}}, {6}},
      {0x3B, {{4, 0x01}}, {8}},
      {0x40, {}, {17}},
      {0x41, {{9, 0x04}, {17, 0x02}}, {18, 19}},
      {0x41, {{9, 0x04}}, {19}},
      {0x50, {}, {14}},
      {0x51, {{4, 0x01}, {6, 0x01}}, {15, 16}},
      {0x51, {{6, 0x01}}, {16}},
      {0x52, {{4, 0xFF}}, {}},
  };
  for (const Row& row : rows) {
    DiscTestPlatform test = MakeDiscTestPlatform();
    test.disc->AddRecorder().AddFeature(row.feature, row.bytes);
    std::vector<RecorderInfo> list;
    tessaline::EnumerateRecorders(*test.platform, list);
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(SupportFlags(list[0]), row.flags)
        << "feature 0x" << std::hex << row.feature;
  }
}

TEST_F(RecorderTest, UnreadableDescriptorSetsOnlyTheAlwaysFlags) {
  auto& drive = test_.disc->AddRecorder();
  for (std::uint32_t feature : {0x2Fu, 0x2Du, 0x41u, 0x2Au, 0x40u}) {
    drive.AddUnreadableFeature(feature);
  }
  drive.AddFeature(0x99);
  auto list = List();
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(SupportFlags(list[0]), (std::set<int>{2, 9, 17}));
  // Every feature the drive has is asked for, never a code outside the
  // table.
  auto pages = test_.disc->Calls("IDiscRecorder2Ex::GetFeaturePage");
  ASSERT_EQ(pages.size(), 5u);
  for (const auto& call : pages) EXPECT_EQ(call.text, L"all");
}

TEST_F(RecorderTest, CurrentMediaTypeAndTheNoMediaCase) {
  auto& drive = test_.disc->AddRecorder();
  drive.AddFeature(0x1F);
  drive.medium.type = IMAPI_MEDIA_TYPE_DVDPLUSR;
  test_.disc->AddRecorder().AddFeature(0x1F);
  test_.disc->AddRecorder().AddFeature(0x1F);
  test_.disc->Fail("IDiscRecorder2::GetSupportedFeaturePages",
                   platform::kE_IMAPI_RECORDER_MEDIA_NO_MEDIA, 1);
  test_.disc->Fail("IDiscRecorder2::GetSupportedFeaturePages",
                   platform::kE_FAIL, 2);
  auto list = List();
  ASSERT_EQ(list.size(), 3u);
  EXPECT_EQ(list[0].currentMediaType, IMAPI_MEDIA_TYPE_DVDPLUSR);
  EXPECT_EQ(SupportFlags(list[0]), (std::set<int>{4}));
  EXPECT_EQ(list[1].currentMediaType, IMAPI_MEDIA_TYPE_UNKNOWN);
  EXPECT_TRUE(SupportFlags(list[1]).empty());
  EXPECT_EQ(list[2].currentMediaType, IMAPI_MEDIA_TYPE_UNKNOWN);
  EXPECT_EQ(test_.disc->Count("IDiscFormat2Data::GetCurrentPhysicalMediaType"),
            1);
  EXPECT_EQ(test_.console->Text(),
            " (*** NO MOUNT POINTS ***)"
            " (*** NO MOUNT POINTS ***)"
            "Failed get_SupportedFeaturePages()\n"
            " (*** NO MOUNT POINTS ***)"
            "Failed get_SupportedFeaturePages()\n");
  // The data writer was bound only for the supported recorders' pages.
  EXPECT_EQ(test_.disc->Count("IDiscFormat2Data::PutRecorder"), 6);
}

TEST_F(RecorderTest, MediaChangeNotificationIsCountedOverAllDrives) {
  test_.disc->AddRecorder();
  test_.disc->AddRecorder();
  ASSERT_EQ(tessaline::McnDisableCount(), 0);
  EXPECT_EQ(tessaline::SetMediaChangeNotification(*test_.platform, 0, true), 1);
  EXPECT_EQ(tessaline::SetMediaChangeNotification(*test_.platform, 0, true), 1);
  EXPECT_EQ(tessaline::McnDisableCount(), 2);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(tessaline::SetMediaChangeNotification(*test_.platform, 1, false),
              1);
  }
  auto enables = test_.disc->Calls("IDiscRecorder2::EnableMcn");
  ASSERT_EQ(enables.size(), 2u);
  EXPECT_EQ(enables[0].recorder, 1);
  EXPECT_EQ(tessaline::McnDisableCount(), 0);
}

TEST_F(RecorderTest, RefusedNotificationCallsLeaveTheCountAlone) {
  test_.disc->AddRecorder();
  test_.disc->FailOnce("IDiscRecorder2::DisableMcn", platform::kE_FAIL, 0, 1);
  test_.disc->Fail("IDiscRecorder2::EnableMcn", platform::kE_FAIL, 0);
  EXPECT_EQ(tessaline::SetMediaChangeNotification(*test_.platform, 0, true), 1);
  EXPECT_EQ(tessaline::SetMediaChangeNotification(*test_.platform, 0, true), 1);
  EXPECT_EQ(tessaline::McnDisableCount(), 1);
  EXPECT_EQ(tessaline::SetMediaChangeNotification(*test_.platform, 0, false),
            1);
  EXPECT_EQ(tessaline::McnDisableCount(), 1);
  test_.disc->ClearFailures();
  tessaline::SetMediaChangeNotification(*test_.platform, 0, false);
  EXPECT_EQ(tessaline::McnDisableCount(), 0);
  EXPECT_THROW(tessaline::SetMediaChangeNotification(*test_.platform, 5, true),
               MediaWriterException);
}

}  // namespace
