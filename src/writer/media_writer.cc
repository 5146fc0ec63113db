#include "writer/media_writer.h"

#include <mutex>
#include <new>
#include <string>
#include <vector>

#include "drive/drive_control.h"
#include "drive/drive_letter.h"
#include "platform/text.h"

namespace tessaline {
namespace {

std::wstring Widen(const char* text) { return platform::FromUtf8(text); }

// Jobs released from their own thread, waiting to be joined from another.
class SetAsideJobs {
 public:
  ~SetAsideJobs() { JoinAll(); }

  void Add(std::unique_ptr<MediaWriter> job) {
    std::lock_guard<std::mutex> lock(mutex_);
    jobs_.push_back(std::move(job));
  }

  void JoinAll() {
    std::vector<std::unique_ptr<MediaWriter>> jobs;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      jobs.swap(jobs_);
    }
    // Destroying each job joins its thread, outside the lock.
  }

 private:
  std::mutex mutex_;
  std::vector<std::unique_ptr<MediaWriter>> jobs_;
};

SetAsideJobs& SetAside() {
  static SetAsideJobs jobs;
  return jobs;
}

}  // namespace

void ReleaseJob(std::unique_ptr<MediaWriter> job) {
  if (job && job->OnOwnThread()) {
    SetAside().Add(std::move(job));
    return;
  }
  job.reset();
  // A job thread never waits for another job's: two jobs set aside from
  // their callbacks could otherwise wait for each other.
  if (!ActiveObject::OnAnyOwnThread()) SetAside().JoinAll();
}

MediaWriter::MediaWriter(JobSettings settings)
    : settings_(std::move(settings)) {
  // Last: the thread must see a fully built object.
  StartThread(&startFailure_);
}

MediaWriter::~MediaWriter() { Join(); }

void MediaWriter::CancelJob() {
  if (settings_.cancel) settings_.cancel->store(1);
}

void MediaWriter::ReportStatus(std::int32_t code, std::intptr_t first,
                               std::intptr_t second) const {
  if (settings_.callback != nullptr) {
    settings_.callback(code, first, second, settings_.context);
  }
}

void MediaWriter::ForwardStatus(std::int32_t code, std::intptr_t first,
                                std::intptr_t second, void* context) {
  static_cast<MediaWriter*>(context)->ReportStatus(code, first, second);
}

StatusReporter MediaWriter::Reporter() const {
  return StatusReporter(&MediaWriter::ForwardStatus,
                        const_cast<MediaWriter*>(this));
}

std::wstring MediaWriter::PathIn(const std::wstring& folder,
                                 const std::wstring& name) const {
  return platform::JoinPath(folder, platform().files->Separator(), name);
}

// Holds the drive locked while it lives, so that every way out of the
// verification (a failure included) leaves the tray free.
class TrayLock {
 public:
  TrayLock(const platform::Platform& platform, std::uint32_t index)
      : platform_(platform), index_(index) {
    Set(true);
  }
  ~TrayLock() {
    try {
      Set(false);
    } catch (...) {
      // The drive is gone; there is nothing left to unlock.
    }
  }
  TrayLock(const TrayLock&) = delete;
  TrayLock& operator=(const TrayLock&) = delete;

  void Set(bool lock) {
    if (locked_ == lock) return;
    locked_ = lock;
    DriveLock(platform_, index_, lock);
  }

 private:
  const platform::Platform& platform_;
  const std::uint32_t index_;
  bool locked_ = false;
};

namespace {

// The user is asked to put the disc in again: the tray must open for that,
// and is locked again once the user has answered.
class UnlockingPrompt final : public platform::Prompt {
 public:
  UnlockingPrompt(std::shared_ptr<platform::Prompt> inner, TrayLock* tray)
      : inner_(std::move(inner)), tray_(tray) {}
  void Show(const std::wstring& text, const std::wstring& caption) override {
    tray_->Set(false);
    inner_->Show(text, caption);
    tray_->Set(true);
  }
  void PumpOneMessage() override { inner_->PumpOneMessage(); }

 private:
  std::shared_ptr<platform::Prompt> inner_;
  TrayLock* tray_;
};

}  // namespace

std::unique_ptr<platform::FileLock> MediaWriter::TakeLock(
    const std::wstring& path, const std::wstring& what,
    std::wstring* failure) const {
  if (path.empty()) return nullptr;
  bool in_use = false;
  auto lock = platform().files->LockExclusive(path, &in_use);
  // A lock file that cannot be made (no such folder) leaves the job to fail
  // where it would have failed anyway.
  if (!lock && in_use) {
    *failure = what + L" - in use by another disc job";
  }
  return lock;
}

