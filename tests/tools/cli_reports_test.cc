// The words of a disc's final report and the exit status that follows.
#include "cli_reports.h"

#include <gtest/gtest.h>

#include <set>

#include "tessaline/status_codes.h"

namespace tessaline_cli {
namespace {

bool Has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

std::string Describe(std::int32_t code, std::int32_t first, std::int32_t second,
                     const std::string& text = "") {
  FinalReport report;
  report.code = code;
  report.first = first;
  report.second = second;
  report.text = text;
  return DescribeFinalReport(2, 3, report, 65);
}

TEST(CliReportsTest, SuccessCancelAndFailureTextAndTheirExitStatus) {
  EXPECT_EQ(Describe(10, 0, 0), "disc 2 of 3  made in 1:05");
  EXPECT_EQ(Describe(11, 0, 0), "disc 2 of 3  cancelled");
  EXPECT_EQ(Describe(12, 0, 0, "/opt/lib/oscdimg missing"),
            "disc 2 of 3  failed: /opt/lib/oscdimg missing");
  EXPECT_EQ(ExitStatusForReport(10), 0);
  EXPECT_EQ(ExitStatusForReport(11), 130);
  for (std::int32_t code : {12, 13, 14}) {
    EXPECT_EQ(ExitStatusForReport(code), 1) << code;
  }
}

TEST(CliReportsTest, UserNeededSaysWhatToDoForEachReason) {
  const std::vector<std::pair<std::int32_t, std::string>> reasons = {
      {2, "new blank disc"}, {3, "could not be erased"}, {4, "tray is closed"}};
  for (const auto& [reason, advice] : reasons) {
    const std::string text = Describe(13, reason, 0);
    EXPECT_EQ(text.rfind("disc 2 of 3  stopped: ", 0), 0u) << text;
    EXPECT_TRUE(Has(text, advice)) << text;
    EXPECT_TRUE(Has(text, "make this disc again")) << text;
  }
  EXPECT_TRUE(Has(UserNeededAdvice(9), "reason 9"));
}

TEST(CliReportsTest, VerifyFailureNamesChunkCodeAndMeaning) {
  std::string text = Describe(14, 0, 203);
  EXPECT_TRUE(Has(text, "(chunk 0, code 203)")) << text;
  EXPECT_TRUE(Has(text, "a file on the disc differs from its source")) << text;
  // A comparison failure carries a data-dependent code that may equal a
  // fixed one; its chunk tells it apart.
  text = Describe(14, 7, 203);
  EXPECT_TRUE(Has(text, "(chunk 7, code 203)")) << text;
  EXPECT_TRUE(Has(text, "differs from its image in chunk 7")) << text;

  std::set<std::string> meanings;
  for (std::int32_t code : {1, 2, 4, 5, 6, 7, 102, 103, 104, 201, 202, 203}) {
    meanings.insert(VerifyFailureMeaning(0, code));
  }
  EXPECT_EQ(meanings.size(), 12u) << "each code has its own meaning";
  EXPECT_EQ(VerifyFailureMeaning(0, 101), VerifyFailureMeaning(0, 2));
  EXPECT_EQ(VerifyFailureMeaning(0, 8), VerifyFailureMeaning(0, 7));
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
