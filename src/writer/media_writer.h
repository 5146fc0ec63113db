// The writer job: makes one disc on its own thread and reports every stage
// through the host's status callback.
#ifndef TESSALINE_WRITER_MEDIA_WRITER_H_
#define TESSALINE_WRITER_MEDIA_WRITER_H_

#include <cstdint>
#include <memory>
#include <string>

#include "base/status.h"
#include "platform/platform.h"
#include "writer/active_object.h"

namespace tessaline {

class TrayLock;

struct JobSettings {
  std::wstring workFolder;
  std::wstring sourceFolder;
  std::int32_t disc = 0;
  std::wstring items;
  std::wstring mediaName;
  std::int32_t recorderIndex = 0;
  StatusCallback callback = nullptr;
  void* context = nullptr;
  std::int32_t verify = 0;
  // The creator's flag, shared so that it lives as long as the job.
  std::shared_ptr<CancelFlag> cancel;
  std::shared_ptr<platform::Platform> platform;
};

class MediaWriter : public ActiveObject {
 public:
  // Copies the settings and starts the job's thread as the last step.
  explicit MediaWriter(JobSettings settings);
  // Waits for the job's thread: no thread outlives its job.
  ~MediaWriter() override;

  // False when the thread could not be started; StartFailure() says why.
  bool Running() const { return Started(); }
  const std::wstring& StartFailure() const { return startFailure_; }
  // Sets the flag this job reads (the flag of the creator that made it).
  void CancelJob();

  // Set before the final report 12 or 14; see Tessaline::FailureDetail.
  const std::wstring& FailureDetail() const { return failureDetail_; }
  void ReportStatus(std::int32_t code, std::intptr_t first,
                    std::intptr_t second) const;
  static void ForwardStatus(std::int32_t code, std::intptr_t first,
                            std::intptr_t second, void* context);

 protected:
  void OnThreadStart() override {}
  void Run() override;
  void OnStop() override {}

 private:
  const platform::Platform& platform() const { return *settings_.platform; }
  const CancelFlag* cancelFlag() const { return settings_.cancel.get(); }
  bool Cancelled() const { return IsCancelled(cancelFlag()); }
  std::wstring PathIn(const std::wstring& folder,
                      const std::wstring& name) const;
  StatusReporter Reporter() const;

  // Stages.
  void BuildDisc(std::int32_t disc);
  void BuildBootDisc();
  void BuildDataDisc();
  // Holds the work folder's and the recorder's lock files; false, with the
  // failure text, when another job holds either.
  bool TakeLocks(std::wstring* failure);
  std::unique_ptr<platform::FileLock> TakeLock(const std::wstring& path,
                                               const std::wstring& what,
                                               std::wstring* failure) const;
  void VerifyDisc(std::int32_t disc, TrayLock* tray);
  void VerifyBootDisc();
  void VerifyDataDisc(std::int32_t disc, const platform::Platform& verifying);

  // Build helpers.
  std::wstring BurnFolder() const;
  std::wstring ImagePath() const;
  std::wstring VolumeLabel() const;
  std::wstring DiscMarkerName() const;
  void RenewBurnFolder();
  void RequireWorkFolder() const;
  void SetUpPluginList(const std::wstring& burnFolder);
  void SetUpBootFolder(const std::wstring& sourceFolder,
                       const std::wstring& burnFolder);
  void CreateEmptyFile(const std::wstring& path);
  void DeleteOrScheduleImage(const std::wstring& path);
  void WriteBootImage(const std::wstring& imagePath);
  void WriteDataImage(const std::wstring& folderPath);
  std::uint32_t RunImageTool(const std::wstring& toolPath,
                             const std::wstring& arguments);
  void CopyDiscItems(const std::wstring& source, const std::wstring& items,
                     const std::wstring& destination);

  // Verification.
  std::int32_t VerifyDiscItems(const platform::Platform& verifying,
                               const std::wstring& source,
                               const std::wstring& items,
                               const std::wstring& reportFolder,
                               std::int32_t disc);
  std::int32_t CompareDiscWithImage();
  std::int32_t RemoveBootImage();

  JobSettings settings_;
  std::wstring startFailure_;
  std::wstring failureDetail_;
  std::unique_ptr<platform::FileLock> workLock_;
  std::unique_ptr<platform::FileLock> recorderLock_;
  // The recorder's drive, as the job found it when it started; empty when
  // it had none.
  std::wstring drive_;
};

// Ends the owner's hold on `job`: waits for its thread, unless this is that
// thread (the host's callback released it), in which case the job is set
// aside and joined by the next release on another thread, or at exit.
void ReleaseJob(std::unique_ptr<MediaWriter> job);

}  // namespace tessaline

#endif  // TESSALINE_WRITER_MEDIA_WRITER_H_
