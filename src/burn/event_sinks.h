// The sinks of the data writer's and the eraser's progress events.
#ifndef TESSALINE_BURN_EVENT_SINKS_H_
#define TESSALINE_BURN_EVENT_SINKS_H_

#include "base/status.h"
#include "platform/disc.h"

namespace tessaline {

class CTestDataWriter2Event : public platform::DDiscFormat2DataEvents {
 public:
  platform::HRESULT Update(
      platform::IDiscFormat2Data* object,
      platform::IDiscFormat2DataEventArgs* progress) override;

  StatusCallback notify = nullptr;
  void* notifyContext = nullptr;
  const CancelFlag* cancelFlag = nullptr;
};

class CTestErase2Event : public platform::DDiscFormat2EraseEvents {
 public:
  platform::HRESULT Update(platform::IDiscFormat2Erase* object,
                           std::int32_t elapsed_seconds,
                           std::int32_t expected_seconds) override;

  StatusCallback notify = nullptr;
  void* notifyContext = nullptr;
};

}  // namespace tessaline

#endif  // TESSALINE_BURN_EVENT_SINKS_H_
