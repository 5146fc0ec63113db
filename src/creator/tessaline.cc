// The creator's members: its settings, the disc plan read from the layout
// file, the search for a drive with room for the work files, staging, and
// the ownership of its writer job.
#include "tessaline/tessaline.h"

#include <algorithm>
#include <stdexcept>
#include <string>
#include <unordered_set>
#include <utility>

#include "base/status.h"
#include "copy_compare/copy.h"
#include "creator/disc_size.h"
#include "creator/input_checks.h"
#include "platform/platform.h"
#include "platform/text.h"
#include "writer/media_writer.h"

namespace {

// The profile reader's buffer, its end included: a longer value would
// arrive cut, so it is refused instead.
constexpr std::size_t kProfileBufferChars = 0x100000;

std::wstring TextOf(const wchar_t* text) {
  return text == nullptr ? std::wstring() : std::wstring(text);
}

// A value read for `key`: an empty one is absent, and one that the
// reader's buffer cannot hold whole is refused rather than cut.
std::wstring RequiredValue(const tessaline::platform::ProfileView& layout,
                           const std::wstring& section,
                           const std::wstring& key) {
  std::wstring value = layout.Value(section, key);
  if (value.empty()) {
    throw CreateMediaException(L"Value not found (for key)" + key);
  }
  if (value.size() > kProfileBufferChars - 1) {
    throw CreateMediaException(L"Value too long (for key)" + key);
  }
  return value;
}

}  // namespace

Tessaline::Tessaline(const wchar_t* workFolder, const wchar_t* sourceFolder,
                     const wchar_t* mediaName, PlatformPtr platform)
    : workFolder_(TextOf(workFolder)),
      sourceFolder_(TextOf(sourceFolder)),
      mediaName_(TextOf(mediaName)),
      cancel_(std::make_shared<CancelFlag>(0)),
      platform_(std::move(platform)) {
  if (!platform_) throw std::invalid_argument("Tessaline: no platform");
}

Tessaline::Tessaline(Tessaline& other)
    : workFolder_(other.workFolder_),
      sourceFolder_(other.sourceFolder_),
      mediaName_(other.mediaName_),
      recorderIndex_(other.recorderIndex_),
      plan_(other.plan_),
      sizes_(other.sizes_),
      platform_(other.platform_) {
  std::lock_guard<std::mutex> lock(other.jobMutex_);
  cancel_ = std::make_shared<CancelFlag>(other.cancel_->load());
  job_ = TakeJob(other);
}

std::unique_ptr<tessaline::MediaWriter> Tessaline::TakeJob(Tessaline& owner) {
  // The job keeps reading the flag it was made with, which its new owner
  // sets through CancelJob. The old owner moves to a flag of its own, so
  // that cancelling the job never cancels the old owner's later jobs.
  if (owner.job_) {
    owner.cancel_ = std::make_shared<CancelFlag>(owner.cancel_->load());
  }
  return std::move(owner.job_);
}

Tessaline& Tessaline::operator=(Tessaline& other) {
  if (this == &other) return *this;
  workFolder_ = other.workFolder_;
  sourceFolder_ = other.sourceFolder_;
  mediaName_ = other.mediaName_;
  recorderIndex_ = other.recorderIndex_;
  plan_ = other.plan_;
  sizes_ = other.sizes_;
  platform_ = other.platform_;
  std::unique_ptr<tessaline::MediaWriter> incoming;
  std::uint8_t cancelled = 0;
  {
    std::lock_guard<std::mutex> lock(other.jobMutex_);
    cancelled = other.cancel_->load();
    incoming = TakeJob(other);
  }
  std::unique_ptr<tessaline::MediaWriter> previous;
  {
    std::lock_guard<std::mutex> lock(jobMutex_);
    previous = std::move(job_);
    job_ = std::move(incoming);
    // A flag of its own holding the other's value, as a copy gets.
    cancel_ = std::make_shared<CancelFlag>(cancelled);
  }
  tessaline::ReleaseJob(std::move(previous));
  return *this;
}

Tessaline::~Tessaline() { ReleaseJob(); }

void Tessaline::ReleaseJob() {
  std::unique_ptr<tessaline::MediaWriter> previous;
  {
    std::lock_guard<std::mutex> lock(jobMutex_);
    previous = std::move(job_);
  }
  // Waits for its thread, unless the job's own callback released it.
  tessaline::ReleaseJob(std::move(previous));
}

void Tessaline::InstallJob(std::unique_ptr<tessaline::MediaWriter> job) {
  std::unique_ptr<tessaline::MediaWriter> previous;
  {
    std::lock_guard<std::mutex> lock(jobMutex_);
    previous = std::move(job_);
    job_ = std::move(job);
  }
  tessaline::ReleaseJob(std::move(previous));
}

std::uint32_t Tessaline::NumDiscs() const {
  return static_cast<std::uint32_t>(plan_.size());
}

void Tessaline::SetDrive(std::int32_t index) { recorderIndex_ = index; }

std::int32_t Tessaline::SetTempDir(const wchar_t* folder) {
  workFolder_ = TextOf(folder);
  return 1;
}

std::int32_t Tessaline::GetTempDir(const wchar_t** folder) const {
  if (folder != nullptr) *folder = workFolder_.c_str();
  return 1;
}

