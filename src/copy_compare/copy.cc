#include "copy_compare/copy.h"

#include <set>
#include <vector>

#include "copy_compare/file_handlers.h"
#include "copy_compare/item_list.h"
#include "platform/text.h"
#include "tessaline/tessaline.h"

namespace tessaline {

namespace {

[[noreturn]] void ThrowRefused(LinkRefusal why, const std::wstring& link) {
  throw MediaWriterException(LinkRefusalText(why, link, L"copy"));
}

// Whether the item is there to be copied; a refused one ends the copy.
bool PresentInSource(platform::FileSystem& files,
                     const std::wstring& source_folder,
                     const std::wstring& path) {
  return tessaline::PresentInSource(
      files, source_folder, path,
      [&](LinkRefusal why) { ThrowRefused(why, path); });
}

}  // namespace

void CopyItem(const platform::Platform& platform, const std::wstring& source,
              const std::wstring& destination, const CancelFlag* cancel,
              const std::wstring& source_folder) {
  platform::FileSystem& files = *platform.files;
  const std::wstring& bounds = source_folder.empty() ? source : source_folder;
  if (!PresentInSource(files, bounds, source)) return;
  if (files.IsDirectory(source)) {
    SourceRules rules;
    rules.source_folder = bounds;
    if (RecursiveFolderCopy(platform, source, destination, cancel, &rules) !=
        0) {
      if (rules.refusal != LinkRefusal::kNone) {
        ThrowRefused(rules.refusal, rules.refused_link);
      }
      throw MediaWriterException(destination +
                                     L" - copy failed. During recursive folder "
                                     L"copy",
                                 rules.failure);
    }
    return;
  }
  const std::wstring::size_type last = destination.rfind(files.Separator());
  if (last != std::wstring::npos) {
    const std::wstring parent = destination.substr(0, last);
    if (!DirExist(platform, parent) &&
        !RecursiveFolderCreate(platform, parent)) {
      throw MediaWriterException(
          destination + L" - copy failed. While creating intermediate folders",
          parent + L": the folder could not be created");
    }
  }
  if (files.Exists(destination)) files.MakeWritable(destination);
  const std::uint32_t error =
      files.CopyFileCancellable(source, destination, cancel);
  if (error != 0) {
    throw MediaWriterException(
        destination + L" - copy failed.  Details:" + files.ErrorText(error),
        source + L": " + files.ErrorText(error));
  }
}

void CopyDiscItems(const platform::Platform& platform,
                   const StatusReporter& report,
                   const std::wstring& source_folder, const std::wstring& items,
                   const std::wstring& destination, const CancelFlag* cancel) {
  // Every entry is checked before the first byte is copied.
  const ItemList list = ParseItemList(platform, source_folder, items);
  platform::FileSystem& files = *platform.files;
  const wchar_t separator = files.Separator();

  const std::uint32_t count = list.count;
  const std::uint32_t start = platform.clock->TickCount();
  std::uint32_t done = 1;
  // Only what the destination held before this copy began is left as it is
  // (a staging folder filled earlier); a folder that an earlier entry of
  // this copy made is merged into, so that nested entries lose nothing.
  std::vector<bool> existed;
  existed.reserve(list.rest.size());
  for (const std::wstring& entry : list.rest) {
    existed.push_back(
        files.Exists(platform::JoinPath(destination, separator, entry)));
  }
  std::set<std::wstring> copied;
  std::vector<std::wstring> missing;
  for (std::size_t i = 0; i < list.rest.size(); ++i) {
    const std::wstring& entry = list.rest[i];
    const std::wstring from =
        platform::JoinPath(source_folder, separator, entry);
    const std::wstring to = platform::JoinPath(destination, separator, entry);
    if (!PresentInSource(files, source_folder, from)) {
      missing.push_back(from);
    } else if (!existed[i] && copied.insert(entry).second &&
               !IsCancelled(cancel)) {
      CopyItem(platform, from, to, cancel, source_folder);
    }
    // Unsigned 32-bit throughout, so the estimate stays right across the
    // wrap of the tick count.
    const std::uint32_t elapsed = platform.clock->TickCount() - start;
    report(kStatusAssembling, elapsed / 1000, elapsed / done * count / 1000);
    ++done;
  }
  if (list.first) {
    const std::wstring from =
        platform::JoinPath(source_folder, separator, *list.first);
    if (!PresentInSource(files, source_folder, from)) {
      missing.push_back(from);
    } else if (!IsCancelled(cancel)) {
      CopyItem(platform, from,
               platform::JoinPath(destination, separator, *list.first), cancel,
               source_folder);
    }
  }
  if (missing.empty()) return;
  WriteMissingReport(platform, destination, missing);
  throw MediaWriterException(L"Missing source folder or files - copy failed.");
}

}  // namespace tessaline
