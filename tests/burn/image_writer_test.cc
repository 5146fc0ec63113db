#include "burn/image_writer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <tuple>

#include "support/rig/drive_rig.h"

namespace tessaline::testing {
namespace {

namespace fs = std::filesystem;
using namespace platform;

enum class Cancel { kNone, kBefore, kDuringWrite };
enum class Disc { kOld, kImage, kDamaged };

// drive0 writes four sectors a second, so a cancel can fall into a write.
class ImageWriterTest : public DriveRig {
 protected:
  ImageWriterTest() {
    WritePatternFile(temp_.path() / "boot.iso", 8 * 2048, 7);
    WritePatternFile(temp_.path() / "Burn" / "tools" / "a.bin", 5000, 3);
  }

  HRESULT Write(bool iso) {
    if (iso) {
      return WriteIsoImage(*test_.platform, temp_.Wide("boot.iso"), 0,
                           &StatusLog::Callback, &log_, &cancel_, &outcome_);
    }
    return WriteFolderImage(*test_.platform, temp_.Wide("Burn"), 0, L"DISC2",
                            &StatusLog::Callback, &log_, &cancel_, nullptr,
                            &outcome_);
  }

  Disc Holds(bool iso) {
    if (Medium("drive0", "damaged") == "1") return Disc::kDamaged;
    const std::string medium = ReadFile(drives_ / "drive0" / "medium.img");
    const bool image =
        iso ? medium == ReadFile(temp_.path() / "boot.iso")
            : OnDisc("tools/a.bin") ==
                  ReadFile(temp_.path() / "Burn" / "tools" / "a.bin");
    return image ? Disc::kImage : Disc::kOld;
  }

