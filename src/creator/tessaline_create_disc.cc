// Starting a writer job for one disc.
#include "creator/input_checks.h"
#include "platform/platform.h"
#include "tessaline/tessaline.h"
#include "writer/media_writer.h"

void Tessaline::CreateDisc(std::int32_t disc, std::int32_t verify,
                           StatusCallback callback, void* context) {
  tessaline::RefuseUnusableMediaName(mediaName_);
  const std::wstring overlap = tessaline::WorkSourceOverlap(
      *platform_->files, workFolder_, sourceFolder_);
  if (!overlap.empty()) {
    // The previous job has to end before this one's end is reported, as it
    // would before a started job's.
    ReleaseJob();
    tessaline::StatusReporter(callback, context)(
        tessaline::kStatusFailed,
        reinterpret_cast<std::intptr_t>(overlap.c_str()), 0);
    return;
  }
  const std::wstring items = plan_[disc];
  tessaline::JobSettings settings;
  settings.workFolder = workFolder_;
  settings.sourceFolder = sourceFolder_;
  settings.disc = disc;
  settings.items = items;
  settings.mediaName = mediaName_;
  settings.recorderIndex = recorderIndex_;
  settings.callback = callback;
  settings.context = context;
  settings.verify = verify;
  settings.cancel = cancel_;
  settings.platform = platform_;

  // One job at a time per creator: the previous one is finished (joined)
  // before the next starts on the same drive.
  ReleaseJob();
  auto job = std::make_unique<tessaline::MediaWriter>(std::move(settings));
  if (!job->Running()) {
    const std::wstring text =
        L"The writer job's thread could not be started: " + job->StartFailure();
    tessaline::StatusReporter(callback, context)(
        tessaline::kStatusFailed, reinterpret_cast<std::intptr_t>(text.c_str()),
        0);
  }
  InstallJob(std::move(job));
}
