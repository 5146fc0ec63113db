#include "copy_compare/file_handlers.h"

#include <algorithm>
#include <cstring>
#include <cwctype>
#include <memory>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/text.h"

namespace tessaline {
namespace {

using platform::CreateFolderResult;
using platform::FileSystem;
using platform::FolderEntry;
using platform::JoinPath;

// Results other than 0; callers only tell success from failure, the values
// tell a debugger why.
enum Failure : std::int32_t {
  kListFailed = 1,
  kCreateFailed = 2,
  kCopyFailed = 3,
  kInsideSource = 4,
  kEntriesDiffer = 5,
  kKindDiffers = 6,
  kOpenFailed = 7,
  kSizeDiffers = 8,
  kReadFailed = 9,
  kContentDiffers = 10,
  kLinkRefused = 11,
};

const wchar_t kUnreadableFolder[] = L"the folder could not be read";
const wchar_t kUncreatableFolder[] = L"the folder could not be created";

// Large reads keep a comparison of big files at the speed of the disk; the
// cancel flag is looked at between them.
constexpr std::int64_t kCompareBlock = 4 << 20;

bool IsFolder(FileSystem& files, const std::wstring& path) {
  return files.Exists(path) && files.IsDirectory(path);
}

void DeleteContents(FileSystem& files, const std::wstring& folder) {
  const wchar_t separator = files.Separator();
  // Without write permission on the folder its entries cannot go.
  files.SetNormalAttributes(folder);
  std::vector<FolderEntry> entries;
  files.ListFolder(folder, &entries);
  for (const FolderEntry& entry : entries) {
    const std::wstring path = JoinPath(folder, separator, entry.name);
    // Deleting a folder as a file fails, but removes a link that leads to a
    // folder: so the walk never descends through a link into a tree that is
    // not ours to delete.
    if (files.DeleteFile(path)) continue;
    if (entry.is_directory) {
      DeleteContents(files, path);
      if (!files.RemoveFolder(path)) {
        files.SetNormalAttributes(path);
        files.RemoveFolder(path);
      }
    } else {
      files.SetNormalAttributes(path);
      files.DeleteFile(path);
    }
  }
}

// Whether `path` is `folder` or lies below it.
bool Within(const std::wstring& path, const std::wstring& folder,
            wchar_t separator) {
  if (folder.empty() || path.compare(0, folder.size(), folder) != 0) {
    return false;
  }
  return path.size() == folder.size() || folder.back() == separator ||
         path[folder.size()] == separator;
}

std::wstring ChildOf(const std::wstring& real, wchar_t separator,
                     const std::wstring& name) {
  return !real.empty() && real.back() == separator ? real + name
                                                   : real + separator + name;
}

bool SameNameIgnoringCase(const std::wstring& a, const std::wstring& b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](wchar_t x, wchar_t y) {
           return std::towlower(x) == std::towlower(y);
         });
}

enum class Step { kFollow, kSkip, kRefuse };

// Judges the links a walk over a source tree meets, by where they really
// lead: the real paths of the source folder and of the folders the walk is
// in are kept for that.
class LinkGuard {
 public:
  LinkGuard(FileSystem& files, const std::wstring& tree, SourceRules& rules)
      : files_(files), rules_(rules), separator_(files.Separator()) {
    root_ = files.ResolveLinks(
        rules.source_folder.empty() ? tree : rules.source_folder, nullptr);
  }

  // Where `path` leads, into `*real`. A link out of the source folder, or
  // into a folder the walk is in, is refused and noted in the rules.
  Step Judge(const std::wstring& path, bool is_directory, std::wstring* real) {
    bool loop = false;
    *real = files_.ResolveLinks(path, &loop);
    if (real->empty())
      return loop ? Refuse(LinkRefusal::kLoop, path) : Step::kSkip;
    if (!Within(*real, root_, separator_)) {
      return Refuse(LinkRefusal::kOutside, path);
    }
    if (is_directory) {
      for (const std::wstring& open : open_) {
        if (Within(open, *real, separator_)) {
          return Refuse(LinkRefusal::kLoop, path);
        }
      }
    }
    return Step::kFollow;
  }

