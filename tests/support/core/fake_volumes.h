// Volumes with scripted roots, drive types and free space.
#ifndef TESSALINE_TESTS_SUPPORT_CORE_FAKE_VOLUMES_H_
#define TESSALINE_TESTS_SUPPORT_CORE_FAKE_VOLUMES_H_

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace tessaline::testing {

class FakeVolumes : public platform::Volumes {
 public:
  // Free space below `prefix` (the longest wins); other paths have none.
  void SetFreeBytes(const std::wstring& prefix, std::int64_t free);
  // A candidate work root, in order.
  void AddRoot(const std::wstring& root, platform::DriveType type,
               std::int64_t free);
  void SetModuleFolder(const std::wstring& folder);

  bool FreeBytes(const std::wstring& path, std::int64_t* free) override;
  platform::DriveType TypeOfRoot(const std::wstring& root) override;
  std::vector<std::wstring> CandidateWorkRoots() override;
  std::wstring ModuleFolder() override;

 private:
  mutable std::mutex mutex_;
  std::map<std::wstring, std::int64_t> free_;
  std::vector<std::wstring> roots_;
  std::map<std::wstring, platform::DriveType> types_;
  std::wstring module_folder_;
};

}  // namespace tessaline::testing

#endif  // TESSALINE_TESTS_SUPPORT_CORE_FAKE_VOLUMES_H_
