#include "build/image_tool.h"

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
using Report = std::tuple<std::int32_t, std::intptr_t, std::intptr_t>;

void Collect(std::int32_t code, std::intptr_t first, std::intptr_t second,
             void* context) {
  static_cast<std::vector<Report>*>(context)->emplace_back(code, first, second);
}

const std::wstring kTool = L"C:\\Program Files\\Kit\\oscdimg.exe";

class ImageToolTest : public ::testing::Test {
 protected:
  ImageToolTest()
      : test_(testing::MakeTestPlatform()),
        processes_(std::make_shared<testing::FakeProcesses>(test_.clock)),
        reporter_(&Collect, &reports_) {
    test_.platform->processes = processes_;
  }

  std::uint32_t Run(const std::wstring& arguments = L"-n src out.iso") {
    return RunImageTool(*test_.platform, reporter_, kTool, arguments, &cancel_);
  }

  std::uint32_t Now() { return test_.clock->TickCount(); }

  testing::TestPlatform test_;
  std::shared_ptr<testing::FakeProcesses> processes_;
  std::vector<Report> reports_;
  StatusReporter reporter_;
  CancelFlag cancel_{0};
};

TEST_F(ImageToolTest, ReportsElapsedSecondsOnceASecondAndAtTheEnd) {
  processes_->Script({.run_milliseconds = 3500, .exit_code = 0});
  const std::uint32_t start = Now();

  EXPECT_EQ(Run(), 0u);

  EXPECT_THAT(reports_, ElementsAre(Report{3, 1, 0}, Report{3, 2, 0},
                                    Report{3, 3, 0}, Report{3, 3, 0}));
  EXPECT_THAT(processes_->Waits(), ElementsAre(1000, 1000, 1000, 1000));
  EXPECT_EQ(Now() - start, 3500u);
  EXPECT_TRUE(processes_->Terminations().empty());
  EXPECT_EQ(test_.prompt->Pumps(), 1);
  EXPECT_EQ(test_.prompt->Count(), 0);
  EXPECT_EQ(processes_->OpenHandles(), 0);
}

TEST_F(ImageToolTest, ElapsedSecondsSurviveTheTickCountWrapping) {
  test_.clock->SetTickCount(0xFFFFF000u);
  processes_->Script({.run_milliseconds = 2500});

  Run();

  EXPECT_THAT(reports_,
              ElementsAre(Report{3, 1, 0}, Report{3, 2, 0}, Report{3, 2, 0}));
}

TEST_F(ImageToolTest, ExitCodeOfAnEndedToolIsReturnedWhateverItIs) {
  // 259 reads like a running process; once the wait has seen the tool end
  // it is taken as the tool's code all the same, read once.
  for (const std::uint32_t code : {0u, 2u, 259u}) {
    SCOPED_TRACE(code);
    processes_ = std::make_shared<testing::FakeProcesses>(test_.clock);
    test_.platform->processes = processes_;
    processes_->Script({.run_milliseconds = 200, .exit_code = code});

    EXPECT_EQ(Run(), code);
    EXPECT_EQ(processes_->ExitCodeReads(), 1);
    EXPECT_EQ(processes_->OpenHandles(), 0);
  }
}

TEST_F(ImageToolTest, UnreadableExitCodeIsNotTakenForSuccess) {
  processes_->Script({.run_milliseconds = 10, .exit_code_fails = true});

  EXPECT_EQ(Run(), platform::kStillActive);
}

TEST_F(ImageToolTest, CommandLineIsTheQuotedToolPathABlankAndTheArguments) {
  const std::wstring arguments =
      L"-m -o -u2 -bootdata:2#p0,e,b\"C:\\w\\etfsboot.com\" "
      L"/B\"a b\" \"C:\\w\\Burn\" \"C:\\w\\boot.iso\"";

  Run(arguments);
  Run(L"");

  const auto starts = processes_->Starts();
  ASSERT_EQ(starts.size(), 2u);
  EXPECT_EQ(starts[0].program, kTool);
  EXPECT_EQ(starts[0].command_line, L"\"" + kTool + L"\" " + arguments);
  EXPECT_EQ(starts[1].command_line, L"\"" + kTool + L"\" ");
}

TEST_F(ImageToolTest, CancelStopsTheToolAtTheNextSecondWith255) {
  processes_->Script({.run_milliseconds = testing::kNever});
  const std::uint32_t start = Now();
  // The host cancels while the tool is in its second second.
  int sleeps = 0;
  test_.clock->SetSleepHook([&](std::uint32_t) {
    if (++sleeps == 2) cancel_ = 1;
  });

  EXPECT_EQ(Run(), 255u);

  EXPECT_THAT(reports_, ElementsAre(Report{3, 1, 0}, Report{3, 2, 0}));
  const auto terminations = processes_->Terminations();
  ASSERT_EQ(terminations.size(), 1u);
  EXPECT_EQ(terminations[0].exit_code, 255u);
  EXPECT_EQ(terminations[0].at, 2000u);
  EXPECT_EQ(Now() - start, 2000u);
  EXPECT_EQ(processes_->OpenHandles(), 0);
}

TEST_F(ImageToolTest, CancelledToolThatOutlivesTheExtraSecondGives259) {
  processes_->Script({.run_milliseconds = testing::kNever,
                      .terminate_milliseconds = testing::kNever});
  cancel_ = 1;
  const std::uint32_t start = Now();

  EXPECT_EQ(Run(), platform::kStillActive);

  EXPECT_THAT(reports_, ElementsAre(Report{3, 1, 0}));
  EXPECT_THAT(processes_->Waits(), ElementsAre(1000, 1000));
  EXPECT_EQ(Now() - start, 2000u);
  EXPECT_EQ(processes_->OpenHandles(), 0);
}

TEST_F(ImageToolTest, ToolEndingWithinTheSecondIsNotStopped) {
  processes_->Script({.run_milliseconds = 400, .exit_code = 3});
  cancel_ = 1;

  EXPECT_EQ(Run(), 3u);

  EXPECT_TRUE(processes_->Terminations().empty());
  EXPECT_THAT(reports_, ElementsAre(Report{3, 0, 0}));
}

TEST_F(ImageToolTest, StartFailureShowsTheSystemTextThenThrows) {
  processes_->FailStart(ENOENT);

  try {
    Run();
    FAIL() << "no exception";
  } catch (const MediaWriterException& e) {
    EXPECT_EQ(e.message, L"CreateProcess() failed");
  }

  const auto messages = test_.prompt->Messages();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].text, platform::FromUtf8(std::strerror(ENOENT)));
  EXPECT_EQ(messages[0].caption, L"");
  EXPECT_TRUE(processes_->Waits().empty());
  EXPECT_TRUE(reports_.empty());
}

TEST_F(ImageToolTest, FailingWaitThrowsAndLeavesTheToolRunning) {
  processes_->Script({.run_milliseconds = testing::kNever, .failing_wait = 2});

  try {
    Run();
    FAIL() << "no exception";
  } catch (const MediaWriterException& e) {
    EXPECT_EQ(e.message, L"WaitForSingleObject() failed");
  }

  EXPECT_THAT(reports_, ElementsAre(Report{3, 1, 0}));
  EXPECT_TRUE(processes_->Terminations().empty());
  EXPECT_EQ(processes_->OpenHandles(), 0);
}

}  // namespace
}  // namespace tessaline
