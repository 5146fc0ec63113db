#include "burn/event_sinks.h"

namespace tessaline {

using platform::Failed;
using platform::HRESULT;
using platform::kS_OK;

HRESULT CTestDataWriter2Event::Update(
    platform::IDiscFormat2Data* object,
    platform::IDiscFormat2DataEventArgs* progress) {
  // The flag is read anew at every event: a cancel takes effect at the next
  // one, and every later event of the same write cancels again.
  if (IsCancelled(cancelFlag)) {
    if (object != nullptr) object->CancelWrite();
    return kS_OK;
  }
  if (progress == nullptr) return kS_OK;

  std::int32_t elapsed = 0, remaining = 0, total = 0, action = 0;
  std::int32_t start_lba = 0, sectors = 0, last_read = 0, last_written = 0;
  std::int32_t buffer_total = 0, buffer_used = 0, buffer_free = 0;
  if (Failed(progress->GetElapsedTime(&elapsed)) ||
      Failed(progress->GetRemainingTime(&remaining)) ||
      Failed(progress->GetTotalTime(&total)) ||
      Failed(progress->GetCurrentAction(&action)) ||
      Failed(progress->GetStartLba(&start_lba)) ||
      Failed(progress->GetSectorCount(&sectors)) ||
      Failed(progress->GetLastReadLba(&last_read)) ||
      Failed(progress->GetLastWrittenLba(&last_written)) ||
      Failed(progress->GetTotalSystemBuffer(&buffer_total)) ||
      Failed(progress->GetUsedSystemBuffer(&buffer_used)) ||
      Failed(progress->GetFreeSystemBuffer(&buffer_free))) {
    return kS_OK;
  }
  if (notify == nullptr) return kS_OK;

  switch (action) {
    case platform::kWriteActionInitializingHardware:
      notify(kStatusInitializingHardware, 0, 0, notifyContext);
      break;
    case platform::kWriteActionCalibratingPower:
      notify(kStatusCalibratingPower, 0, 0, notifyContext);
      break;
    case platform::kWriteActionWritingData:
      notify(kStatusWriting, elapsed, total, notifyContext);
      break;
    default:
      break;
  }
  return kS_OK;
}

HRESULT CTestErase2Event::Update(platform::IDiscFormat2Erase* /*object*/,
                                 std::int32_t elapsed_seconds,
                                 std::int32_t expected_seconds) {
  if (notify != nullptr) {
    notify(kStatusErasing, elapsed_seconds, expected_seconds, notifyContext);
  }
  return kS_OK;
}

}  // namespace tessaline
