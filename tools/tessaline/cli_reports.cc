#include "cli_reports.h"

#include "cli_progress.h"
#include "tessaline/status_codes.h"

namespace tessaline_cli {

std::string UserNeededAdvice(std::int32_t reason) {
  switch (reason) {
    case tessaline::kUserNeededWriteFailed:
      return "writing to the disc failed. Put a new blank disc that this "
             "recorder can write into the drive and make this disc again.";
    case tessaline::kUserNeededEraseFailed:
      return "the disc in the drive could not be erased (it is write-once, "
             "full or damaged). Put a blank disc into the drive and make "
             "this disc again.";
    case tessaline::kUserNeededBlankUnknown:
      return "the recorder could not tell whether the disc is blank. Check "
             "that a disc is in the drive and the tray is closed, then make "
             "this disc again.";
    default:
      return "the disc in the drive needs attention (reason " +
             std::to_string(reason) +
             "). Check the disc and the drive, then make this disc again.";
  }
}

std::string VerifyFailureMeaning(std::int32_t chunk, std::int32_t code) {
  // The comparison failures carry data-dependent codes; only they have a
  // chunk number.
  if (chunk != 0) {
    return "the disc differs from its image in chunk " + std::to_string(chunk);
  }
  switch (code) {
    case tessaline::kVerifyWorkFolderEmpty:
      return "the work folder is empty";
    case tessaline::kVerifyDriveNotFound:
    case tessaline::kVerifyFolderDriveNotFound:
      return "the recorder's drive could not be found";
    case tessaline::kVerifyImageOpenFailed:
      return "the image file could not be opened";
    case tessaline::kVerifyImageSizeFailed:
      return "the size of the image file could not be read";
    case tessaline::kVerifyDeviceOpenFailed:
      return "the disc could not be opened for reading";
    case tessaline::kVerifyFirstBufferFailed:
    case tessaline::kVerifySecondBufferFailed:
      return "there was no memory for the read buffers";
    case tessaline::kVerifyDiscMarkerNotFound:
      return "the disc was not found in the drive";
    case tessaline::kVerifyItemMissingOnDisc:
      return "an item of the source folder is missing on the disc";
    case tessaline::kVerifyItemsMissingInSource:
      return "items of the disc's list are missing in the source folder";
    case tessaline::kVerifyFolderTreeDiffers:
      return "a folder on the disc differs from its source";
    case tessaline::kVerifyFileFolderMissing:
      return "a folder that should hold a file is missing on the disc";
    case tessaline::kVerifyFileDiffers:
      return "a file on the disc differs from its source";
    default:
      return "an unknown verification failure";
  }
}

std::string DescribeFinalReport(std::int32_t disc, std::uint32_t disc_count,
                                const FinalReport& report,
                                std::int64_t seconds) {
  const std::string head =
      "disc " + std::to_string(disc) + " of " + std::to_string(disc_count);
  switch (report.code) {
    case tessaline::kStatusSucceeded:
      return head + "  made in " + FormatDuration(seconds);
    case tessaline::kStatusCancelled:
      return head + "  cancelled";
    case tessaline::kStatusFailed:
      return head + "  failed: " +
             (report.text.empty() ? std::string("no reason given")
                                  : report.text);
    case tessaline::kStatusUserNeeded:
      return head + "  stopped: " +
             UserNeededAdvice(static_cast<std::int32_t>(report.first));
    case tessaline::kStatusVerifyFailed: {
      const auto chunk = static_cast<std::int32_t>(report.first);
      const auto code = static_cast<std::int32_t>(report.second);
      return head + "  failed verification (chunk " + std::to_string(chunk) +
             ", code " + std::to_string(code) +
             "): " + VerifyFailureMeaning(chunk, code) +
             ". The disc cannot be trusted; make it again on a new blank "
             "disc.";
    }
    default:
      return head + "  ended with unknown status " +
             std::to_string(report.code);
  }
}

int ExitStatusForReport(std::int32_t code) {
  switch (code) {
    case tessaline::kStatusSucceeded:
      return kExitOk;
    case tessaline::kStatusCancelled:
      return kExitCancelled;
    default:
      return kExitFailed;
  }
}

}  // namespace tessaline_cli
