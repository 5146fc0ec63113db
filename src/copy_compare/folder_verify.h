// Verifying a written data disc: the right disc is in the drive (its marker
// file), and every listed item on it equals its source.
#ifndef TESSALINE_COPY_COMPARE_FOLDER_VERIFY_H_
#define TESSALINE_COPY_COMPARE_FOLDER_VERIFY_H_

#include <cstdint>
#include <string>

#include "base/status.h"
#include "copy_compare/file_handlers.h"
#include "platform/platform.h"

namespace tessaline {

// Compares one file or folder tree on the disc with its source, following
// links only inside the rules' source folder (none given: inside the item)
// and taking the rules' replaced file for its replacement. Throws
// MediaVerifyException (201, 202, 203).
void VerifyItem(const platform::Platform& platform, const std::wstring& source,
                const std::wstring& disc_path, const CancelFlag* cancel,
                SourceRules* rules = nullptr);

struct DiscIdentity {
  std::int32_t recorderIndex = 0;
  std::wstring mediaName;
  std::int32_t disc = 0;
};

// Waits for the disc by its marker, prompting up to 12 times, then verifies
// every item, reporting code 9 with elapsed and estimated seconds. Returns
// 0. Throws MediaVerifyException (101 to 104, 201 to 203), FileException and
// what GetDriveLetter throws.
std::int32_t VerifyDiscItems(const platform::Platform& platform,
                             const StatusReporter& report,
                             const DiscIdentity& identity,
                             const std::wstring& source_folder,
                             const std::wstring& items,
                             const std::wstring& report_folder,
                             const CancelFlag* cancel);

}  // namespace tessaline

#endif  // TESSALINE_COPY_COMPARE_FOLDER_VERIFY_H_
