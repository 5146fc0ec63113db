#include "burn/event_sinks.h"

#include <gtest/gtest.h>

#include "burn/recorder.h"
#include "support/disc/disc_test_platform.h"

namespace {

using tessaline::CancelFlag;
using tessaline::testing::DiscTestPlatform;
using tessaline::testing::FakeWriteEvent;
using tessaline::testing::MakeDiscTestPlatform;
using tessaline::testing::StatusLog;
using tessaline::testing::StatusReport;
using Reports = std::vector<StatusReport>;
namespace platform = tessaline::platform;

// Runs the fake's write with a data-writer sink advised, as the writers do.
class DataSinkTest : public ::testing::Test {
 protected:
  DataSinkTest() : test_(MakeDiscTestPlatform()) { test_.disc->AddRecorder(); }

  platform::HRESULT Write(std::vector<FakeWriteEvent> events) {
    test_.disc->write_events = std::move(events);
    std::shared_ptr<platform::IDiscFormat2Data> writer;
    test_.disc->CreateDataWriter(&writer);
    writer->PutRecorder(tessaline::OpenRecorder(*test_.platform, 0));
    auto sink = std::make_shared<tessaline::CTestDataWriter2Event>();
    sink->notify = &StatusLog::Callback;
    sink->notifyContext = &log_;
    sink->cancelFlag = &cancel_;
    std::uint32_t cookie = 0;
    writer->Advise(sink, &cookie);
    platform::HRESULT hr = writer->Write(test_.disc->MakeStream(4096).get());
    writer->Unadvise(cookie);
    writer->PutRecorder(nullptr);
    return hr;
  }

  DiscTestPlatform test_;
  StatusLog log_;
  CancelFlag cancel_{0};
};

FakeWriteEvent Action(std::int32_t action, std::int32_t elapsed = 0,
                      std::int32_t total = 0) {
  FakeWriteEvent event;
  event.action = action;
  event.elapsed = elapsed;
  event.total = total;
  event.remaining = total - elapsed;
  return event;
}

TEST_F(DataSinkTest, WritingDataReportsElapsedAndTotalOnce) {
  EXPECT_EQ(Write({Action(4, 12, 300)}), platform::kS_OK);
  EXPECT_EQ(log_.Reports(), (Reports{{8, 12, 300}}));
}

TEST_F(DataSinkTest, HardwareAndCalibrationReportWithoutValues) {
  Write({Action(2, 5, 7), Action(3, 6, 8)});
  EXPECT_EQ(log_.Reports(), (Reports{{5, 0, 0}, {6, 0, 0}}));
}

TEST_F(DataSinkTest, OtherActionsReportNothing) {
  Write({Action(0, 1, 2), Action(1, 1, 2), Action(5, 1, 2), Action(6, 1, 2),
         Action(7, 1, 2)});
  EXPECT_TRUE(log_.Reports().empty());
}

TEST_F(DataSinkTest, SetCancelFlagCancelsTheWriteAndReportsNothing) {
  test_.disc->SetCallHook([this](const tessaline::testing::FakeCall& call) {
    // The host cancels while the second event is on its way.
    if (call.name == "DDiscFormat2DataEvents::Update" && call.number == 3) {
      cancel_ = 1;
    }
  });
  EXPECT_EQ(Write({Action(4, 1, 9), Action(3), Action(2), Action(4, 3, 9)}),
            platform::kE_IMAPI_REQUEST_CANCELLED);
  EXPECT_EQ(log_.Reports(), (Reports{{8, 1, 9}}));
  EXPECT_EQ(test_.disc->Count("IDiscFormat2Data::CancelWrite"), 1);
  EXPECT_EQ(test_.disc->recorder(0).medium.writes, 0);
}

TEST_F(DataSinkTest, CancelWithoutTheWriterTriesAgainAtTheNextEvent) {
  cancel_ = 1;
  FakeWriteEvent sourceless = Action(4, 1, 2);
  sourceless.no_writer = true;
  EXPECT_EQ(Write({sourceless, Action(4, 2, 2), Action(4, 3, 3)}),
            platform::kE_IMAPI_REQUEST_CANCELLED);
  EXPECT_TRUE(log_.Reports().empty());
  EXPECT_EQ(test_.disc->Count("IDiscFormat2Data::CancelWrite"), 1);
  EXPECT_EQ(test_.disc->Count("DDiscFormat2DataEvents::Update"), 2);
}

TEST_F(DataSinkTest, AnyFailingGetterSuppressesThatEventOnly) {
  const char* getters[] = {
      "GetElapsedTime",      "GetRemainingTime",   "GetTotalTime",
      "GetCurrentAction",    "GetStartLba",        "GetSectorCount",
      "GetLastReadLba",      "GetLastWrittenLba",  "GetTotalSystemBuffer",
      "GetUsedSystemBuffer", "GetFreeSystemBuffer"};
  std::vector<FakeWriteEvent> events;
  for (const char* getter : getters) {
    FakeWriteEvent broken = Action(4, 1, 2);
    broken.failing_getter = getter;
    events.push_back(broken);
  }
  FakeWriteEvent no_arguments = Action(4, 1, 2);
  no_arguments.no_arguments = true;
  events.push_back(no_arguments);
  events.push_back(Action(4, 7, 8));
  EXPECT_EQ(Write(events), platform::kS_OK);
  EXPECT_EQ(log_.Reports(), (Reports{{8, 7, 8}}));
}

TEST(EraseSinkTest, ReportsElapsedAndExpectedThroughTheEraser) {
  DiscTestPlatform test = MakeDiscTestPlatform();
  test.disc->AddRecorder();
  test.disc->erase_events = {{30, 120}, {60, 120}};
  StatusLog log;
  std::shared_ptr<platform::IDiscFormat2Erase> eraser;
  test.disc->CreateEraser(&eraser);
  eraser->PutRecorder(tessaline::OpenRecorder(*test.platform, 0));
  auto sink = std::make_shared<tessaline::CTestErase2Event>();
  sink->notify = &StatusLog::Callback;
  sink->notifyContext = &log;
  std::uint32_t cookie = 0;
  eraser->Advise(sink, &cookie);
  EXPECT_EQ(eraser->EraseMedia(), platform::kS_OK);
  eraser->Unadvise(cookie);
  EXPECT_EQ(log.Reports(), (Reports{{7, 30, 120}, {7, 60, 120}}));

  // Without a callback the sink stays silent.
  tessaline::CTestErase2Event quiet;
  EXPECT_EQ(quiet.Update(nullptr, 1, 2), platform::kS_OK);
}

}  // namespace
