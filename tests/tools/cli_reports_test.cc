// The words of a disc's final report and the exit status that follows.
#include "cli_reports.h"

#include <gtest/gtest.h>

#include <tuple>

#include "tessaline/status_codes.h"

namespace tessaline_cli {
namespace {

std::string Describe(std::int32_t code, std::int32_t first, std::int32_t second,
                     const std::string& text = "") {
  return DescribeFinalReport(2, 3, {code, first, second, text}, 65);
}

TEST(CliReportsTest, EachFinalReportHasItsWordsAndExitStatus) {
  const std::vector<std::tuple<std::int32_t, std::int32_t, std::string, int>>
      cases = {
          {10, 0, "disc 2 of 3  made in 1:05", 0},
          {11, 0, "disc 2 of 3  cancelled", 130},
          {12, 0, "disc 2 of 3  failed: /opt/oscdimg missing", 1},
          {13, 2, "stopped: writing to the disc failed", 1},
          {13, 3, "could not be erased", 1},
          {13, 4, "tray is closed", 1},
          {14, 203, "(chunk 0, code 203): a file on the disc differs", 1},
      };
  for (const auto& [code, first, words, status] : cases) {
    const std::string text =
        code == 14 ? Describe(code, 0, first)
                   : Describe(code, first, 0, "/opt/oscdimg missing");
    EXPECT_NE(text.find(words), std::string::npos) << text;
    EXPECT_EQ(ExitStatusForReport(code), status) << code;
  }
  // A comparison failure carries a data-dependent code that may equal a
  // fixed one; its chunk tells it apart.
  EXPECT_NE(Describe(14, 7, 203).find("differs from its image in chunk 7"),
            std::string::npos);
}

}  // namespace
}  // namespace tessaline_cli

// A host compiled against the public names keeps working only while the
// numbers behind them stay put.
static_assert(tessaline::kStatusAssembling == 1 &&
              tessaline::kStatusDiscFinished == 15 &&
              tessaline::kUserNeededWriteFailed == 2 &&
              tessaline::kUserNeededBlankUnknown == 4 &&
              tessaline::kVerifyFolderDriveNotFound == 101 &&
              tessaline::kVerifyItemsMissingInSource == 104 &&
              tessaline::kVerifyFolderTreeDiffers == 201 &&
              tessaline::kVerifyFileDiffers == 203);
