#include "cli_reports.h"

#include "cli_progress.h"

namespace tessaline_cli {

std::string UserNeededAdvice(std::int32_t reason) {
  switch (reason) {
    case 2:
      return "writing to the disc failed. Put a new blank disc that this "
             "recorder can write into the drive and make this disc again.";
    case 3:
      return "the disc in the drive could not be erased (it is write-once, "
             "full or damaged). Put a blank disc into the drive and make "
             "this disc again.";
    case 4:
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
    case 1:
      return "the work folder is empty";
    case 2:
    case 101:
      return "the recorder's drive could not be found";
    case 4:
      return "the image file could not be opened";
    case 5:
      return "the size of the image file could not be read";
    case 6:
      return "the disc could not be opened for reading";
    case 7:
    case 8:
      return "there was no memory for the read buffers";
    case 102:
      return "the disc was not found in the drive";
    case 103:
      return "an item of the source folder is missing on the disc";
    case 104:
      return "items of the disc's list are missing in the source folder";
    case 201:
      return "a folder on the disc differs from its source";
    case 202:
      return "a folder that should hold a file is missing on the disc";
    case 203:
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
    case kSucceeded:
      return head + "  made in " + FormatDuration(seconds);
    case kCancelled:
      return head + "  cancelled";
    case kFailed:
      return head + "  failed: " +
             (report.text.empty() ? std::string("no reason given")
                                  : report.text);
    case kUserNeeded:
      return head + "  stopped: " +
             UserNeededAdvice(static_cast<std::int32_t>(report.first));
    case kVerifyFailed: {
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
    case kSucceeded:
      return kExitOk;
    case kCancelled:
      return kExitCancelled;
    default:
      return kExitFailed;
  }
}

}  // namespace tessaline_cli
