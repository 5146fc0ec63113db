#include "copy_compare/item_list.h"

#include <algorithm>
#include <memory>

#include "platform/text.h"
#include "tessaline/tessaline.h"

namespace tessaline {
namespace {

enum class Reach { kInside, kItself, kOutside };

bool IsSeparator(wchar_t c) { return c == L'/' || c == L'\\'; }

// Where an entry leads relative to the source folder, by its text alone:
// the walk counts folder levels and fails as soon as ".." climbs above the
// start.
Reach ReachOf(const std::wstring& entry, wchar_t separator) {
  if (entry.empty()) return Reach::kItself;
  if (IsSeparator(entry.front())) return Reach::kOutside;
  // The system cuts a path at a NUL ("..\0" is ".."; "a\0" names "a" for
  // every child, so a tree copy never ends), and no other control character
  // belongs in a name the layout gives. Tabs are kept: the layout reader
  // only trims them, and vertical tabs never reach the list.
  for (const wchar_t c : entry) {
    if (c < 0x20 && c != L'\t' && c != L'\v') return Reach::kOutside;
  }
  // "C:x" is relative to the current folder of drive C:, not to ours.
  if (separator == L'\\' && entry.size() >= 2 && entry[1] == L':') {
    return Reach::kOutside;
  }
  int depth = 0;
  std::wstring::size_type start = 0;
  while (start <= entry.size()) {
    std::wstring::size_type end = start;
    while (end < entry.size() && !IsSeparator(entry[end])) ++end;
    const std::wstring part = entry.substr(start, end - start);
    if (part == L"..") {
      if (--depth < 0) return Reach::kOutside;
    } else if (!part.empty() && part != L".") {
      ++depth;
    }
    start = end + 1;
  }
  return depth == 0 ? Reach::kItself : Reach::kInside;
}

}  // namespace

ItemList ParseItemList(const platform::Platform& platform,
                       const std::wstring& source_folder,
                       const std::wstring& items) {
  const wchar_t separator = platform.files->Separator();
  std::vector<std::wstring> kept;
  std::wstring::size_type start = 0;
  for (;;) {
    const std::wstring::size_type comma = items.find(L',', start);
    std::wstring entry =
        items.substr(start, comma == std::wstring::npos ? std::wstring::npos
                                                        : comma - start);
    if (separator == L'/')
      std::replace(entry.begin(), entry.end(), L'\\', L'/');
    switch (ReachOf(entry, separator)) {
      case Reach::kInside:
        kept.push_back(std::move(entry));
        break;
      case Reach::kItself:
        // An empty entry names nothing; "." or "a/.." names the whole
        // source, which is never one disc's item.
        if (entry.empty()) break;
        throw MediaWriterException(
            platform::JoinPath(source_folder, separator, entry) +
            L" - copy failed. Item names the whole source folder");
      case Reach::kOutside:
        throw MediaWriterException(
            platform::JoinPath(source_folder, separator, entry) +
            L" - copy failed. Item lies outside the source folder");
    }
    if (comma == std::wstring::npos) break;
    start = comma + 1;
  }

  ItemList list;
  list.count = static_cast<std::uint32_t>(kept.size());
  if (!kept.empty()) {
    list.first = kept.front();
    list.rest.assign(kept.rbegin(), kept.rend() - 1);
  }
  return list;
}

void WriteMissingReport(const platform::Platform& platform,
                        const std::wstring& folder,
                        const std::vector<std::wstring>& missing_paths) {
  platform::FileSystem& files = *platform.files;
  const wchar_t separator = files.Separator();
  // "folder/.." is taken by its text, as Windows paths are, so the report
  // lands in the work folder whether or not the build folder still exists.
  std::wstring parent = folder;
  while (parent.size() > 1 && parent.back() == separator) parent.pop_back();
  const auto cut = parent.rfind(separator);
  if (cut == std::wstring::npos) {
    parent = platform::JoinPath(folder, separator, L"..");
  } else {
    parent.erase(cut == 0 ? 1 : cut);
  }
  if (!files.Exists(parent)) return;
  const std::wstring path =
      platform::JoinPath(parent, separator, L"missing.txt");

  std::string text;
  for (const std::wstring& missing : missing_paths) {
    text += platform::ToUtf8(missing);
    text += "\r\n";
  }
  std::uint32_t error = 0;
  std::unique_ptr<platform::File> file = files.OpenWrite(path, &error);
  if (!file) throw FileException(path, files.ErrorText(error));
  const bool written =
      file->Write(text.data(), static_cast<std::int64_t>(text.size()));
  if (!file->Close() || !written) {
    throw FileException(path, L"The report could not be written.");
  }
}

}  // namespace tessaline
