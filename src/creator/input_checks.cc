#include "creator/input_checks.h"

#include "tessaline/tessaline.h"

namespace tessaline {
namespace {

wchar_t FoldAscii(wchar_t c) {
  return (c >= L'a' && c <= L'z') ? static_cast<wchar_t>(c - L'a' + L'A') : c;
}

// Whether `inner` is `outer` or lies below it. Names on a system whose
// separator is the backslash match without case, as its file system does.
bool Within(const std::wstring& inner, const std::wstring& outer,
            wchar_t separator) {
  std::wstring base = outer;
  while (base.size() > 1 && base.back() == separator) base.pop_back();
  if (inner.size() < base.size()) return false;
  for (std::size_t i = 0; i < base.size(); ++i) {
    const bool same = separator == L'\\'
                          ? FoldAscii(inner[i]) == FoldAscii(base[i])
                          : inner[i] == base[i];
    if (!same) return false;
  }
  return inner.size() == base.size() || base.back() == separator ||
         inner[base.size()] == separator;
}

}  // namespace

void RefuseUnusableMediaName(const std::wstring& media_name) {
  bool usable = media_name.find(L"..") == std::wstring::npos;
  for (const wchar_t c : media_name) {
    if (c < 0x20 || c == 0x7F || c == L'/' || c == L'\\' || c == L':') {
      usable = false;
    }
  }
  if (!usable) {
    throw CreateMediaException(L"Media name cannot be part of a file name:" +
                               media_name);
  }
}

std::wstring WorkSourceOverlap(platform::FileSystem& files,
                               const std::wstring& work_folder,
                               const std::wstring& source_folder) {
  const std::wstring work = files.ResolvePath(work_folder);
  const std::wstring source = files.ResolvePath(source_folder);
  if (work.empty() || source.empty()) return {};
  const wchar_t separator = files.Separator();
  if (!Within(work, source, separator) && !Within(source, work, separator)) {
    return {};
  }
  return work_folder + L" - work folder and source folder overlap: " +
         source_folder;
}

}  // namespace tessaline
