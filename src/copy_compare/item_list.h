// A disc's item list: comma-separated entries below the source folder.
// Shared by the copy and the folder verification so both treat entries
// alike.
#ifndef TESSALINE_COPY_COMPARE_ITEM_LIST_H_
#define TESSALINE_COPY_COMPARE_ITEM_LIST_H_

#include <optional>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace tessaline {

struct ItemList {
  // The entries from the last to the second, in processing order. Each is
  // tested for presence in the source (absent: listed as missing) and on
  // the destination, and each is followed by a progress report.
  std::vector<std::wstring> rest;
  // The first entry, processed last and without a progress report: absent
  // from the source, it is listed as missing; present, it is handled
  // whatever the destination holds (copied over it, compared with it).
  std::optional<std::wstring> first;
  // Number of entries kept (rest plus first), for the progress estimate.
  std::uint32_t count = 0;
};

// Splits `items`. Empty entries (two adjacent commas, an empty list) are
// skipped. Where the separator is '/', a backslash in an entry separates
// folders as well and is turned into '/'. Every entry is checked before the
// list is returned: an absolute entry, one that climbs out with "..", or
// one holding a NUL or another control character but the tab throws
// MediaWriterException (source path + " - copy failed. Item lies outside
// the source folder"); one that names the source folder itself ("." or
// "a/..") throws it with " - copy failed. Item names the whole source
// folder".
ItemList ParseItemList(const platform::Platform& platform,
                       const std::wstring& source_folder,
                       const std::wstring& items);

// Writes missing.txt (one CR LF line per path) into `folder`/.. when that
// folder exists. Throws FileException when the file cannot be created.
void WriteMissingReport(const platform::Platform& platform,
                        const std::wstring& folder,
                        const std::vector<std::wstring>& missing_paths);

}  // namespace tessaline

#endif  // TESSALINE_COPY_COMPARE_ITEM_LIST_H_
