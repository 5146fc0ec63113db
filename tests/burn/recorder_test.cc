#include "burn/recorder.h"

#include <gtest/gtest.h>

#include <set>

#include "support/disc/disc_test_platform.h"

namespace {

using tessaline::testing::MakeDiscTestPlatform;

class RecorderTest : public ::testing::Test {
 protected:
  void TearDown() override {
    EXPECT_EQ(test_.disc->LiveObjects(), 0);
    EXPECT_EQ(test_.disc->OpenBindings(), 0);
  }

  std::vector<RecorderInfo> List() {
    std::vector<RecorderInfo> list(5);
    tessaline::EnumerateRecorders(*test_.platform, list);
    return list;
  }
  // The support flags of the only recorder listed.
  std::set<int> Flags() {
    auto list = List();
    std::set<int> flags;
    for (int i = 0; i < 20 && list.size() == 1; ++i) {
      if (list[0].mediaSupportFlags[i]) flags.insert(i);
    }
    EXPECT_EQ(list.size(), 1u);
    return flags;
  }

  tessaline::testing::DiscTestPlatform test_ = MakeDiscTestPlatform();
};

TEST_F(RecorderTest, TwoVolumePathsGiveFirstDriveAndJoinedMountPoints) {
  test_ = MakeDiscTestPlatform(L'\\');
  test_.disc->AddRecorder().volume_paths = {L"F:\\", L"D:\\mounts\\disc\\"};
  std::wstring drive;
  EXPECT_EQ(tessaline::GetDriveLetter(*test_.platform, 0, &drive), 1);
  EXPECT_EQ(drive, L"F:");
  auto list = List();
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0].mountPoints, L"F:\\|D:\\mounts\\disc\\");
}

TEST_F(RecorderTest, RecorderWithoutMountPointIsStillListed) {
  test_.disc->AddRecorder();
  std::wstring drive = L"kept";
  EXPECT_EQ(tessaline::GetDriveLetter(*test_.platform, 0, &drive), 1001);
  EXPECT_EQ(drive, L"kept");
  auto list = List();
  ASSERT_EQ(list.size(), 1u);
  EXPECT_TRUE(list[0].mountPoints.empty());
}

TEST_F(RecorderTest, UnsupportedRecorderIsLeftOutAndLaterOnesKeepTheirIndex) {
  test_.disc->AddRecorder();
  test_.disc->AddRecorder().supported = false;
  test_.disc->AddRecorder().volume_paths = {L"/c/"};
  auto list = List();
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[0].index, 0);
  EXPECT_EQ(list[1].index, 2);
  EXPECT_EQ(list[1].mountPoints, L"/c/");
}

TEST_F(RecorderTest, RecorderFailingInitialisationStopsTheList) {
  for (int i = 0; i < 3; ++i) test_.disc->AddRecorder();
  test_.disc->Fail("IDiscRecorder2::InitializeDiscRecorder",
                   tessaline::platform::kE_FAIL, 1);
  EXPECT_EQ(List().size(), 1u);
  EXPECT_EQ(test_.disc->Count("IDiscMaster2::GetItem"), 2);
}

TEST_F(RecorderTest, FeaturePagesSetSupportFlags) {
  const struct {
    std::uint32_t feature;
    std::vector<std::pair<std::size_t, std::uint8_t>> bytes;
    std::set<int> flags;
  } rows[] = {
      {0x2F, {{4, 0x0A}}, {9, 10, 11}},
      {0x2F, {{4, 0x08}}, {9, 11}},
      {0x2F, {{4, 0x04}}, {9}},
      {0x2D, {{4, 0x02}}, {2, 3}},
      {0x2E, {{4, 0x01}}, {2}},
      {0x2A, {{4, 0x01}}, {7}},
      {0x2A, {{4, 0xFE}}, {}},
      {0x2B, {{4, 0x01}}, {6}},
      {0x3B, {{4, 0x01}}, {8}},
      {0x41, {{9, 0x04}, {17, 0x02}}, {18, 19}},
      {0x41, {{9, 0x04}}, {19}},
      {0x51, {{4, 0x01}, {6, 0x01}}, {15, 16}},
      {0x51, {{6, 0x01}}, {16}},
  };
  for (const auto& row : rows) {
    test_ = MakeDiscTestPlatform();
    test_.disc->AddRecorder().AddFeature(row.feature, row.bytes);
    EXPECT_EQ(Flags(), row.flags) << std::hex << row.feature;
  }
}

TEST_F(RecorderTest, UnreadableDescriptorSetsOnlyTheAlwaysFlags) {
  auto& drive = test_.disc->AddRecorder();
  for (std::uint32_t feature : {0x2Fu, 0x2Du, 0x41u, 0x2Au, 0x40u}) {
    drive.AddUnreadableFeature(feature);
  }
  EXPECT_EQ(Flags(), (std::set<int>{2, 9, 17}));
  // Pages are asked for as the drive has them, not as the medium allows.
  for (const auto& call :
       test_.disc->Calls("IDiscRecorder2Ex::GetFeaturePage")) {
    EXPECT_EQ(call.text, L"all");
  }
}

TEST_F(RecorderTest, MediaChangeNotificationIsCountedPerDrive) {
  test_.disc->AddRecorder();
  test_.disc->AddRecorder();
  auto mcn = [&](std::uint32_t index, bool disable) {
    return tessaline::SetMediaChangeNotification(*test_.platform, index,
                                                 disable);
  };
  auto enabled = [&](int index) {
    int count = 0;
    for (const auto& call : test_.disc->Calls("IDiscRecorder2::EnableMcn")) {
      count += call.recorder == index;
    }
    return count;
  };
  for (int i = 0; i < 2; ++i) EXPECT_EQ(mcn(0, true), 1);
  // Drive 1 was never disabled: enabling it undoes nothing of drive 0.
  for (int i = 0; i < 3; ++i) EXPECT_EQ(mcn(1, false), 1);
  EXPECT_EQ(enabled(1), 0);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(mcn(0, false), 1);
  EXPECT_EQ(enabled(0), 2);
}

}  // namespace
