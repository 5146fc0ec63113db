// Whole-tree file work: delete, create, copy and compare folder trees, and
// compare two files. Runs on the platform's file system; polls the cancel
// flag between files and between blocks of large files. A handler stopped
// by the cancel flag returns success: its callers see the flag themselves.
#ifndef TESSALINE_VERIFY_FILE_HANDLERS_H_
#define TESSALINE_VERIFY_FILE_HANDLERS_H_

#include <cstdint>
#include <string>

#include "platform/platform.h"
#include "writer/status.h"

namespace tessaline {

// Removes the folder with all its content. `options` is always "".
void DeleteTree(const platform::Platform& platform, const std::wstring& folder,
                const std::wstring& options);
// 0 when the tree was copied (or the copy was cancelled), else non-zero.
std::int32_t RecursiveFolderCopy(const platform::Platform& platform,
                                 const std::wstring& source,
                                 const std::wstring& destination,
                                 const CancelFlag* cancel);
// True when the folder, with every missing parent, exists afterwards.
bool RecursiveFolderCreate(const platform::Platform& platform,
                           const std::wstring& folder);
bool DirExist(const platform::Platform& platform, const std::wstring& folder);
// 0 when the destination tree matches the source tree (or the comparison
// was cancelled), else non-zero.
std::int32_t RecursiveFolderVerify(const platform::Platform& platform,
                                   const std::wstring& source,
                                   const std::wstring& destination,
                                   const CancelFlag* cancel);
// 0 when the files are equal (or the comparison was cancelled). `options`
// is always 0.
std::int32_t CompareFile(const platform::Platform& platform,
                         const std::wstring& source,
                         const std::wstring& destination, std::int32_t options,
                         const CancelFlag* cancel);

}  // namespace tessaline

#endif  // TESSALINE_VERIFY_FILE_HANDLERS_H_
