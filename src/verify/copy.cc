#include "verify/copy.h"

#include <vector>

#include "platform/text.h"
#include "tessaline/tessaline.h"
#include "verify/file_handlers.h"
#include "verify/item_list.h"

namespace tessaline {

void CopyItem(const platform::Platform& platform, const std::wstring& source,
              const std::wstring& destination, const CancelFlag* cancel) {
  platform::FileSystem& files = *platform.files;
  if (!files.Exists(source)) return;
  if (files.IsDirectory(source)) {
    if (RecursiveFolderCopy(platform, source, destination, cancel) != 0) {
      throw MediaWriterException(destination +
                                 L" - copy failed. During recursive folder "
                                 L"copy");
    }
    return;
  }
  const std::wstring::size_type last = destination.rfind(files.Separator());
  if (last != std::wstring::npos) {
    const std::wstring parent = destination.substr(0, last);
    if (!DirExist(platform, parent) &&
        !RecursiveFolderCreate(platform, parent)) {
      throw MediaWriterException(
          destination + L" - copy failed. While creating intermediate folders");
    }
  }
  if (files.Exists(destination)) files.MakeWritable(destination);
  const std::uint32_t error =
      files.CopyFileCancellable(source, destination, cancel);
  if (error != 0) {
    throw MediaWriterException(destination + L" - copy failed.  Details:" +
                               files.ErrorText(error));
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
  std::vector<std::wstring> missing;
  for (const std::wstring& entry : list.rest) {
    const std::wstring from =
        platform::JoinPath(source_folder, separator, entry);
    const std::wstring to = platform::JoinPath(destination, separator, entry);
    if (!files.Exists(from)) {
      missing.push_back(from);
    } else if (!files.Exists(to) && !IsCancelled(cancel)) {
      CopyItem(platform, from, to, cancel);
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
    if (!files.Exists(from)) {
      missing.push_back(from);
    } else if (!IsCancelled(cancel)) {
      CopyItem(platform, from,
               platform::JoinPath(destination, separator, *list.first), cancel);
    }
  }
  if (missing.empty()) return;
  WriteMissingReport(platform, destination, missing);
  throw MediaWriterException(L"Missing source folder or files - copy failed.");
}

}  // namespace tessaline
