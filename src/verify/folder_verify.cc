#include "verify/folder_verify.h"

#include <string>
#include <vector>

#include "burn/recorder.h"
#include "platform/text.h"
#include "verify/file_handlers.h"
#include "verify/item_list.h"

namespace tessaline {
namespace {

constexpr std::int32_t kDriveNotFound = 101;
constexpr std::int32_t kDiscNotFound = 102;
constexpr std::int32_t kItemMissingOnDisc = 103;
constexpr std::int32_t kItemsMissingInSource = 104;
constexpr std::int32_t kFolderDiffers = 201;
constexpr std::int32_t kParentMissing = 202;
constexpr std::int32_t kFileDiffers = 203;
constexpr int kDiscTests = 12;

const wchar_t kMissingText[] =
    L"Missing source folder or files - verify failed.";

[[noreturn]] void Fail(std::int32_t code, std::wstring text = kMissingText) {
  throw MediaVerifyException(std::move(text), 0, code);
}

std::wstring ParentOf(const std::wstring& path, wchar_t separator) {
  auto cut = path.rfind(separator);
  return cut == std::wstring::npos ? std::wstring() : path.substr(0, cut);
}

// Entries present in the source must be on the disc, and equal; absent ones
// are listed for the report.
void VerifyEntry(const platform::Platform& platform, const std::wstring& source,
                 const std::wstring& disc_path, const CancelFlag* cancel,
                 std::vector<std::wstring>& missing) {
  auto& files = *platform.files;
  if (!files.Exists(source)) {
    missing.push_back(source);
    return;
  }
  if (!files.Exists(disc_path)) Fail(kItemMissingOnDisc);
  if (!IsCancelled(cancel)) VerifyItem(platform, source, disc_path, cancel);
}

}  // namespace

void VerifyItem(const platform::Platform& platform, const std::wstring& source,
                const std::wstring& disc_path, const CancelFlag* cancel) {
  auto& files = *platform.files;
  if (!files.Exists(source)) return;
  if (files.IsDirectory(source)) {
    if (RecursiveFolderVerify(platform, source, disc_path, cancel) != 0) {
      Fail(kFolderDiffers,
           disc_path + L" - verify failed. During recursive folder verify");
    }
    return;
  }
  std::wstring parent = ParentOf(disc_path, files.Separator());
  if (!parent.empty() && !DirExist(platform, parent)) {
    Fail(kParentMissing,
         disc_path + L" - verify failed. Details: Directory doesn't exist.");
  }
  if (CompareFile(platform, source, disc_path, 0, cancel) != 0) {
    Fail(kFileDiffers, disc_path + L" - verify failed.  Details: File compare");
  }
}

std::int32_t VerifyDiscItems(const platform::Platform& platform,
                             const StatusReporter& report,
                             const DiscIdentity& identity,
                             const std::wstring& source_folder,
                             const std::wstring& items,
                             const std::wstring& report_folder,
                             const CancelFlag* cancel) {
  auto& files = *platform.files;
  auto& clock = *platform.clock;
  const wchar_t separator = files.Separator();
  ItemList list = ParseItemList(platform, source_folder, items);
  const std::uint32_t start = clock.TickCount();
  clock.Sleep(5);

  std::wstring drive;
  if (GetDriveLetter(platform, identity.recorderIndex, &drive) != 1) {
    Fail(kDriveNotFound);
  }
  const std::wstring marker = platform::JoinPath(
      drive, separator, identity.mediaName + std::to_wstring(identity.disc));
  for (int test = 1; !files.Exists(marker); ++test) {
    clock.Sleep(5);
    platform.prompt->Show(L"Please insert the disc again - detection failed.",
                          L"Zelt");
    if (test == kDiscTests) Fail(kDiscNotFound);
  }

  std::vector<std::wstring> missing;
  std::uint32_t done = 1;
  for (const auto& entry : list.rest) {
    VerifyEntry(platform, platform::JoinPath(source_folder, separator, entry),
                platform::JoinPath(drive, separator, entry), cancel, missing);
    const std::uint32_t elapsed = clock.TickCount() - start;
    report(kStatusVerifying, elapsed / 1000,
           (elapsed / done) * list.count / 1000);
    ++done;
  }
  if (list.first) {
    VerifyEntry(
        platform, platform::JoinPath(source_folder, separator, *list.first),
        platform::JoinPath(drive, separator, *list.first), cancel, missing);
  }
  if (!missing.empty()) {
    WriteMissingReport(platform, report_folder, missing);
    Fail(kItemsMissingInSource);
  }
  return 0;
}

}  // namespace tessaline
