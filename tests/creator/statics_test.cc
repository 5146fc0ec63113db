#include <gtest/gtest.h>

#include <stdexcept>

#include "support/rig/drive_rig.h"
#include "tessaline/tessaline.h"

namespace tessaline::testing {
namespace {

class StaticsTest : public DriveRig {
 protected:
  StaticsTest() { AddDrive("drive0", IMAPI_MEDIA_TYPE_DVDDASHRW); }
};

TEST_F(StaticsTest, AnswerForTheDriveOrGiveTheFallbacks) {
  const struct {
    const char* name;
    std::uint32_t index;
    const char* fault;  // a factory call that fails
    std::size_t recorders;
    IMAPI_MEDIA_PHYSICAL_TYPE type;
    bool blank;
    std::int32_t locked;  // DriveLock(index, true)
    std::int32_t mcn;     // DisableEnableMCN(index, true)
  } rows[] = {
      // clang-format off
      {"known drive", 0, nullptr, 1, IMAPI_MEDIA_TYPE_DVDDASHRW, true, 0, 1},
      {"no drive at the index", 3, nullptr, 1, IMAPI_MEDIA_TYPE_UNKNOWN, false, 1, 0},
      {"no disc master", 0, "DiscServices::CreateDiscMaster", 0, IMAPI_MEDIA_TYPE_UNKNOWN, false, 1, 0},
      // clang-format on
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    auto& disc = NewDisc();
    if (row.fault != nullptr) disc.Fail(row.fault, platform::kE_FAIL);
    std::vector<RecorderInfo> list(3);
    Tessaline::ListRecorders(list, test_.platform);
    EXPECT_EQ(list.size(), row.recorders);
    std::int32_t status = 42;
    EXPECT_EQ(
        Tessaline::MediaTypeInRecorder(row.index, &status, test_.platform),
        row.type);
    EXPECT_EQ(status, row.type == IMAPI_MEDIA_TYPE_UNKNOWN ? 42 : 0);
    EXPECT_EQ(Tessaline::IsMediaBlank(row.index, test_.platform), row.blank);
    // The drive's own requests reach it only when it is found.
    const auto before = Requests("drive0").size();
    EXPECT_EQ(Tessaline::DisableEnableMCN(row.index, true, test_.platform),
              row.mcn);
    EXPECT_EQ(Tessaline::DisableEnableMCN(row.index, false, test_.platform),
              row.mcn);
    EXPECT_NO_THROW(Tessaline::EjectClose(row.index, false, test_.platform));
    EXPECT_NO_THROW(Tessaline::EjectClose(row.index, true, test_.platform));
    EXPECT_EQ(Tessaline::DriveLock(row.index, true, test_.platform),
              row.locked);
    EXPECT_EQ(Tessaline::DriveLock(row.index, false, test_.platform),
              row.locked);
    const auto all = Requests("drive0");
    const std::vector<std::string> reached(all.begin() + before, all.end());
    // clang-format off
    EXPECT_EQ(reached, row.locked != 0 ? std::vector<std::string>() : std::vector<std::string>({
        "DisableMcn", "EnableMcn", "IOCTL_STORAGE_MEDIA_REMOVAL allow",
        "IOCTL_STORAGE_EJECT_MEDIA: blank DVDDASHRW taken out", "IOCTL_STORAGE_LOAD_MEDIA: blank DVDDASHRW loaded",
        "IOCTL_CDROM_MEDIA_REMOVAL prevent", "IOCTL_CDROM_MEDIA_REMOVAL allow"}));
    // clang-format on
    ExpectReleased();
  }
}

TEST_F(StaticsTest, RecordedMediumIsNotBlankAndOtherExceptionsReachTheHost) {
  Record("drive0", 16);
  EXPECT_FALSE(Tessaline::IsMediaBlank(0, test_.platform));
  // A failure of the platform itself is not the library's to swallow.
  disc_->Before("IDiscFormat2Data::GetMediaHeuristicallyBlank",
                [] { throw std::runtime_error("platform broke"); });
  EXPECT_THROW(Tessaline::IsMediaBlank(0, test_.platform), std::runtime_error);
}

}  // namespace
}  // namespace tessaline::testing
