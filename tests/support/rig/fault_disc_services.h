// Disc services over real ones (the virtual drives) that fail a named call
// on a named drive, run a hook before a named call, and count the objects,
// advises and sinks still held.
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

  // Calls are named "IDiscFormat2Erase::EraseMedia",
  // "DiscServices::CreateEraser"; `drive` is a drive folder's name, empty for
  // every drive. The factory's calls fail whatever drive is named.
  void Fail(const std::string& call, platform::HRESULT hr,
            const std::string& drive = "");
  void Before(const std::string& call, std::function<void()> action);

  int LiveObjects() const;
  int OpenAdvises() const;
  int LiveSinks() const;  // advised and still held by someone

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
