// The system's profile-file reader: GetPrivateProfileStringW for the
// section names, GetPrivateProfileSectionW for each section, once.
#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "platform/profile_parser.h"
#include "platform/windows/win32.h"
#include "platform/windows/windows_backends.h"

namespace tessaline::platform::windows {
namespace {

constexpr DWORD kFirstBuffer = 0x1000;
constexpr DWORD kLargestBuffer = 0x8000000;

// The names of all sections, each followed by a NUL, from one
// GetPrivateProfileStringW call with a buffer that grows until they fit
// (a list that does not fit is cut two characters short of the buffer).
std::wstring ReadSectionNames(const std::wstring& path) {
  std::vector<wchar_t> buffer;
  for (DWORD size = kFirstBuffer;; size *= 2) {
    buffer.assign(size, L'\0');
    const DWORD length = ::GetPrivateProfileStringW(
        nullptr, nullptr, L"", buffer.data(), size, path.c_str());
    if (length + 2 != size || size >= kLargestBuffer) {
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

// Every "key=value" line of a section as the system's reader keeps it
// (trimmed, quotes kept, comments left out), each followed by a NUL. The
// buffer grows until the whole section fits: a section of many discs is
// read in one call, not one call per disc.
std::wstring ReadSection(const std::wstring& section,
                         const std::wstring& path) {
  std::vector<wchar_t> buffer;
  for (DWORD size = kFirstBuffer;; size *= 2) {
    buffer.assign(size, L'\0');
    const DWORD length = ::GetPrivateProfileSectionW(
        section.c_str(), buffer.data(), size, path.c_str());
    if (length + 2 != size || size >= kLargestBuffer) {
      return std::wstring(buffer.data(), length);
    }
  }
}

class WinProfiles final : public Profiles {
 public:
  // The system reads the sections; the parser only indexes what it gave,
  // which is again in profile form. A NUL in a value ends the line there,
  // as it does for the system's own reads.
  std::unique_ptr<ProfileView> Read(const std::wstring& file) override {
    if (file.empty()) return nullptr;
    // A name without a folder would be looked for in the Windows folder;
    // the caller means the current one, as the other file calls do.
    const std::wstring path = FullPathName(file);
    std::wstring text;
    std::vector<std::wstring> seen;
    for (const std::wstring& name : SplitList(ReadSectionNames(path))) {
      text += L"[" + name + L"]\n";
      bool repeated = false;
      for (const std::wstring& earlier : seen) {
        repeated = repeated || ProfileNamesEqual(earlier, name);
      }
      if (repeated) continue;
      seen.push_back(name);
      std::wstring lines = ReadSection(name, path);
      std::replace(lines.begin(), lines.end(), L'\0', L'\n');
      text += lines;
    }
    return std::make_unique<ProfileDocument>(text);
  }
};

}  // namespace

std::shared_ptr<Profiles> MakeProfiles() {
  return std::make_shared<WinProfiles>();
}

}  // namespace tessaline::platform::windows
