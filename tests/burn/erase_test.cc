#include "burn/erase.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "burn/diagnostics.h"
#include "support/rig/drive_rig.h"

namespace tessaline::testing {
namespace {

using namespace platform;

// Drive 1 holds a medium with 59 recorded sectors; at one sector a second
// a full erase takes 59 s of the fake clock, a quick one none.
class EraseTest : public DriveRig {
 protected:
  EraseTest() { AddDrive("drive0", IMAPI_MEDIA_TYPE_CDRW); }

  HRESULT Erase(bool full) {
    return EraseRecorderMedia(*test_.platform, 1, full, &StatusLog::Callback,
                              &log_);
  }
};

TEST_F(EraseTest, OutcomeFollowsMediumKindAndInjectedFault) {
  const struct {
    const char* name;
    IMAPI_MEDIA_PHYSICAL_TYPE type;
    bool full;
    const char* fault;
    HRESULT hr;          // returned, unless
    int user_needed;     // a UserNeededException with this reason (or -1)
    const char* erased;  // the erase the drive did, or ""
    const char* time;    // the time to erase shown, or ""
  } kRows[] = {
      // clang-format off
      {"full", IMAPI_MEDIA_TYPE_CDRW, true, "", kS_OK, -1, "EraseMedia full", "00:00:59"},
      {"quick", IMAPI_MEDIA_TYPE_DVDPLUSRW, false, "", kS_OK, -1, "EraseMedia quick", "00:00:00"},
      {"write-once", IMAPI_MEDIA_TYPE_DVDPLUSR, true, "", kS_OK, 3, "", ""},
      {"no eraser", IMAPI_MEDIA_TYPE_CDRW, true, "DiscServices::CreateEraser", kE_FAIL, -1, "", ""},
      {"client name", IMAPI_MEDIA_TYPE_CDRW, true, "IDiscFormat2Erase::PutClientName", kE_FAIL, -1, "", ""},
      {"media type", IMAPI_MEDIA_TYPE_CDRW, true, "IDiscFormat2Erase::GetCurrentPhysicalMediaType", kE_IMAPI_RECORDER_MEDIA_NO_MEDIA, -1, "", ""},
      {"full erase", IMAPI_MEDIA_TYPE_CDRW, true, "IDiscFormat2Erase::PutFullErase", kE_FAIL, -1, "", ""},
      {"erase", IMAPI_MEDIA_TYPE_CDRW, true, "IDiscFormat2Erase::EraseMedia", kE_IMAPI_RECORDER_MEDIA_BUSY, 3, "", ""},
      // clang-format on
  };
  for (const auto& row : kRows) {
    SCOPED_TRACE(row.name);
    std::filesystem::remove_all(drives_ / "drive1");
    AddDrive("drive1", row.type, "speed=2048");
    Record("drive1", 59);
    const std::size_t shown = test_.console->Text().size();
    if (*row.fault) NewDisc().Fail(row.fault, row.hr, "drive1");

    int reason = -1;
    HRESULT hr = kS_OK;
    try {
      hr = Erase(row.full);
    } catch (const UserNeededException& e) {
      reason = e.reason;
    }
    EXPECT_EQ(reason, row.user_needed);
    EXPECT_EQ(reason == -1 ? hr : row.hr, row.hr);
    const bool erased = *row.erased != '\0';
    EXPECT_EQ(Medium("drive1", "written"), erased ? "0" : "1");
    const std::vector<std::string> requests = Requests("drive1");
    EXPECT_EQ(std::count(requests.begin(), requests.end(), row.erased),
              erased ? 1 : 0);
    EXPECT_EQ(test_.console->Text().find(
                  std::string(" - Time to erase: ") + row.time + "\n", shown) !=
                  std::string::npos,
              erased);
    ExpectReleased();
  }
  // A drive that is not there is no job for the user.
  NewDisc();
  EXPECT_THROW(EraseRecorderMedia(*test_.platform, 2, true, nullptr, nullptr),
               MediaWriterException);
}

TEST_F(EraseTest, FullEraseReportsItsProgressEverySecond) {
  AddDrive("drive1", IMAPI_MEDIA_TYPE_CDRW, "speed=2048");
  Record("drive1", 3);
  ASSERT_EQ(Erase(true), kS_OK);
  EXPECT_EQ(log_.Reports(), (std::vector<StatusReport>{
                                {7, 0, 3}, {7, 1, 3}, {7, 2, 3}, {7, 3, 3}}));
}

TEST_F(EraseTest, TimeIsShownAsHoursMinutesSecondsWithoutDays) {
  constexpr std::uint64_t kSecond = 10'000'000;
  // Fractions of a second are cut off, not rounded.
  for (const auto& [ticks, shown] : {std::pair{59 * kSecond, "00:00:59"},
                                     {60 * kSecond, "00:01:00"},
                                     {3600 * kSecond, "01:00:00"},
                                     {3725 * kSecond, "01:02:05"},
                                     {90061 * kSecond, "01:01:01"},
                                     {2 * kSecond - 1, "00:00:01"}}) {
    EXPECT_EQ(burn::Hms(1000, 1000 + ticks), shown);
  }
}

}  // namespace
}  // namespace tessaline::testing
