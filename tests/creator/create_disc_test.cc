// Starting writer jobs from the creator: ownership of the job, the shared
// cancel flag, and a cancel from the host's thread while the job's thread
// delivers write events.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <filesystem>
#include <memory>
#include <mutex>

#include "support/disc/disc_test_platform.h"
#include "support/drive/fake_devices.h"
#include "support/drive/fake_processes.h"
#include "tessaline/tessaline.h"

namespace tessaline::testing {
namespace {

namespace fs = std::filesystem;

// Collects a job's reports and lets the host's thread wait for the final
// one.
class FinalReport {
 public:
  static void Callback(std::int32_t code, std::intptr_t, std::intptr_t,
                       void* context) {
    auto* self = static_cast<FinalReport*>(context);
    if (code == 8) self->OnWriting();
    std::lock_guard<std::mutex> lock(self->mutex_);
    self->codes_.push_back(code);
    if (code >= 10 && code <= 14) ++self->finals_;
    self->changed_.notify_all();
  }

  std::vector<std::int32_t> WaitForFinal() {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return finals_ > 0; });
    return codes_;
  }

  // The job's thread stops at its first write report until the host has
  // cancelled.
  void HoldAtFirstWriteReport() { hold_ = true; }
  void WaitUntilWriting() {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return writing_; });
  }
  void Release() {
    std::lock_guard<std::mutex> lock(mutex_);
    released_ = true;
    changed_.notify_all();
  }
  int finals() {
    std::lock_guard<std::mutex> lock(mutex_);
    return finals_;
  }

 private:
  void OnWriting() {
    if (!hold_) return;
    std::unique_lock<std::mutex> lock(mutex_);
    if (writing_) return;
    writing_ = true;
    changed_.notify_all();
    changed_.wait(lock, [this] { return released_; });
  }

  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<std::int32_t> codes_;
  int finals_ = 0;
  std::atomic<bool> hold_{false};
  bool writing_ = false;
  bool released_ = false;
};

class CreateDiscTest : public ::testing::Test {
 protected:
  CreateDiscTest() : test_(MakeDiscTestPlatform()) {
    fs::create_directories(temp_.path() / "work");
    fs::create_directories(temp_.path() / "source");
    test_.platform->processes = std::make_shared<FakeProcesses>(test_.clock);
    test_.platform->devices = std::make_shared<FakeDevices>();
    auto& recorder = test_.disc->AddRecorder();
    recorder.volume_paths = {temp_.Wide("disc") + L"/"};
    recorder.medium.blank = true;
    FakeWriteEvent writing;
    writing.action = platform::kWriteActionWritingData;
    test_.disc->write_events.assign(50, writing);
  }

  Tessaline MakeCreator() {
    return Tessaline(temp_.Wide("work").c_str(), temp_.Wide("source").c_str(),
                     L"RECOVERY", test_.platform);
  }

  TempFolder temp_;
  DiscTestPlatform test_;
};

TEST_F(CreateDiscTest, DiscOutsideThePlanIsAddedAndMadeWithNoItems) {
  Tessaline creator = MakeCreator();
  FinalReport report;
  creator.CreateDisc(3, 0, &FinalReport::Callback, &report);
  EXPECT_EQ(creator.NumDiscs(), 1u);
  auto codes = report.WaitForFinal();
  ASSERT_GE(codes.size(), 4u);
  EXPECT_THAT(std::vector<std::int32_t>(codes.begin(), codes.begin() + 2),
              ::testing::ElementsAre(1, 4));
  EXPECT_EQ(std::count(codes.begin(), codes.end(), 8), 50);
  EXPECT_THAT(std::vector<std::int32_t>(codes.end() - 2, codes.end()),
              ::testing::ElementsAre(15, 10));
}

TEST_F(CreateDiscTest, JobWithoutCallbackRunsToItsEnd) {
  {
    Tessaline creator = MakeCreator();
    creator.CreateDisc(2, 0, nullptr, nullptr);
  }  // the creator's end waits for the job
  EXPECT_EQ(test_.disc->Count("IDiscFormat2Data::Write"), 1);
  EXPECT_EQ(test_.disc->LiveObjects(), 0);
}

TEST_F(CreateDiscTest, HostCancelsWhileTheJobsThreadWrites) {
  Tessaline creator = MakeCreator();
  FinalReport report;
  report.HoldAtFirstWriteReport();
  creator.CreateDisc(2, 1, &FinalReport::Callback, &report);
  report.WaitUntilWriting();
  creator.Cancel();
  report.Release();
  auto codes = report.WaitForFinal();
  EXPECT_EQ(codes.back(), 11);
  EXPECT_GE(test_.disc->Count("IDiscFormat2Data::CancelWrite"), 1);
  // No verification after a cancelled write.
  EXPECT_THAT(codes, ::testing::Not(::testing::Contains(9)));
}

TEST_F(CreateDiscTest, JobMovedByAssignmentIsCancelledByItsNewOwner) {
  Tessaline first = MakeCreator();
  Tessaline second = MakeCreator();
  FinalReport report;
  report.HoldAtFirstWriteReport();
  first.CreateDisc(2, 0, &FinalReport::Callback, &report);
  report.WaitUntilWriting();
  second = first;
  second.Cancel();
  report.Release();
  EXPECT_EQ(report.WaitForFinal().back(), 11);

  // The first creator's later jobs are not cancelled by that.
  FinalReport next;
  first.CreateDisc(2, 0, &FinalReport::Callback, &next);
  EXPECT_EQ(next.WaitForFinal().back(), 10);
  EXPECT_EQ(report.finals(), 1);
}

TEST_F(CreateDiscTest, CancelledCreatorStartsJobsThatSeeTheFlag) {
  Tessaline creator = MakeCreator();
  creator.Cancel();
  FinalReport report;
  creator.CreateDisc(2, 1, &FinalReport::Callback, &report);
  EXPECT_THAT(report.WaitForFinal(), ::testing::ElementsAre(1, 11));
  EXPECT_EQ(test_.disc->Count("IDiscFormat2Data::Write"), 0);
}

// A host that, from inside the final report, starts the next disc or ends
// the creator, as the report runs on the job's thread.
struct ReenteringHost {
  static void Callback(std::int32_t code, std::intptr_t first,
                       std::intptr_t second, void* context) {
    auto* self = static_cast<ReenteringHost*>(context);
    if (code >= 10 && code <= 14) {
      if (self->destroy) {
        self->creator.reset();
      } else {
        self->creator->CreateDisc(2, 0, &FinalReport::Callback, &self->next);
      }
    }
    FinalReport::Callback(code, first, second, &self->first);
  }

  bool destroy = false;
  std::unique_ptr<Tessaline> creator;
  FinalReport first;
  FinalReport next;
};

TEST_F(CreateDiscTest, FinalReportMayStartTheNextDiscOrEndTheCreator) {
  for (bool destroy : {true, false}) {
    ReenteringHost host;
    host.destroy = destroy;
    host.creator = std::make_unique<Tessaline>(temp_.Wide("work").c_str(),
                                               temp_.Wide("source").c_str(),
                                               L"RECOVERY", test_.platform);
    host.creator->CreateDisc(2, 0, &ReenteringHost::Callback, &host);
    EXPECT_EQ(host.first.WaitForFinal().back(), 10);
    if (!destroy) {
      // The next job finds the work folder and the recorder free.
      EXPECT_EQ(host.next.WaitForFinal().back(), 10);
      host.creator.reset();
    }
  }
  EXPECT_EQ(test_.disc->Count("IDiscFormat2Data::Write"), 3);
}

}  // namespace
}  // namespace tessaline::testing
