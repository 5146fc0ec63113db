// drive0 holds a blank DVD+R and settles as a recorder does; the mastering
// tool leaves `image_` (if any) as its image, running `on_start_` first.
#ifndef TESSALINE_TESTS_WRITER_JOB_FIXTURE_H_
#define TESSALINE_TESTS_WRITER_JOB_FIXTURE_H_

#include <functional>
#include <memory>
#include <string>

#include "support/drive/fake_processes.h"
#include "support/rig/drive_rig.h"
#include "writer/media_writer.h"

namespace tessaline::testing {

class JobTest : public DriveRig {
 protected:
  JobTest();

  void RunJob(std::int32_t disc, std::int32_t verify, const std::wstring& items,
              StatusLog* log = nullptr);
  JobSettings Settings(std::int32_t disc, std::int32_t verify,
                       const std::wstring& items, StatusLog* log = nullptr);

  std::filesystem::path WorkPath(const std::string& name = "") const {
    return name.empty() ? work_ : work_ / name;
  }
  std::filesystem::path SourcePath(const std::string& name) const {
    return source_ / name;
  }
  std::filesystem::path DiscPath(const std::string& name) const {
    return MountPath(name);
  }
  std::wstring Work(const std::string& name = "") const {
    return Wide(WorkPath(name));
  }
  std::wstring Source(const std::string& name = "") const {
    return Wide(name.empty() ? source_ : source_ / name);
  }

  std::shared_ptr<FakeProcesses> processes_;
  FakeProcessScript tool_;
  std::string image_;
  std::function<void()> on_start_;
  std::shared_ptr<CancelFlag> cancel_ = std::make_shared<CancelFlag>(0);
  std::wstring media_ = L"RECOVERY";
};

}  // namespace tessaline::testing

#endif  // TESSALINE_TESTS_WRITER_JOB_FIXTURE_H_
