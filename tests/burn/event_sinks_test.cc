#include "burn/event_sinks.h"

#include <gtest/gtest.h>

#include "support/core/status_log.h"

namespace tessaline::testing {
namespace {

using namespace platform;

// Event arguments whose getter number `failing` (0 to 10) fails.
class Arguments final : public IDiscFormat2DataEventArgs {
 public:
  Arguments(std::int32_t action, int failing)
      : action_(action), failing_(failing) {}
  HRESULT GetElapsedTime(std::int32_t* v) override { return Get(0, 12, v); }
  HRESULT GetRemainingTime(std::int32_t* v) override { return Get(1, 1, v); }
  HRESULT GetTotalTime(std::int32_t* v) override { return Get(2, 300, v); }
  HRESULT GetCurrentAction(std::int32_t* v) override {
    return Get(3, action_, v);
  }
  HRESULT GetStartLba(std::int32_t* v) override { return Get(4, 0, v); }
  HRESULT GetSectorCount(std::int32_t* v) override { return Get(5, 9, v); }
  HRESULT GetLastReadLba(std::int32_t* v) override { return Get(6, 1, v); }
  HRESULT GetLastWrittenLba(std::int32_t* v) override { return Get(7, 1, v); }
  HRESULT GetTotalSystemBuffer(std::int32_t* v) override {
    return Get(8, 4, v);
  }
  HRESULT GetUsedSystemBuffer(std::int32_t* v) override { return Get(9, 0, v); }
  HRESULT GetFreeSystemBuffer(std::int32_t* v) override {
    return Get(10, 4, v);
  }

 private:
  HRESULT Get(int number, std::int32_t value, std::int32_t* out) const {
    if (number == failing_) return kE_FAIL;
    *out = value;
    return kS_OK;
  }
  std::int32_t action_;
  int failing_;
};

TEST(DataSinkTest, HardwareCalibrationAndWritingAreReportedWhenAllCanBeRead) {
  CTestDataWriter2Event sink;
  StatusLog log;
  sink.notify = &StatusLog::Callback;
  sink.notifyContext = &log;
  for (std::int32_t action = 0; action <= 7; ++action) {
    for (int failing = -1; failing <= 10; ++failing) {
      Arguments arguments(action, failing);
      EXPECT_EQ(sink.Update(nullptr, &arguments), kS_OK);
    }
  }
  EXPECT_EQ(sink.Update(nullptr, nullptr), kS_OK);
  EXPECT_EQ(log.Reports(),
            (std::vector<StatusReport>{{5, 0, 0}, {6, 0, 0}, {8, 12, 300}}));
}

}  // namespace
}  // namespace tessaline::testing
