// The system's profile-file reader, GetPrivateProfileStringW. It reads the
// file anew on every call, so a file changed between calls is seen as it is
// now.
#include <string>
#include <vector>

#include "platform/windows/win32.h"
#include "platform/windows/windows_backends.h"

namespace tessaline::platform::windows {
namespace {

// The layout reader's own buffer size: answers longer than this are cut, as
// they always were.
constexpr DWORD kLargestBuffer = 0x100000;
constexpr DWORD kFirstBuffer = 0x1000;

// One GetPrivateProfileStringW call with a buffer that grows until the
// answer fits. A list answer (no key) is cut two characters short of the
// buffer, a value one character short.
std::wstring Read(const wchar_t* section, const wchar_t* key,
                  const std::wstring& file) {
  if (file.empty()) return {};
  // A name without a folder would be looked for in the Windows folder; the
  // caller means the current one, as the other file calls do.
  const std::wstring path = FullPathName(file);
  const DWORD cut_margin = key == nullptr ? 2 : 1;
  std::vector<wchar_t> buffer;
  for (DWORD size = kFirstBuffer;; size *= 2) {
    buffer.assign(size, L'\0');
    const DWORD length = ::GetPrivateProfileStringW(
        section, key, L"", buffer.data(), size, path.c_str());
    if (length + cut_margin != size || size >= kLargestBuffer) {
      return std::wstring(buffer.data(), length);
    }
  }
}

// "a\0b\0" into {"a", "b"}.
std::vector<std::wstring> SplitList(const std::wstring& list) {
  std::vector<std::wstring> names;
  std::size_t start = 0;
  while (start < list.size()) {
    std::size_t end = list.find(L'\0', start);
    if (end == std::wstring::npos) end = list.size();
    names.push_back(list.substr(start, end - start));
    start = end + 1;
  }
  return names;
}

class WinProfiles final : public Profiles {
 public:
  std::vector<std::wstring> SectionNames(const std::wstring& file) override {
    return SplitList(Read(nullptr, nullptr, file));
  }

  std::vector<std::wstring> KeyNames(const std::wstring& file,
                                     const std::wstring& section) override {
    return SplitList(Read(section.c_str(), nullptr, file));
  }

  std::wstring Value(const std::wstring& file, const std::wstring& section,
                     const std::wstring& key) override {
    return Read(section.c_str(), key.c_str(), file);
  }
};

}  // namespace

std::shared_ptr<Profiles> MakeProfiles() {
  return std::make_shared<WinProfiles>();
}

}  // namespace tessaline::platform::windows
