// Disc services that put a fault where a test asks for one, over real ones
// (the virtual drives): a named call fails with a chosen HRESULT on a named
// drive, a hook runs before a named call (to cancel at that point), and the
// objects, advises and sinks still held are counted, so a test can check
// that a job released everything it took.
#ifndef TESSALINE_TESTS_SUPPORT_RIG_FAULT_DISC_SERVICES_H_
#define TESSALINE_TESTS_SUPPORT_RIG_FAULT_DISC_SERVICES_H_

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/disc.h"
#include "platform/platform_wrapper.h"

namespace tessaline::testing {

using platform::HRESULT;

class FaultDiscServices : public platform::DiscServicesWrapper {
 public:
  explicit FaultDiscServices(std::shared_ptr<platform::DiscServices> target);
  ~FaultDiscServices() override;

  // Calls are named "Interface::Method" ("IDiscFormat2Erase::EraseMedia",
  // "DiscServices::CreateEraser"). `drive` is the name of a drive's folder;
  // empty matches every drive. The factory's calls, which belong to no
  // drive, fail whatever drive is named.
  void Fail(const std::string& call, platform::HRESULT hr,
            const std::string& drive = "");
  // Runs `action` just before every `call` goes through.
  void Before(const std::string& call, std::function<void()> action);

  int LiveObjects() const;
  int OpenAdvises() const;
  // Sinks that were advised and are still held by someone.
  int LiveSinks() const;

  HRESULT CreateDiscMaster(
      std::shared_ptr<platform::IDiscMaster2>* out) override;
  HRESULT CreateRecorder(
      std::shared_ptr<platform::IDiscRecorder2>* out) override;
  HRESULT CreateDataWriter(
      std::shared_ptr<platform::IDiscFormat2Data>* out) override;
  HRESULT CreateEraser(
      std::shared_ptr<platform::IDiscFormat2Erase>* out) override;

  struct State;

 private:
  std::shared_ptr<State> state_;
};

}  // namespace tessaline::testing

#endif  // TESSALINE_TESTS_SUPPORT_RIG_FAULT_DISC_SERVICES_H_