  // The real path of a listed entry, unless it is refused or left out.
  Step JudgeEntry(const std::wstring& path, const FolderEntry& entry,
                  std::wstring* real) {
    if (entry.is_link) return Judge(path, entry.is_directory, real);
    if (entry.is_directory)
      *real = ChildOf(open_.back(), separator_, entry.name);
    return Step::kFollow;
  }

  // Keeps a folder's real path while the walk is in it.
  class Inside {
   public:
    Inside(LinkGuard& guard, const std::wstring& real) : guard_(guard) {
      guard_.open_.push_back(real);
    }
    ~Inside() { guard_.open_.pop_back(); }
    Inside(const Inside&) = delete;
    Inside& operator=(const Inside&) = delete;

   private:
    LinkGuard& guard_;
  };

  // Notes what made the walk fail; returns `result`.
  std::int32_t Fail(std::int32_t result, const std::wstring& path,
                    const std::wstring& reason) {
    rules_.failure = path + L": " + reason;
    return result;
  }

 private:
  Step Refuse(LinkRefusal why, const std::wstring& path) {
    rules_.refusal = why;
    rules_.refused_link = path;
    return Step::kRefuse;
  }

  FileSystem& files_;
  SourceRules& rules_;
  const wchar_t separator_;
  std::wstring root_;
  std::vector<std::wstring> open_;
};

std::int32_t CopyTree(FileSystem& files, LinkGuard& guard,
                      const std::wstring& source,
                      const std::wstring& destination, const std::wstring& real,
                      const CancelFlag* cancel) {
  std::vector<FolderEntry> entries;
  if (!files.ListFolder(source, &entries)) {
    return guard.Fail(kListFailed, source, kUnreadableFolder);
  }
  if (files.CreateFolder(destination) == CreateFolderResult::kFailed) {
    return guard.Fail(kCreateFailed, destination, kUncreatableFolder);
  }
  LinkGuard::Inside inside(guard, real);
  const wchar_t separator = files.Separator();
  for (const FolderEntry& entry : entries) {
    if (IsCancelled(cancel)) return 0;
    const std::wstring from = JoinPath(source, separator, entry.name);
    const std::wstring to = JoinPath(destination, separator, entry.name);
    std::wstring child_real;
    const Step step = guard.JudgeEntry(from, entry, &child_real);
    if (step == Step::kSkip) continue;
    if (step == Step::kRefuse) return kLinkRefused;
    if (entry.is_directory) {
      std::int32_t result =
          CopyTree(files, guard, from, to, child_real, cancel);
      if (result != 0) return result;
      continue;
    }
    std::uint32_t error = files.CopyFileCancellable(from, to, cancel);
    // A read-only file left by an earlier copy is overwritten as well; the
    // test costs nothing on the usual road.
    if (error != 0 && files.Exists(to) && files.MakeWritable(to)) {
      error = files.CopyFileCancellable(from, to, cancel);
    }
    if (error != 0)
      return guard.Fail(kCopyFailed, from, files.ErrorText(error));
  }
  return 0;
}

