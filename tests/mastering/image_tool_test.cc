#include "mastering/image_tool.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <tuple>
#include <vector>

#include "platform/text.h"
#include "support/core/test_platform.h"
#include "support/drive/fake_processes.h"
#include "tessaline/tessaline.h"

namespace tessaline {
namespace {

using ::testing::ElementsAre;
using testing::FakeProcessScript;
using testing::kNever;
using Report = std::tuple<std::int32_t, std::intptr_t, std::intptr_t>;

void Collect(std::int32_t code, std::intptr_t first, std::intptr_t second,
             void* context) {
  static_cast<std::vector<Report>*>(context)->emplace_back(code, first, second);
}

const std::wstring kTool = L"C:\\Program Files\\Kit\\oscdimg.exe";

class ImageToolTest : public ::testing::Test {
 protected:
  ImageToolTest() { Reset(); }
  // The process handle is released on every way out.
  void TearDown() override { EXPECT_EQ(processes_->OpenHandles(), 0); }

  void Reset(const FakeProcessScript& script = {}) {
    EXPECT_EQ(processes_ ? processes_->OpenHandles() : 0, 0);
    processes_ = std::make_shared<testing::FakeProcesses>(test_.clock);
    processes_->Script(script);
    test_.platform->processes = processes_;
    reports_.clear();
    cancel_ = 0;
  }
  std::uint32_t Run(const std::wstring& arguments = L"-n src out.iso") {
    return RunImageTool(*test_.platform, StatusReporter(&Collect, &reports_),
                        kTool, arguments, &cancel_);
  }
  std::wstring Thrown() {
    try {
      Run();
    } catch (const MediaWriterException& e) {
      return e.message;
    }
    return L"(no exception)";
  }
  std::uint32_t Now() { return test_.clock->TickCount(); }

  testing::TestPlatform test_ = testing::MakeTestPlatform();
  std::shared_ptr<testing::FakeProcesses> processes_;
  std::vector<Report> reports_;
  CancelFlag cancel_{0};
};

// 259 reads like a running process, but the wait has seen the tool end.
TEST_F(ImageToolTest, ReportsElapsedSecondsAndGivesTheExitCodeWhateverItIs) {
  Reset({.run_milliseconds = 3500, .exit_code = 259});
  const std::uint32_t start = Now();
  EXPECT_EQ(Run(), 259u);
  EXPECT_THAT(reports_, ElementsAre(Report{3, 1, 0}, Report{3, 2, 0},
                                    Report{3, 3, 0}, Report{3, 3, 0}));
  EXPECT_EQ(Now() - start, 3500u);

  // Elapsed seconds survive the tick count wrapping.
  test_.clock->SetTickCount(0xFFFFF000u);
  Reset({.run_milliseconds = 2500});
  Run();
  EXPECT_THAT(reports_,
              ElementsAre(Report{3, 1, 0}, Report{3, 2, 0}, Report{3, 2, 0}));
}

TEST_F(ImageToolTest, CancelledToolThatLingersOrEndsOnItsOwn) {
  // A tool that outlives the extra second gives 259.
  Reset({.run_milliseconds = kNever, .terminate_milliseconds = kNever});
  cancel_ = 1;
  const std::uint32_t start = Now();
  EXPECT_EQ(Run(), platform::kStillActive);
  EXPECT_EQ(Now() - start, 2000u);

  // One that ends within the first second is not stopped.
  Reset({.run_milliseconds = 400, .exit_code = 3});
  cancel_ = 1;
  EXPECT_EQ(Run(), 3u);
  EXPECT_TRUE(processes_->Terminations().empty());
}

TEST_F(ImageToolTest, StartFailureShowsTheSystemTextThenThrows) {
  processes_->FailStart(ENOENT);
  EXPECT_EQ(Thrown(), L"CreateProcess() failed");
  const auto messages = test_.prompt->Messages();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].text, platform::FromUtf8(std::strerror(ENOENT)));
  EXPECT_TRUE(reports_.empty());
}

TEST_F(ImageToolTest, FailingWaitThrowsAndStopsTheTool) {
  // A tool that can no longer be watched must not run on behind the job.
  Reset({.run_milliseconds = kNever, .failing_wait = 2});
  EXPECT_EQ(Thrown(), L"WaitForSingleObject() failed");
  EXPECT_THAT(reports_, ElementsAre(Report{3, 1, 0}));
  EXPECT_EQ(processes_->Terminations().size(), 1u);
}

}  // namespace
}  // namespace tessaline