bool MediaWriter::TakeLocks(std::wstring* failure) {
  // The work folder: a second job would build in this one's folders.
  if (!settings_.workFolder.empty()) {
    workLock_ = TakeLock(PathIn(settings_.workFolder, L"tessaline.lock"),
                         settings_.workFolder, failure);
    if (!failure->empty()) return false;
  }
  // The recorder: a second job would eject or overwrite this one's medium.
  try {
    if (GetDriveLetter(platform(), settings_.recorderIndex, &drive_) != 1) {
      drive_.clear();
      return true;
    }
  } catch (const MediaWriterException&) {
    // No such recorder: the write reports it in its place.
    drive_.clear();
    return true;
  }
  recorderLock_ =
      TakeLock(platform().devices->LockPath(drive_), drive_, failure);
  return failure->empty();
}

void MediaWriter::Run() {
  auto& p = platform();
  const std::int32_t apartment = p.apartment->Enter();
  bool remove_image = true;
  // The final report, made last of all: the host may start the next job
  // from inside it, which must find the work folder and recorder free and
  // no image of ours left to remove.
  std::int32_t code = kStatusSucceeded;
  std::intptr_t first = 0;
  std::intptr_t second = 0;
  std::wstring text;
  auto fail = [&](const std::wstring& message) {
    code = kStatusFailed;
    text = message;
  };
  std::wstring busy;
  if (!TakeLocks(&busy)) {
    // Another job owns the folder or the drive: touch nothing of theirs.
    workLock_.reset();
    recorderLock_.reset();
    ReportStatus(kStatusFailed, reinterpret_cast<std::intptr_t>(busy.c_str()),
                 0);
    if (apartment >= 0) p.apartment->Leave();
    return;
  }
  try {
    BuildDisc(settings_.disc);
    if (Cancelled()) {
      code = kStatusCancelled;
    } else {
      const auto index = static_cast<std::uint32_t>(settings_.recorderIndex);
      if (settings_.verify == 1) {
        DismountDiscVolume(p, index);
        TrayLock tray(p, index);
        VerifyDisc(settings_.disc, &tray);
      }
      DriveLock(p, index, false);
      SettleDrive(p, drive_, platform::Settle::kBeforeReport);
      code = Cancelled() ? kStatusCancelled : kStatusSucceeded;
    }
  } catch (const UserNeededException& e) {
    code = kStatusUserNeeded;
    first = e.reason;
  } catch (const MediaWriterException& e) {
    failureDetail_ = e.detail;
    fail(e.message);
    remove_image = false;
  } catch (const MediaVerifyException& e) {
    failureDetail_ = e.detail;
    code = kStatusVerifyFailed;
    first = e.chunk;
    second = e.code;
    remove_image = false;
  } catch (const FileException& e) {
    // A file the job had to create could not be: the user is told, and the
    // host still gets its final report. The system's reason alone does not
    // say which file.
    const std::wstring text =
        e.path.empty() ? e.message : e.path + L" - " + e.message;
    p.prompt->Show(text, L"");
    fail(text);
  } catch (const std::bad_alloc&) {
    const std::wstring message = L"Out of memory.";
    p.prompt->Show(message, L"");
    fail(message);
  } catch (const std::exception& e) {
    fail(L"Unexpected failure while making the disc: " + Widen(e.what()));
    remove_image = false;
  } catch (...) {
    fail(L"Unexpected failure while making the disc");
    remove_image = false;
  }
  // An empty work folder names no image: never touch the root's files.
  if (remove_image && !settings_.workFolder.empty()) {
    const std::wstring image = ImagePath();
    if (p.files->Exists(image) && !p.files->DeleteFile(image)) {
      p.files->DeleteAtRestart(image);
    }
  }
  recorderLock_.reset();
  workLock_.reset();
  if (code == kStatusFailed)
    first = reinterpret_cast<std::intptr_t>(text.c_str());
  ReportStatus(code, first, second);
  if (apartment >= 0) p.apartment->Leave();
}

void MediaWriter::BuildDisc(std::int32_t disc) {
  if (disc == 1) {
    BuildBootDisc();
  } else {
    BuildDataDisc();
  }
}

void MediaWriter::VerifyDisc(std::int32_t disc, TrayLock* tray) {
  if (disc == 1) {
    VerifyBootDisc();
    return;
  }
  // The folder verification may ask for the disc again: it sees a prompt
  // that frees the tray first.
  platform::Platform verifying = platform();
  verifying.prompt = std::make_shared<UnlockingPrompt>(verifying.prompt, tray);
  VerifyDataDisc(disc, verifying);
}

}  // namespace tessaline
