#include "burn/event_sinks.h"

#include <gtest/gtest.h>

#include "burn/recorder.h"
#include "support/disc/disc_test_platform.h"

namespace {

using tessaline::testing::FakeWriteEvent;
using tessaline::testing::StatusLog;
using Reports = std::vector<tessaline::testing::StatusReport>;
namespace platform = tessaline::platform;

// Runs the fake's write with a data-writer sink advised, as the writers do.
class DataSinkTest : public ::testing::Test {
 protected:
  DataSinkTest() { test_.disc->AddRecorder(); }

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

  tessaline::testing::DiscTestPlatform test_ =
      tessaline::testing::MakeDiscTestPlatform();
  StatusLog log_;
  tessaline::CancelFlag cancel_{0};
};

FakeWriteEvent Action(std::int32_t action, std::int32_t elapsed = 1,
                      std::int32_t total = 2) {
  FakeWriteEvent event;
  event.action = action;
  event.elapsed = elapsed;
  event.total = total;
  return event;
}

TEST_F(DataSinkTest, OnlyHardwareCalibrationAndWritingAreReported) {
  EXPECT_EQ(Write({Action(0), Action(1), Action(2, 5, 7), Action(3, 6, 8),
                   Action(4, 12, 300), Action(5), Action(6), Action(7)}),
            platform::kS_OK);
  EXPECT_EQ(log_.Reports(), (Reports{{5, 0, 0}, {6, 0, 0}, {8, 12, 300}}));
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

TEST_F(DataSinkTest, AnyFailingGetterSuppressesThatEventOnly) {
  std::vector<FakeWriteEvent> events;
  for (const char* getter :
       {"GetElapsedTime", "GetRemainingTime", "GetTotalTime",
        "GetCurrentAction", "GetStartLba", "GetSectorCount", "GetLastReadLba",
        "GetLastWrittenLba", "GetTotalSystemBuffer", "GetUsedSystemBuffer",
        "GetFreeSystemBuffer"}) {
    events.push_back(Action(4));
    events.back().failing_getter = getter;
  }
  events.push_back(Action(4));
  events.back().no_arguments = true;
  events.push_back(Action(4, 7, 8));
  EXPECT_EQ(Write(events), platform::kS_OK);
  EXPECT_EQ(log_.Reports(), (Reports{{8, 7, 8}}));
}

}  // namespace
