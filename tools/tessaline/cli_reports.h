// The words for a disc's final status report, and the exit status of the
// host that follows from it.
#ifndef TESSALINE_TOOLS_TESSALINE_CLI_REPORTS_H_
#define TESSALINE_TOOLS_TESSALINE_CLI_REPORTS_H_

#include <cstdint>
#include <string>

namespace tessaline_cli {

enum ExitStatus {
  kExitOk = 0,
  kExitFailed = 1,
  kExitUsage = 2,
  kExitCancelled = 130,
};

// A final report (code 10 to 14) as the host keeps it after the callback:
// for code 12 the failure text, copied while it was valid.
struct FinalReport {
  std::int32_t code = 0;
  std::int64_t first = 0;
  std::int64_t second = 0;
  std::string text;  // code 12 only, UTF-8
};

// What the user must do when a job stops with code 13 and `reason`.
std::string UserNeededAdvice(std::int32_t reason);

// What a verification failure (code 14) with `chunk` and `code` means.
std::string VerifyFailureMeaning(std::int32_t chunk, std::int32_t code);

// The disc's final line(s), without a trailing line break, e.g.
// "disc 2 of 3  made in 1:04".
std::string DescribeFinalReport(std::int32_t disc, std::uint32_t disc_count,
                                const FinalReport& report,
                                std::int64_t seconds);

// 0 for code 10, 130 for 11, 1 for the failures.
int ExitStatusForReport(std::int32_t code);

}  // namespace tessaline_cli

#endif  // TESSALINE_TOOLS_TESSALINE_CLI_REPORTS_H_
