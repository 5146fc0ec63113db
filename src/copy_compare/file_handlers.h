// Whole-tree file work: delete, create, copy and compare folder trees, and
// compare two files. Runs on the platform's file system; polls the cancel
// flag between files and between blocks of large files. A handler stopped
// by the cancel flag returns success: its callers see the flag themselves.
#ifndef TESSALINE_COPY_COMPARE_FILE_HANDLERS_H_
#define TESSALINE_COPY_COMPARE_FILE_HANDLERS_H_

#include <cstdint>
#include <functional>
#include <string>

#include "base/status.h"
#include "platform/platform.h"

namespace tessaline {

enum class LinkRefusal { kNone, kOutside, kLoop };

// What a copy or a comparison of a source tree needs beyond its two roots,
// and the link it refused. A link is followed only to a place inside the
// source folder, and never into a folder the walk is already in: content
// from elsewhere must not reach a disc, and a loop would never end.
struct SourceRules {
  // Empty: the walked tree itself bounds its links.
  std::wstring source_folder;
  // The comparison takes the destination file `replaced` (as ResolveLinks
  // spells it) for a copy of `replacement`: the build put that file there
  // under the other's name. Empty: no file was replaced.
  std::wstring replaced;
  std::wstring replacement;
  // Set by the walk that refused a link: why, and the link's path.
  LinkRefusal refusal = LinkRefusal::kNone;
  std::wstring refused_link;
  // Set by a walk that failed otherwise: "path: reason", for the host.
  std::wstring failure;
};

// "<link> - <action> failed. Item lies outside the source folder", or
// "... Item is a link loop".
std::wstring LinkRefusalText(LinkRefusal why, const std::wstring& link,
                             const std::wstring& action);

// Whether the item `path` below the source folder is there to be copied or
// compared. One that leads out of the source folder through a link, or
// round in a loop, is handed to `refuse`, which throws.
bool PresentInSource(platform::FileSystem& files,
                     const std::wstring& source_folder,
                     const std::wstring& path,
                     const std::function<void(LinkRefusal)>& refuse);

// The file a comparison reads for `destination`: `source`, or the
// replacement when `destination` is the replaced file.
std::wstring MeantSource(platform::FileSystem& files, const SourceRules& rules,
                         const std::wstring& source,
                         const std::wstring& destination);

// Removes the folder with all its content. `options` is always "".
void DeleteTree(const platform::Platform& platform, const std::wstring& folder,
                const std::wstring& options);
// 0 when the tree was copied (or the copy was cancelled), else non-zero.
std::int32_t RecursiveFolderCopy(const platform::Platform& platform,
                                 const std::wstring& source,
                                 const std::wstring& destination,
                                 const CancelFlag* cancel,
                                 SourceRules* rules = nullptr);
// True when the folder, with every missing parent, exists afterwards.
bool RecursiveFolderCreate(const platform::Platform& platform,
                           const std::wstring& folder);
bool DirExist(const platform::Platform& platform, const std::wstring& folder);
// 0 when the destination tree matches the source tree (or the comparison
// was cancelled), else non-zero.
std::int32_t RecursiveFolderVerify(const platform::Platform& platform,
                                   const std::wstring& source,
                                   const std::wstring& destination,
                                   const CancelFlag* cancel,
                                   SourceRules* rules = nullptr);
// 0 when the files are equal (or the comparison was cancelled). `options`
// is always 0.
std::int32_t CompareFile(const platform::Platform& platform,
                         const std::wstring& source,
                         const std::wstring& destination, std::int32_t options,
                         const CancelFlag* cancel);
// Why CompareFile returned `result` (non-zero), in words for the host.
std::wstring CompareFailureText(std::int32_t result);

}  // namespace tessaline

#endif  // TESSALINE_COPY_COMPARE_FILE_HANDLERS_H_
