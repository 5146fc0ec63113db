#include "drive/drive_letter.h"

#include <vector>

#include "burn/diagnostics.h"
#include "burn/recorder.h"

namespace tessaline {
namespace {

using platform::Failed;

bool IsLetter(wchar_t c) {
  return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z');
}

}  // namespace

std::int32_t GetDriveLetter(const platform::Platform& platform,
                            std::int32_t index, std::wstring* drive) {
  std::vector<std::wstring> paths;
  {
    auto recorder = OpenRecorder(platform, index);
    if (Failed(recorder->GetVolumePathNames(&paths))) {
      burn::Say(platform, "Unable to get mount points, failed\n");
      return 1000;
    }
  }
  if (paths.empty()) {
    burn::Say(platform, " (*** NO MOUNT POINTS ***)");
    return 1001;
  }
  const std::wstring& first = paths.front();
  if (first.empty()) return 1002;
  if (platform.files->Separator() == L'\\') {
    if (!IsLetter(first[0])) return 1002;
    *drive = std::wstring{first[0], L':'};
    return 1;
  }
  if (first[0] != L'/') return 1002;
  std::wstring root = first;
  while (root.size() > 1 && root.back() == L'/') root.pop_back();
  *drive = root;
  return 1;
}

}  // namespace tessaline
