// What a job leaves on disc 1 and on a data disc, for each medium, injected
// fault and cancel point.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "writer/job_fixture.h"

namespace tessaline::testing {
namespace {

namespace fs = std::filesystem;

enum class Cancel { kNone, kBefore, kDuringWrite };

class DiscJobTest : public JobTest, public ::testing::WithParamInterface<int> {
 protected:
  DiscJobTest() {
    MakeBootSource();
    WriteFile(SourcePath("drivers/net/e1000.inf"), "driver");
  }
};

TEST_P(DiscJobTest, OutcomeFollowsMediumFaultAndCancelPoint) {
  const std::int32_t disc = GetParam();
  const bool boot = disc == 1;
  const std::wstring items = boot ? L"boot,sources,kiro" : L"drivers,kiro";
  const wchar_t kWriteFailed[] = L"Writing the disc failed (0x80004005)";
  const struct {
    const char* name;
    bool recorded;      // the DVD+R holds an earlier write
    const char* fault;  // a disc services call that fails
    Cancel cancel;
    StatusReport last;
    const wchar_t* text;
    const char* written;  // the medium's state afterwards
    bool image;           // disc 1's image is kept for another try
    bool build;           // the build folder is kept for the next build
  } rows[] = {
      // clang-format off
      {"written", false, nullptr, Cancel::kNone, {10, 0, 0}, L"", "1", false, false},
      {"cancel before", false, nullptr, Cancel::kBefore, {11, 0, 0}, L"", "0", false, false},
      {"cancel during the write", false, nullptr, Cancel::kDuringWrite, {11, 0, 0}, L"", "0", false, false},
      {"writer fails", false, "IDiscFormat2Data::GetSupportedMediaTypes", Cancel::kNone, {12, 0, 0}, kWriteFailed, "0", boot, !boot},
      {"written write-once medium", true, nullptr, Cancel::kNone, {13, 3, 0}, L"", "1", false, !boot},
      // clang-format on
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    fs::remove_all(drives_ / "drive0");
    AddDrive("drive0", IMAPI_MEDIA_TYPE_DVDPLUSR);
    if (row.recorded) Record("drive0", 16);
    auto& services = NewDisc();
    if (row.fault != nullptr) services.Fail(row.fault, platform::kE_FAIL);
    cancel_->store(row.cancel == Cancel::kBefore ? 1 : 0);
    JobLog log;
    if (row.cancel == Cancel::kDuringWrite) {
      log.SetHook([&](const StatusReport& report) {
        if (report.code == 6) cancel_->store(1);
      });
    }
    RunJob(disc, 0, items, &log);
    ASSERT_FALSE(log.Reports().empty());
    EXPECT_EQ(log.Reports().back(), row.last);
    EXPECT_EQ(log.FinalReports(), 1);
    EXPECT_EQ(log.FailureText(), row.text);
    EXPECT_EQ(Medium("drive0", "written"), row.written);
    EXPECT_EQ(fs::exists(WorkPath("boot.iso")), row.image);
    EXPECT_EQ(fs::exists(WorkPath("Burn")), row.build);
    fs::remove_all(WorkPath());
    fs::create_directories(WorkPath());
  }
}

INSTANTIATE_TEST_SUITE_P(BootAndData, DiscJobTest, ::testing::Values(1, 2));

}  // namespace
}  // namespace tessaline::testing
