// The verification stages of the writer job.
#include "copy_compare/folder_verify.h"
#include "copy_compare/read_back.h"
#include "writer/media_writer.h"

namespace tessaline {

void MediaWriter::VerifyBootDisc() {
  ReportStatus(kStatusVerifying, 0, 0);
  CompareDiscWithImage();
  RemoveBootImage();
  ReportStatus(kStatusDiscFinished, 0, 0);
}

void MediaWriter::VerifyDataDisc(std::int32_t disc,
                                 const platform::Platform& verifying) {
  ReportStatus(kStatusVerifying, 0, 0);
  VerifyDiscItems(verifying, settings_.sourceFolder, settings_.items,
                  BurnFolder(), disc);
  ReportStatus(kStatusDiscFinished, 0, 0);
}

std::int32_t MediaWriter::VerifyDiscItems(const platform::Platform& verifying,
                                          const std::wstring& source,
                                          const std::wstring& items,
                                          const std::wstring& reportFolder,
                                          std::int32_t disc) {
  return tessaline::VerifyDiscItems(
      verifying, Reporter(),
      DiscIdentity{settings_.recorderIndex, settings_.mediaName, disc}, source,
      items, reportFolder, cancelFlag());
}

std::int32_t MediaWriter::CompareDiscWithImage() {
  return tessaline::CompareDiscWithImage(platform(), Reporter(),
                                         settings_.workFolder,
                                         settings_.recorderIndex, cancelFlag());
}

std::int32_t MediaWriter::RemoveBootImage() {
  return tessaline::RemoveBootImage(platform(), settings_.workFolder);
}

}  // namespace tessaline
