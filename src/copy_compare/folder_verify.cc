#include "copy_compare/folder_verify.h"

#include <string>
#include <vector>

#include "copy_compare/file_handlers.h"
#include "copy_compare/item_list.h"
#include "drive/drive_letter.h"
#include "platform/text.h"

namespace tessaline {
namespace {

constexpr int kDiscTests = 12;

const wchar_t kMissingText[] =
    L"Missing source folder or files - verify failed.";

[[noreturn]] void Fail(std::int32_t code, std::wstring text = kMissingText,
                       std::wstring detail = {}) {
  throw MediaVerifyException(std::move(text), 0, code, std::move(detail));
}

std::wstring ParentOf(const std::wstring& path, wchar_t separator) {
  auto cut = path.rfind(separator);
  return cut == std::wstring::npos ? std::wstring() : path.substr(0, cut);
}

[[noreturn]] void FailRefused(LinkRefusal why, const std::wstring& link,
                              std::int32_t code) {
  Fail(code, LinkRefusalText(why, link, L"verify"));
}

// Whether the item is there to be compared; a link out of the source
// folder, or round in a loop, is not followed here either and fails the
// comparison of the item.
bool PresentInSource(platform::FileSystem& files,
                     const std::wstring& source_folder,
                     const std::wstring& path) {
  return tessaline::PresentInSource(
      files, source_folder, path, [&](LinkRefusal why) {
        FailRefused(why, path,
                    files.IsDirectory(path) ? kVerifyFolderTreeDiffers
                                            : kVerifyFileDiffers);
      });
}

// Entries present in the source must be on the disc, and equal; absent ones
// are listed for the report.
void VerifyEntry(const platform::Platform& platform, const std::wstring& source,
                 const std::wstring& disc_path, const CancelFlag* cancel,
                 SourceRules& rules, std::vector<std::wstring>& missing) {
  auto& files = *platform.files;
  if (!PresentInSource(files, rules.source_folder, source)) {
    missing.push_back(source);
    return;
  }
  if (!files.Exists(disc_path)) Fail(kVerifyItemMissingOnDisc);
  if (!IsCancelled(cancel)) {
    VerifyItem(platform, source, disc_path, cancel, &rules);
  }
}

}  // namespace

void VerifyItem(const platform::Platform& platform, const std::wstring& source,
                const std::wstring& disc_path, const CancelFlag* cancel,
                SourceRules* rules) {
  auto& files = *platform.files;
  SourceRules own;
  SourceRules& used = rules != nullptr ? *rules : own;
  const std::wstring& bounds =
      used.source_folder.empty() ? source : used.source_folder;
  if (!PresentInSource(files, bounds, source)) return;
  if (files.IsDirectory(source)) {
    SourceRules tree = used;
    tree.source_folder = bounds;
    if (RecursiveFolderVerify(platform, source, disc_path, cancel, &tree) !=
        0) {
      if (tree.refusal != LinkRefusal::kNone) {
        FailRefused(tree.refusal, tree.refused_link, kVerifyFolderTreeDiffers);
      }
      Fail(kVerifyFolderTreeDiffers,
           disc_path + L" - verify failed. During recursive folder verify",
           tree.failure);
    }
    return;
  }
  std::wstring parent = ParentOf(disc_path, files.Separator());
  if (!parent.empty() && !DirExist(platform, parent)) {
    Fail(kVerifyFileFolderMissing,
         disc_path + L" - verify failed. Details: Directory doesn't exist.");
  }
  const std::int32_t compared =
      CompareFile(platform, MeantSource(files, used, source, disc_path),
                  disc_path, 0, cancel);
  if (compared != 0) {
    Fail(kVerifyFileDiffers,
         disc_path + L" - verify failed.  Details: File compare",
         disc_path + L": " + CompareFailureText(compared));
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
    Fail(kVerifyFolderDriveNotFound);
  }
  const std::wstring marker = platform::JoinPath(
      drive, separator, identity.mediaName + std::to_wstring(identity.disc));
  for (int test = 1; !files.Exists(marker); ++test) {
    clock.Sleep(5);
    platform.prompt->Show(L"Please insert the disc again - detection failed.",
                          L"Zelt");
    if (test == kDiscTests) Fail(kVerifyDiscMarkerNotFound);
  }

  // The build put the disc variant of the plug-in list in the place of the
  // list itself wherever the source has that variant, so the disc's list is
  // meant to equal the variant.
  SourceRules rules;
  rules.source_folder = source_folder;
  const std::wstring variant =
      platform::JoinPath(platform::JoinPath(source_folder, separator, L"kiro"),
                         separator, L"pluginsDVD.xml");
  if (files.Exists(variant)) {
    rules.replaced = files.ResolveLinks(
        platform::JoinPath(platform::JoinPath(drive, separator, L"kiro"),
                           separator, L"plugins.xml"),
        nullptr);
    if (!rules.replaced.empty()) rules.replacement = variant;
  }

  std::vector<std::wstring> missing;
  std::uint32_t done = 1;
  for (const auto& entry : list.rest) {
    VerifyEntry(platform, platform::JoinPath(source_folder, separator, entry),
                platform::JoinPath(drive, separator, entry), cancel, rules,
                missing);
    const std::uint32_t elapsed = clock.TickCount() - start;
    report(kStatusVerifying, elapsed / 1000,
           (elapsed / done) * list.count / 1000);
    ++done;
  }
  if (list.first) {
    VerifyEntry(platform,
                platform::JoinPath(source_folder, separator, *list.first),
                platform::JoinPath(drive, separator, *list.first), cancel,
                rules, missing);
  }
  if (!missing.empty()) {
    WriteMissingReport(platform, report_folder, missing);
    Fail(kVerifyItemsMissingInSource);
  }
  return 0;
}

}  // namespace tessaline
