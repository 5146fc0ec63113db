// The words of a disc's final report and the exit status that follows.
#include "cli_reports.h"

#include <gtest/gtest.h>

#include <set>

namespace tessaline_cli {
namespace {

bool Has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

TEST(CliReportsTest, SuccessCancelAndFailureText) {
  FinalReport report;
  report.code = 10;
  EXPECT_EQ(DescribeFinalReport(2, 3, report, 65), "disc 2 of 3  made in 1:05");
  report.code = 11;
  EXPECT_EQ(DescribeFinalReport(2, 3, report, 65), "disc 2 of 3  cancelled");
  report.code = 12;
  report.text = "/opt/lib/oscdimg missing";
  EXPECT_EQ(DescribeFinalReport(1, 3, report, 5),
            "disc 1 of 3  failed: /opt/lib/oscdimg missing");
}

TEST(CliReportsTest, UserNeededSaysWhatToDoForEachReason) {
  // Each reason gets its own advice, and each advice tells an action.
  std::set<std::string> advice;
  for (std::int32_t reason : {2, 3, 4}) {
    FinalReport report;
    report.code = 13;
    report.first = reason;
    const std::string text = DescribeFinalReport(1, 1, report, 0);
    EXPECT_EQ(text.rfind("disc 1 of 1  stopped: ", 0), 0u) << text;
    EXPECT_TRUE(Has(text, "make this disc again")) << text;
    advice.insert(UserNeededAdvice(reason));
  }
  EXPECT_EQ(advice.size(), 3u);
  EXPECT_TRUE(Has(UserNeededAdvice(2), "new blank disc"));
  EXPECT_TRUE(Has(UserNeededAdvice(3), "could not be erased"));
  EXPECT_TRUE(Has(UserNeededAdvice(4), "tray is closed"));
  EXPECT_TRUE(Has(UserNeededAdvice(9), "reason 9"));
}

TEST(CliReportsTest, VerifyFailureNamesChunkCodeAndMeaning) {
  FinalReport report;
  report.code = 14;
  report.first = 0;
  report.second = 203;
  std::string text = DescribeFinalReport(3, 3, report, 0);
  EXPECT_TRUE(Has(text, "(chunk 0, code 203)")) << text;
  EXPECT_TRUE(Has(text, "a file on the disc differs from its source")) << text;

  // A comparison failure carries a data-dependent code that may equal a
  // fixed one; its chunk tells it apart.
  report.first = 7;
  report.second = 203;
  text = DescribeFinalReport(1, 3, report, 0);
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

TEST(CliReportsTest, ExitStatusOfEachFinalCode) {
  EXPECT_EQ(ExitStatusForReport(10), 0);
  EXPECT_EQ(ExitStatusForReport(11), 130);
  for (std::int32_t code : {12, 13, 14}) {
    EXPECT_EQ(ExitStatusForReport(code), 1) << code;
  }
}

}  // namespace
}  // namespace tessaline_cli
