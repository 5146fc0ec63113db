#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>

#include "drive/drive_control.h"
#include "platform/text.h"
#include "writer/job_fixture.h"

namespace tessaline::testing {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAreArray;

constexpr std::intptr_t kAny = -1;  // any value but 0

class DiscJobTest : public JobTest, public ::testing::WithParamInterface<int> {
 protected:
  bool boot() const { return GetParam() == 1; }
  std::wstring Items() const {
    return boot() ? L"boot,sources,kiro" : L"data,kiro";
  }
  std::string Image() const {
    return ReadFile(drives_ / "drive0" / "medium.img");
  }
  bool Holds() const {
    if (boot()) return Image() == image_;
    return OnDisc("data/large.bin") == ReadFile(SourcePath("data/large.bin")) &&
           OnDisc("kiro/plugins.xml") == "<plugins disc='dvd'/>" &&
           OnDisc("RECOVERY2") && !OnDisc("DVD") &&
           Image().find("RECOVERYDISC2") != std::string::npos;
  }
};

TEST_P(DiscJobTest, ReportsEveryStageAndLeavesTheDiscAndNothingElse) {
  // 9 for each chunk of the image (two of 1000 sectors and a short one) or
  // each entry but the first. A verify flag other than 0 or 1 just writes.
  using Codes = std::vector<std::int32_t>;
  // clang-format off
  const Codes build = boot() ? Codes{1, 1, 1, 2, 3, 3, 3, 3, 3, 4, 5, 6, 8} : Codes{1, 1, 4, 5, 6, 8};
  const std::map<std::int32_t, Codes> tails = {{0, {15, 10}}, {1, boot() ? Codes{9, 9, 9, 15, 10} : Codes{9, 9, 15, 10}}, {2, {10}}};
  // clang-format on
  for (const auto& [verify, tail] : tails) {
    SCOPED_TRACE(verify);
    fs::remove_all(drives_ / "drive0");
    AddDrive("drive0", IMAPI_MEDIA_TYPE_DVDPLUSR, "settle=10,6");
    DriveLock(*test_.platform, 0, true);  // as the host does before a job
    StatusLog log;
    RunJob(GetParam(), verify, Items(), &log);
    Codes codes = build;
    codes.insert(codes.end(), tail.begin(), tail.end());
    EXPECT_THAT(log.Codes(), ElementsAreArray(codes));
    EXPECT_TRUE(Holds());
    EXPECT_FALSE(fs::exists(WorkPath("Burn")));
    EXPECT_FALSE(fs::exists(WorkPath("boot.iso")));
    // The drive settles before the report; a verification dismounts the
    // disc, waits for the drive, and locks the tray while it reads.
    EXPECT_EQ(Medium("drive0", "locked"), "0");
    EXPECT_EQ(test_.clock->Sleeps().back(), 6000u);
    const auto requests = Requests("drive0");
    EXPECT_EQ(std::count(requests.begin(), requests.end(),
                         "IOCTL_CDROM_MEDIA_REMOVAL prevent"),
              verify == 1 ? 2 : 1);
    if (verify == 1) {
      EXPECT_THAT(test_.clock->Sleeps(), ::testing::Contains(10000u));
      EXPECT_THAT(requests, ::testing::IsSupersetOf({"FSCTL_LOCK_VOLUME",
                                                     "FSCTL_DISMOUNT_VOLUME"}));
    }
  }
}

TEST_P(DiscJobTest, OutcomeFollowsMediumFaultAndCancelPoint) {
  const wchar_t kWriteFailed[] = L"Writing the disc failed (0x80004005)";
  const wchar_t kMissing[] = L"Missing source folder or files - copy failed.";
  const struct {
    const char* name;
    bool recorded;        // the DVD+R holds an earlier write
    const char* fault;    // a disc services call that fails
    const char* missing;  // a source item taken away
    std::int32_t cancel;  // at the first report of this code; -1: before
    std::int32_t verify;
    bool tamper;  // the disc or the source changes once verifying starts
    StatusReport last;
    const wchar_t* text;
    const char* written;  // the medium's state afterwards
    bool image;           // disc 1's image is kept for another try
    bool build;           // the build folder is kept for the next build
  } rows[] = {
      // clang-format off
      {"cancel before", false, nullptr, nullptr, -1, 0, false, {11, 0, 0}, L"", "0", false, false},
      {"cancel during the copy", false, nullptr, "kiro/pluginsDVD.xml", 1, 0, false, {11, 0, 0}, L"", "0", false, false},
      {"cancel during the write", false, nullptr, nullptr, 6, 0, false, {11, 0, 0}, L"", "0", false, false},
      {"cancel during the verification", false, nullptr, nullptr, 9, 1, false, {11, 0, 0}, L"", "1", false, false},
      {"writer fails", false, "IDiscFormat2Data::GetSupportedMediaTypes", nullptr, 0, 0, false, {12, 0, 0}, kWriteFailed, "0", boot(), !boot()},
      {"written write-once medium", true, nullptr, nullptr, 0, 0, false, {13, 3, 0}, L"", "1", false, !boot()},
      {"missing item", false, nullptr, "kiro", 0, 0, false, {12, 0, 0}, kMissing, "0", false, true},
      {"plug-in list without its disc variant", false, nullptr, "kiro/pluginsDVD.xml", 0, 0, false, {12, 0, 0}, L"Could not set up plugins.xml file (copy failed)", "0", false, true},
      {"disc differs", false, nullptr, nullptr, 0, 1, true, {14, boot() ? 3 : 0, boot() ? kAny : 201}, L"", "1", boot(), false},
      // clang-format on
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    fs::remove_all(drives_ / "drive0");
    AddDrive("drive0", IMAPI_MEDIA_TYPE_DVDPLUSR);
    if (row.recorded) Record("drive0", 16);
    fs::remove_all(source_);
    fs::remove_all(work_);
    fs::create_directories(work_);
    MakeSource();
    if (row.missing != nullptr) fs::remove_all(SourcePath(row.missing));
    auto& services = NewDisc();
    if (row.fault != nullptr) services.Fail(row.fault, platform::kE_FAIL);
    cancel_->store(row.cancel == -1 ? 1 : 0);
    StatusLog log;
    log.SetHook([&](const StatusReport& report) {
      if (report.code != 9 && report.code != row.cancel) return;
      if (report.code == row.cancel && log.Reports().size() >= 2) {
        cancel_->store(1);
      }
      if (report.code == 9 && row.tamper && report.first == 0) {
        if (boot()) {
          std::string bytes = Image();
          bytes[2 * 2048000 + 17] ^= 0xFF;
          WriteFile(drives_ / "drive0" / "medium.img", bytes);
        } else {
          WriteFile(SourcePath("data/large.bin"), "changed");
        }
      }
    });
    RunJob(GetParam(), row.verify, Items(), &log);
    ASSERT_FALSE(log.Reports().empty());
    const StatusReport last = log.Reports().back();
    EXPECT_EQ(last.code, row.last.code);
    EXPECT_EQ(last.first, row.last.first);
    if (row.last.second == kAny) {
      EXPECT_NE(last.second, 0);
    } else {
      EXPECT_EQ(last.second, row.last.second);
    }
    EXPECT_EQ(log.FinalReports(), 1);
    EXPECT_EQ(log.FailureText(), row.text);
    EXPECT_EQ(Medium("drive0", "written"), row.written);
    EXPECT_EQ(fs::exists(WorkPath("boot.iso")), row.image);
    EXPECT_EQ(fs::exists(WorkPath("Burn")), row.build);
    EXPECT_NE(Medium("drive0", "locked"), "1");  // free for the user
    if (row.cancel == -1) {  // nothing reaches the drive or the tool
      EXPECT_TRUE(Requests("drive0").empty() && processes_->Starts().empty());
    }
  }
}

INSTANTIATE_TEST_SUITE_P(BootAndData, DiscJobTest, ::testing::Values(1, 2));

using BootDiscTest = JobTest;
constexpr wchar_t kBootItems[] = L"boot,sources,kiro";

TEST_F(BootDiscTest, ToolRunsOnTheBuildFolderWithTheSourceOrLibraryBootSector) {
  std::map<std::string, std::string> seen;
  on_start_ = [&] {
    for (const char* name : {"DVD", "RECOVERY1", "kiro/plugins.xml", "boot/bcd",
                             "boot/etfsboot.com"}) {
      const fs::path path = WorkPath("Burn") / name;
      seen[name] = fs::exists(path) ? ReadFile(path) : "absent";
    }
  };
  RunJob(1, 0, kBootItems);
  // clang-format off
  EXPECT_EQ(seen, (std::map<std::string, std::string>{{"DVD", ""}, {"RECOVERY1", ""},
      {"kiro/plugins.xml", "<plugins disc='dvd'/>"}, {"boot/bcd", "boot configuration"}, {"boot/etfsboot.com", "absent"}}));
  // clang-format on
  fs::remove(SourcePath("boot/etfsboot.com"));
  RunJob(1, 0, kBootItems);
  const std::wstring tool = temp_.Wide("module/oscdimg");
  const auto starts = processes_->Starts();
  ASSERT_EQ(starts.size(), 2u);
  EXPECT_EQ(starts[0].program, tool);
  for (const auto& [start, sector] :
       {std::pair{starts[0], Source("boot/etfsboot.com")},
        std::pair{starts[1], temp_.Wide("module/etfsboot.com")}}) {
    EXPECT_EQ(start.command_line, L"\"" + tool +
                                      L"\" -lRECOVERYDISC1 /n /m /B\"" +
                                      sector + L"\" \"" + Work("Burn") +
                                      L"\" \"" + Work("boot.iso") + L"\"");
  }
}

TEST_F(BootDiscTest, ToolFailuresEndTheJobWithTheirTexts) {
  const std::wstring module = temp_.Wide("module/");
  const struct {
    const char* name;
    std::uint32_t exit_code;
    bool image;
    const char* removed;  // a file of the library's folder taken away
    std::wstring text;
  } rows[] = {
      // clang-format off
      {"tool fails", 2, true, nullptr, L"oscdimg.exe returned an error"},
      {"no image", 0, false, nullptr, L"boot.iso missing, oscdimg.exe failed"},
      {"cancelled tool", kNever, true, nullptr, L"oscdimg.exe returned an error"},
      {"no boot sector", 0, true, "etfsboot.com", module + L"etfsboot.com missing"},
      {"no tool", 0, true, "oscdimg", module + L"oscdimg missing"},
      // clang-format on
  };
  fs::remove(SourcePath("boot/etfsboot.com"));
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    StatusLog log;
    FakeProcessScript tool = tool_;
    tool.run_milliseconds = row.exit_code == kNever ? kNever : 1500;
    tool.exit_code = row.exit_code;
    processes_->Script(tool);
    const std::string image = image_;
    if (!row.image) image_.clear();
    if (row.removed != nullptr)
      fs::remove(temp_.path() / "module" / row.removed);
    // A cancel while the tool runs ends it, as a failure of the tool.
    log.SetHook([&](const StatusReport& report) {
      if (report.code == 3 && report.first == 2 && row.exit_code == kNever) {
        cancel_->store(1);
      }
    });
    RunJob(1, 0, kBootItems, &log);
    image_ = image;
    cancel_->store(0);
    EXPECT_EQ(log.Codes().back(), 12);
    EXPECT_EQ(log.FailureText(), row.text);
    EXPECT_FALSE(fs::exists(WorkPath("Burn")));
    EXPECT_EQ(Medium("drive0", "written"), "0");
  }
  // An empty work folder is refused before anything is touched.
  auto settings = Settings(1, 0, kBootItems);
  settings.workFolder = L"";
  { MediaWriter job(settings); }
  EXPECT_THAT(log_.Codes(), ::testing::ElementsAre(12));
  EXPECT_EQ(log_.FailureText(), L"Missing work folder - build failed.");
}

using DataDiscTest = JobTest;

TEST_F(DataDiscTest, NextBuildRenewsTheBuildFolderAndReportsItsOwnFailures) {
  WriteFile(WorkPath("Burn/stale.txt"), "old");
  RunJob(12, 0, L"kiro");
  EXPECT_EQ(log_.Codes().back(), 10);
  EXPECT_FALSE(OnDisc("stale.txt"));
  // The label carries all digits of the disc number.
  EXPECT_NE(ReadFile(drives_ / "drive0" / "medium.img").find("RECOVERYDISC12"),
            std::string::npos);
  // The list of missing items that cannot be written fails naming its path.
  fs::create_directories(WorkPath("missing.txt"));
  StatusLog log;
  RunJob(2, 0, L"gone", &log);
  EXPECT_EQ(log.FailureText(), Work("missing.txt") + L" - Is a directory");
}

}  // namespace
}  // namespace tessaline::testing