std::wstring Tessaline::FailureDetail() const {
  std::lock_guard<std::mutex> lock(jobMutex_);
  return job_ ? job_->FailureDetail() : std::wstring();
}

void Tessaline::Cancel() {
  std::lock_guard<std::mutex> lock(jobMutex_);
  cancel_->store(1);
  // A job taken over from another creator reads that creator's flag.
  if (job_) job_->CancelJob();
}

std::wstring Tessaline::MediaSection() const { return L"MEDIA:" + mediaName_; }

bool Tessaline::HasRoomFor(const std::wstring& folder,
                           const std::wstring& size) const {
  std::int64_t free = 0;
  // A drive that cannot be asked has no room to offer.
  if (!platform_->volumes->FreeBytes(folder, &free)) return false;
  return free >= tessaline::BytesNeeded(size);
}

void Tessaline::SearchDriveWithRoom(const std::wstring& size) {
  using tessaline::platform::CreateFolderResult;
  const wchar_t separator = platform_->files->Separator();
  auto created = [this](const std::wstring& folder) {
    return platform_->files->CreateFolderTree(folder) !=
           CreateFolderResult::kFailed;
  };
  for (const std::wstring& root : platform_->volumes->CandidateWorkRoots()) {
    if (platform_->volumes->TypeOfRoot(root) !=
        tessaline::platform::DriveType::kFixed) {
      continue;
    }
    if (!HasRoomFor(root, size)) continue;
    const std::wstring temp = root + L"temp" + separator;
    const std::wstring work = temp + L"ZeltRecovery" + separator;
    if (!created(temp) || !created(work)) continue;
    SetTempDir(work.c_str());
    // An image left by an earlier run would only take room.
    const std::wstring image =
        tessaline::platform::JoinPath(work, separator, L"boot.iso");
    if (platform_->files->Exists(image)) {
      platform_->files->SetNormalAttributes(image);
      platform_->files->DeleteFile(image);
    }
    return;
  }
  throw CreateMediaExceptionMoreDiskSpaceNeededPlease(
      tessaline::MegabytesNeeded(size));
}

void Tessaline::AnalyzeLayout(const wchar_t* layoutPath) {
  const std::wstring path = TextOf(layoutPath);
  if (!platform_->files->Exists(path)) {
    throw CreateMediaException(L" layout ini not found:" + path);
  }
  tessaline::RefuseUnusableMediaName(mediaName_);
  // Read once: a layout of many discs is not read again for each of them.
  const std::unique_ptr<tessaline::platform::ProfileView> layout =
      platform_->profiles->Read(path);
  if (!layout || layout->SectionNames().empty()) {
    throw CreateMediaException(L"Sections not found");
  }
  const std::wstring media = MediaSection();
  const std::wstring sizes = L"SIZE:" + mediaName_;
  const std::vector<std::wstring> listed = layout->KeyNames(media);
  if (listed.empty()) throw CreateMediaException(L"Section not found:" + media);
  const std::unordered_set<std::wstring> keys(listed.begin(), listed.end());

  // The reader finds keys without case; the disc keys must match exactly.
  std::int32_t disc = 1;
  if (keys.count(mediaName_ + L"1") == 0) {
    throw CreateMediaException(L"Value not found (for key)" + mediaName_ +
                               L"1");
  }
  for (std::wstring key = mediaName_ + L"1"; keys.count(key) != 0;
       key = mediaName_ + std::to_wstring(++disc)) {
    std::wstring size = RequiredValue(*layout, sizes, key);
    if (!HasRoomFor(workFolder_, size)) SearchDriveWithRoom(size);
    std::wstring items = RequiredValue(*layout, media, key);
    std::erase(items, L'\v');
    // A list of empty entries names no item: it is as empty as no value.
    if (items.find_first_not_of(L',') == std::wstring::npos) {
      throw CreateMediaException(L"Value not found (for key)" + key);
    }
    plan_[disc] = std::move(items);
    sizes_[disc] = std::move(size);
  }
}

bool Tessaline::DiscPlan(std::int32_t disc, std::wstring* items,
                         std::wstring* size) const {
  const auto found = plan_.find(disc);
  if (found == plan_.end()) return false;
  if (items != nullptr) *items = found->second;
  if (size != nullptr) {
    const auto sized = sizes_.find(disc);
    *size = sized == sizes_.end() ? std::wstring() : sized->second;
  }
  return true;
}

void Tessaline::Stage(std::int32_t disc) {
  const tessaline::platform::Platform& platform = *platform_;
  tessaline::RefuseUnusableMediaName(mediaName_);
  const std::wstring overlap =
      tessaline::WorkSourceOverlap(*platform.files, workFolder_, sourceFolder_);
  if (!overlap.empty()) throw MediaWriterException(overlap);
  const std::wstring staging =
      tessaline::platform::JoinPath(workFolder_, platform.files->Separator(),
                                    mediaName_ + std::to_wstring(disc));
  // An existing staging folder is filled again.
  platform.files->CreateFolder(staging);
  const std::wstring& items = plan_[disc];
  // Staging runs on the caller's thread and cannot be cancelled.
  const tessaline::CancelFlag neverSet{0};
  tessaline::CopyDiscItems(platform, tessaline::StatusReporter{}, sourceFolder_,
                           items, staging, &neverSet);
}