  CancelFlag cancel_{0};
  WriteOutcome outcome_ = WriteOutcome::kNotWritten;
};

TEST_F(ImageWriterTest, OutcomeFollowsMediumFaultAndCancelPoint) {
  const struct {
    const char* name;
    IMAPI_MEDIA_PHYSICAL_TYPE type;
    bool recorded;
    const char* fault;
    Cancel cancel;
    HRESULT hr;
    int user_needed;  // reason of the UserNeededException, or -1
    WriteOutcome outcome;
    Disc disc;
    bool erased;
    bool folder_only = false;
  } kRows[] = {
      // clang-format off
      {"blank", IMAPI_MEDIA_TYPE_DVDPLUSR, false, "", Cancel::kNone, kS_OK, -1, WriteOutcome::kWritten, Disc::kImage, false},
      {"rewritable", IMAPI_MEDIA_TYPE_CDRW, true, "", Cancel::kNone, kS_OK, -1, WriteOutcome::kWritten, Disc::kImage, true},
      {"write-once", IMAPI_MEDIA_TYPE_DVDPLUSR, true, "", Cancel::kNone, kS_OK, 3, WriteOutcome::kNotWritten, Disc::kOld, false},
      {"blank query", IMAPI_MEDIA_TYPE_CDRW, true, "IDiscFormat2Data::GetMediaHeuristicallyBlank", Cancel::kNone, kS_OK, 4, WriteOutcome::kNotWritten, Disc::kOld, false},
      {"erase", IMAPI_MEDIA_TYPE_CDRW, true, "IDiscFormat2Erase::EraseMedia", Cancel::kNone, kS_OK, 3, WriteOutcome::kNotWritten, Disc::kOld, false},
      {"write", IMAPI_MEDIA_TYPE_DVDPLUSRW, true, "IDiscFormat2Data::Write", Cancel::kNone, kS_OK, 2, WriteOutcome::kNotWritten, Disc::kOld, true},
      {"write protect query", IMAPI_MEDIA_TYPE_DVDPLUSR, false, "IDiscFormat2Data::GetWriteProtectStatus", Cancel::kNone, kE_FAIL, -1, WriteOutcome::kWritten, Disc::kImage, false, true},
      {"cancel first", IMAPI_MEDIA_TYPE_CDRW, true, "", Cancel::kBefore, kS_OK, -1, WriteOutcome::kCancelled, Disc::kOld, false},
      {"cancel in write", IMAPI_MEDIA_TYPE_DVDPLUSR, false, "", Cancel::kDuringWrite, kE_IMAPI_REQUEST_CANCELLED, -1, WriteOutcome::kCancelled, Disc::kDamaged, false},
      // clang-format on
  };
  for (bool iso : {true, false}) {
    for (const auto& row : kRows) {
      if (iso && row.folder_only) continue;
      SCOPED_TRACE(std::string(row.name) + (iso ? " iso" : " folder"));
      fs::remove_all(drives_ / "drive0");
      AddDrive("drive0", row.type, "speed=8192");
      if (row.recorded) Record("drive0", 3);
      FaultDiscServices& disc = NewDisc();
      if (*row.fault) disc.Fail(row.fault, kE_FAIL);
      cancel_ = row.cancel == Cancel::kBefore ? 1 : 0;
      test_.clock->SetSleepHook([&](std::uint32_t) {
        if (row.cancel == Cancel::kDuringWrite) cancel_ = 1;
      });
      outcome_ = WriteOutcome::kNotWritten;

      int reason = -1;
      HRESULT hr = kS_OK;
      try {
        hr = Write(iso);
      } catch (const UserNeededException& e) {
        reason = e.reason;
      }
      EXPECT_EQ(reason, row.user_needed);
      if (reason == -1) {
        EXPECT_EQ(hr, row.hr);
        EXPECT_EQ(outcome_, row.outcome);
      }
      EXPECT_EQ(Holds(iso), row.disc);
      const auto requests = Requests("drive0");
      EXPECT_EQ(std::count(requests.begin(), requests.end(), "EraseMedia full"),
                row.erased ? 1 : 0);
      ExpectReleased();
    }
  }
}

TEST_F(ImageWriterTest, IsoStreamTakesWholeSectorsUpToTheLargestLong) {
  // Sparse images: only the size counts.
  for (const auto& [size, hr, count] :
       {std::tuple{2047ull, kE_FAIL, 0},
        {2048 * 0x7FFFFFFFull, kS_OK, 0x7FFFFFFF},
        {2048 * 0x80000000ull, kE_FAIL, 0}}) {
    fs::resize_file(temp_.path() / "boot.iso", size);
    std::shared_ptr<IStream> stream;
    std::int32_t sectors = 5;
    EXPECT_EQ(OpenIsoStream(*test_.platform, &stream, &sectors,
                            temp_.Wide("boot.iso")),
              hr);
    EXPECT_EQ(sectors, count);
  }
}

TEST_F(ImageWriterTest, WriteThatCannotBeSetUpLeavesTheMediumAlone) {
  for (int row = 0; row < 4; ++row) {
    const bool iso = row % 2 == 0;
    SCOPED_TRACE(row);
    fs::remove_all(drives_ / "drive0");
    AddDrive("drive0", IMAPI_MEDIA_TYPE_CDRW);
    Record("drive0", 3);
    const std::string before = ReadFile(drives_ / "drive0" / "medium.img");
    if (row < 2) {
      NewDisc().Fail("DiscServices::CreateDataWriter", kE_FAIL);
      EXPECT_THROW(Write(iso), MediaWriterException);
    } else {
      NewDisc();
      if (iso) fs::resize_file(temp_.path() / "boot.iso", 2047);
      if (!iso) fs::remove_all(temp_.path() / "Burn");
      EXPECT_TRUE(Failed(Write(iso)));
      EXPECT_EQ(outcome_, WriteOutcome::kNotWritten);
    }
    EXPECT_EQ(ReadFile(drives_ / "drive0" / "medium.img"), before);
    EXPECT_TRUE(Requests("drive0").empty());
    ExpectReleased();
  }
}

}  // namespace
}  // namespace tessaline::testing
