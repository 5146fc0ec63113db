#include "support/core/fake_volumes.h"

namespace tessaline::testing {

void FakeVolumes::SetFreeBytes(const std::wstring& prefix, std::int64_t free) {
  std::lock_guard<std::mutex> lock(mutex_);
  free_[prefix] = free;
}

void FakeVolumes::AddRoot(const std::wstring& root, platform::DriveType type,
                          std::int64_t free) {
  std::lock_guard<std::mutex> lock(mutex_);
  roots_.push_back(root);
  types_[root] = type;
  free_[root] = free;
}

void FakeVolumes::SetModuleFolder(const std::wstring& folder) {
  std::lock_guard<std::mutex> lock(mutex_);
  module_folder_ = folder;
}

bool FakeVolumes::FreeBytes(const std::wstring& path, std::int64_t* free) {
  std::lock_guard<std::mutex> lock(mutex_);
  const std::wstring* best = nullptr;
  for (const auto& [prefix, bytes] : free_) {
    if (path.compare(0, prefix.size(), prefix) == 0 &&
        (best == nullptr || prefix.size() > best->size())) {
      best = &prefix;
    }
  }
  if (best == nullptr) return false;
  *free = free_.at(*best);
  return true;
}

platform::DriveType FakeVolumes::TypeOfRoot(const std::wstring& root) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = types_.find(root);
  return it == types_.end() ? platform::DriveType::kNoRootDir : it->second;
}

std::vector<std::wstring> FakeVolumes::CandidateWorkRoots() {
  std::lock_guard<std::mutex> lock(mutex_);
  return roots_;
}

std::wstring FakeVolumes::ModuleFolder() {
  std::lock_guard<std::mutex> lock(mutex_);
  return module_folder_;
}

}  // namespace tessaline::testing