std::int32_t VerifyTree(const platform::Platform& platform, LinkGuard& guard,
                        const SourceRules& rules, const std::wstring& source,
                        const std::wstring& destination,
                        const std::wstring& real, const CancelFlag* cancel) {
  FileSystem& files = *platform.files;
  std::vector<FolderEntry> listed;
  std::vector<FolderEntry> destination_entries;
  if (!files.ListFolder(source, &listed)) {
    return guard.Fail(kListFailed, source, kUnreadableFolder);
  }
  if (!files.ListFolder(destination, &destination_entries)) {
    return guard.Fail(kListFailed, destination, kUnreadableFolder);
  }
  LinkGuard::Inside inside(guard, real);
  const wchar_t separator = files.Separator();
  // Links are judged before anything is compared: one that is refused
  // fails the tree, one that leads nowhere is not there.
  std::vector<std::pair<FolderEntry, std::wstring>> source_entries;
  source_entries.reserve(listed.size());
  for (FolderEntry& entry : listed) {
    std::wstring child_real;
    const Step step = guard.JudgeEntry(JoinPath(source, separator, entry.name),
                                       entry, &child_real);
    if (step == Step::kRefuse) return kLinkRefused;
    if (step == Step::kFollow) {
      source_entries.emplace_back(std::move(entry), std::move(child_real));
    }
  }
  if (source_entries.size() != destination_entries.size()) {
    return guard.Fail(kEntriesDiffer, destination,
                      L"holds " + std::to_wstring(destination_entries.size()) +
                          L" entries, its source " +
                          std::to_wstring(source_entries.size()));
  }
  std::unordered_map<std::wstring, bool> on_destination;
  on_destination.reserve(destination_entries.size());
  for (const FolderEntry& entry : destination_entries) {
    on_destination.emplace(entry.name, entry.is_directory);
  }
  for (const auto& [entry, child_real] : source_entries) {
    if (IsCancelled(cancel)) return 0;
    const std::wstring from = JoinPath(source, separator, entry.name);
    const std::wstring to = JoinPath(destination, separator, entry.name);
    auto found = on_destination.find(entry.name);
    if (found == on_destination.end()) {
      return guard.Fail(kEntriesDiffer, to, L"absent");
    }
    if (found->second != entry.is_directory) {
      return guard.Fail(kKindDiffers, to,
                        entry.is_directory
                            ? L"a file where its source is a folder"
                            : L"a folder where its source is a file");
    }
    std::int32_t result =
        entry.is_directory
            ? VerifyTree(platform, guard, rules, from, to, child_real, cancel)
            : CompareFile(platform, MeantSource(files, rules, from, to), to, 0,
                          cancel);
    if (result != 0 && !entry.is_directory) {
      return guard.Fail(result, to, CompareFailureText(result));
    }
    if (result != 0) return result;
  }
  return 0;
}

// Reads exactly `size` bytes unless the file ends or fails first.
std::int64_t ReadFull(platform::File& file, char* buffer, std::int64_t size) {
  std::int64_t done = 0;
  while (done < size) {
    std::int64_t n = file.Read(buffer + done, size - done);
    if (n < 0) return -1;
    if (n == 0) break;
    done += n;
  }
  return done;
}

bool StartsWithFolder(const std::wstring& path, const std::wstring& folder,
                      wchar_t separator) {
  return path.size() > folder.size() &&
         path.compare(0, folder.size(), folder) == 0 &&
         path[folder.size()] == separator;
}

}  // namespace

std::wstring LinkRefusalText(LinkRefusal why, const std::wstring& link,
                             const std::wstring& action) {
  return link + L" - " + action +
         (why == LinkRefusal::kLoop
              ? L" failed. Item is a link loop"
              : L" failed. Item lies outside the source folder");
}

bool PresentInSource(FileSystem& files, const std::wstring& source_folder,
                     const std::wstring& path,
                     const std::function<void(LinkRefusal)>& refuse) {
  SourceRules rules;
  rules.source_folder = source_folder;
  LinkGuard guard(files, source_folder, rules);
  std::wstring real;
  const bool absent = guard.Judge(path, false, &real) == Step::kSkip;
  if (rules.refusal != LinkRefusal::kNone) refuse(rules.refusal);
  return !absent && files.Exists(path);
}

std::wstring MeantSource(FileSystem& files, const SourceRules& rules,
                         const std::wstring& source,
                         const std::wstring& destination) {
  if (rules.replaced.empty()) return source;
  const wchar_t separator = files.Separator();
  const auto name = [separator](const std::wstring& path) {
    const auto cut = path.rfind(separator);
    return cut == std::wstring::npos ? path : path.substr(cut + 1);
  };
  // Only a file of that name can be it; the real path settles it.
  if (!SameNameIgnoringCase(name(destination), name(rules.replaced)) ||
      files.ResolveLinks(destination, nullptr) != rules.replaced) {
    return source;
  }
  return rules.replacement;
}

void DeleteTree(const platform::Platform& platform, const std::wstring& folder,
                const std::wstring& /*options*/) {
  FileSystem& files = *platform.files;
  if (!files.Exists(folder)) return;
  // A file, or a link in place of the folder: only the name goes.
  if (files.DeleteFile(folder)) return;
  DeleteContents(files, folder);
  if (!files.RemoveFolder(folder)) {
    files.SetNormalAttributes(folder);
    files.RemoveFolder(folder);
  }
}

