// Copying a disc's items from the source folder, with the missing-file
// report.
#ifndef TESSALINE_COPY_COMPARE_COPY_H_
#define TESSALINE_COPY_COMPARE_COPY_H_

#include <string>

#include "base/status.h"
#include "platform/platform.h"

namespace tessaline {

// Copies one file or folder tree; an absent source is not a failure. Links
// are followed only to places inside `source_folder` (empty: inside the
// copied tree). Throws MediaWriterException.
void CopyItem(const platform::Platform& platform, const std::wstring& source,
              const std::wstring& destination, const CancelFlag* cancel,
              const std::wstring& source_folder = std::wstring());

// Copies every listed item into `destination`, reporting code 1 with the
// elapsed and estimated seconds. Throws MediaWriterException ("Missing
// source folder or files - copy failed." after writing missing.txt) and
// FileException.
void CopyDiscItems(const platform::Platform& platform,
                   const StatusReporter& report,
                   const std::wstring& source_folder, const std::wstring& items,
                   const std::wstring& destination, const CancelFlag* cancel);

}  // namespace tessaline

#endif  // TESSALINE_COPY_COMPARE_COPY_H_