std::int32_t RecursiveFolderCopy(const platform::Platform& platform,
                                 const std::wstring& source,
                                 const std::wstring& destination,
                                 const CancelFlag* cancel, SourceRules* rules) {
  if (IsCancelled(cancel)) return 0;
  FileSystem& files = *platform.files;
  if (StartsWithFolder(destination, source, files.Separator())) {
    return kInsideSource;
  }
  SourceRules own;
  SourceRules& used = rules != nullptr ? *rules : own;
  LinkGuard guard(files, source, used);
  std::wstring real;
  const Step step = guard.Judge(source, true, &real);
  if (step != Step::kFollow) {
    return step == Step::kRefuse ? kLinkRefused : kListFailed;
  }
  // The destination's parents may be missing when the entry is a relative
  // path with folder parts.
  const std::wstring::size_type last = destination.rfind(files.Separator());
  if (last != std::wstring::npos && last > 0) {
    const std::wstring parent = destination.substr(0, last);
    if (!files.Exists(parent) && !RecursiveFolderCreate(platform, parent)) {
      return kCreateFailed;
    }
  }
  return CopyTree(files, guard, source, destination, real, cancel);
}

bool RecursiveFolderCreate(const platform::Platform& platform,
                           const std::wstring& folder) {
  FileSystem& files = *platform.files;
  switch (files.CreateFolderTree(folder)) {
    case CreateFolderResult::kCreated:
      return true;
    case CreateFolderResult::kAlreadyExists:
      return files.IsDirectory(folder);
    case CreateFolderResult::kFailed:
      break;
  }
  return false;
}

bool DirExist(const platform::Platform& platform, const std::wstring& folder) {
  return IsFolder(*platform.files, folder);
}

std::int32_t RecursiveFolderVerify(const platform::Platform& platform,
                                   const std::wstring& source,
                                   const std::wstring& destination,
                                   const CancelFlag* cancel,
                                   SourceRules* rules) {
  if (IsCancelled(cancel)) return 0;
  SourceRules own;
  SourceRules& used = rules != nullptr ? *rules : own;
  LinkGuard guard(*platform.files, source, used);
  std::wstring real;
  const Step step = guard.Judge(source, true, &real);
  if (step != Step::kFollow) {
    return step == Step::kRefuse ? kLinkRefused : kListFailed;
  }
  return VerifyTree(platform, guard, used, source, destination, real, cancel);
}

std::int32_t CompareFile(const platform::Platform& platform,
                         const std::wstring& source,
                         const std::wstring& destination,
                         std::int32_t /*options*/, const CancelFlag* cancel) {
  if (IsCancelled(cancel)) return 0;
  FileSystem& files = *platform.files;
  std::unique_ptr<platform::File> first = files.OpenRead(source, nullptr);
  std::unique_ptr<platform::File> second = files.OpenRead(destination, nullptr);
  if (!first || !second) return kOpenFailed;
  const std::int64_t size = first->Size();
  if (size < 0 || second->Size() < 0) return kReadFailed;
  if (size != second->Size()) return kSizeDiffers;

  const std::int64_t block =
      std::max<std::int64_t>(1, std::min<std::int64_t>(size, kCompareBlock));
  std::unique_ptr<char[]> one(new char[block]);
  std::unique_ptr<char[]> two(new char[block]);
  for (std::int64_t left = size; left > 0;) {
    if (IsCancelled(cancel)) return 0;
    const std::int64_t want = std::min(left, block);
    const std::int64_t got = ReadFull(*first, one.get(), want);
    if (got != want || ReadFull(*second, two.get(), want) != want) {
      return kReadFailed;
    }
    if (std::memcmp(one.get(), two.get(), static_cast<std::size_t>(want)) !=
        0) {
      return kContentDiffers;
    }
    left -= want;
  }
  return 0;
}

std::wstring CompareFailureText(std::int32_t result) {
  switch (result) {
    case kOpenFailed:
      return L"it or its source could not be opened";
    case kSizeDiffers:
      return L"its size differs from its source";
    case kReadFailed:
      return L"it or its source could not be read";
    default:
      return L"its content differs from its source";
  }
}

}  // namespace tessaline
