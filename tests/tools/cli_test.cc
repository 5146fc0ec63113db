// The host's pieces that need no drive: its command line, the progress
// lines, the words and exit status of each final report, and its tables.
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "cli_args.h"
#include "cli_progress.h"
#include "cli_reports.h"
#include "cli_tables.h"
#include "tessaline/status_codes.h"

namespace tessaline_cli {
namespace {

// The host's runs read the well-formed options; the errors are read here.
TEST(CliArgsTest, UsageErrorsSayWhatIsWrong) {
  const std::vector<std::string> make = {"make", "l",       "--source",
                                         "s",    "--media", "M"};
  const auto with = [&](std::vector<std::string> more) {
    more.insert(more.begin(), make.begin(), make.end());
    return more;
  };
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{}, "no command"},
      {{"burn"}, "unknown command: burn"},
      {{"drives"}, "drives create"},
      {{"make", "l", "--source", "s"}, "--media"},
      {{"make", "l", "--media", "M"}, "--source DIR is required"},
      {{"plan", "l", "--media", "M", "--verify"}, "unknown option"},
      {{"plan", "--media", "M"}, "takes 1 argument, got 0"},
      {with({"--verify=1"}), "takes no value"},
      {with({"--drive", "x"}), "--drive"},
      {with({"--drive", "1,1"}), "each once"},
      {with({"--discs="}), "--discs"},
      {{"lock", "0", "maybe"}, "on or off"},
      {{"drives", "create", "/d", "--count", "65"}, "--count"},
      {{"recorders", "--drives"}, "--drives needs a folder"},
  };
  for (const auto& [words, expected] : cases) {
    const ParseResult result = ParseArguments(words);
    EXPECT_FALSE(result.ok) << testing::PrintToString(words);
    EXPECT_NE(result.error.find(expected), std::string::npos)
        << testing::PrintToString(words) << " gave: " << result.error;
  }
  EXPECT_EQ(ParseArguments(make).arguments.recorders,
            (std::vector<std::int32_t>{0}));
}

TEST(CliArgsTest, DiscListsNameDiscsOfThePlan) {
  std::vector<std::int32_t> discs;
  std::string error;
  ASSERT_TRUE(ParseDiscList("", 3, &discs, &error));
  EXPECT_EQ(discs, (std::vector<std::int32_t>{1, 2, 3}));
  ASSERT_TRUE(ParseDiscList("3,1-2,2", 3, &discs, &error));
  EXPECT_EQ(discs, (std::vector<std::int32_t>{1, 2, 3}));
  for (const char* bad :
       {"0", "4", "2-4", "3-2", "1,", ",1", "1,,2", "a", "-1", "1-", "1 "}) {
    EXPECT_FALSE(ParseDiscList(bad, 3, &discs, &error)) << bad;
    EXPECT_FALSE(error.empty()) << bad;
  }
}

TEST(CliProgressTest, LineShowsStageBarShareAndTimes) {
  // Running late never draws past the end of the bar; no bar at width 0.
  EXPECT_EQ(FormatProgressLine({2, 3, Stage::kWriting, 45, 30}, 10, false),
            "disc 2 of 3  writing     [##########]  100%  0:45 / 0:30");
  EXPECT_EQ(FormatProgressLine({2, 3, Stage::kWriting, 9, 30}, 0, false),
            "disc 2 of 3  writing      30%  0:09 / 0:30");
  // Without an estimate a block moves to the far end (8 - 3 steps) and back.
  EXPECT_EQ(FormatProgressLine({1, 3, Stage::kBootImage, 6, 0}, 8, true),
            "disc 1 of 3  boot image  [    ### ]        0:06");
}

TEST(CliProgressTest, StagesAndTimesFollowTheReports) {
  DiscProgress progress(1, 3, 1000);
  struct Step {
    std::int32_t code, first, second;
    Stage stage;
  };
  const std::vector<Step> steps = {
      {1, 0, 0, Stage::kCopying},    {1, 2, 10, Stage::kCopying},
      {2, 0, 0, Stage::kBootImage},  {3, 4, 0, Stage::kBootImage},
      {4, 0, 0, Stage::kWriting},    {7, 1, 20, Stage::kErasing},
      {5, 0, 0, Stage::kWriting},    {6, 0, 0, Stage::kWriting},
      {8, 3, 40, Stage::kWriting},   {9, 0, 0, Stage::kVerifying},
      {9, 5, 50, Stage::kVerifying}, {15, 0, 0, Stage::kFinishing},
      {99, 1, 1, Stage::kFinishing},
  };
  for (const Step& step : steps) {
    progress.Apply(step.code, step.first, step.second, 1000);
    EXPECT_EQ(progress.View(1000).stage, step.stage) << "code " << step.code;
  }
  // Time runs on between reports, but not past the estimate; a new stage
  // counts from its start.
  progress.Apply(tessaline::kStatusWriting, 10, 40, 5000);
  EXPECT_EQ(progress.View(8500).elapsed, 13);
  EXPECT_EQ(progress.View(500000).elapsed, 40);
  progress.Apply(tessaline::kStatusDiscFinished, 0, 0, 10000);
  EXPECT_EQ(progress.View(16000).elapsed, 6);
  EXPECT_EQ(progress.TotalSeconds(16000), 15);
}

TEST(CliProgressTest, ALogGetsEachStageAndAtMostALineEveryTenSeconds) {
  std::vector<std::string> log;
  ProgressPrinter printer(
      [&](std::string_view text) { log.emplace_back(text); }, false, 10,
      {"recorder 0: ", "recorder 2: "});
  // (slot, elapsed, estimate, stage, host's clock in ms)
  const struct {
    std::size_t slot;
    std::int64_t elapsed, estimate;
    Stage stage;
    std::uint64_t now;
  } shows[] = {{0, 0, 100, Stage::kCopying, 0},
               {1, 0, 0, Stage::kCopying, 100},
               {0, 50, 100, Stage::kCopying, 9999},
               {0, 60, 100, Stage::kCopying, 10000},
               {0, 70, 100, Stage::kCopying, 19000},
               {0, 0, 0, Stage::kWriting, 19500},
               {1, 30, 0, Stage::kCopying, 30000}};
  for (const auto& s : shows) {
    printer.Show(s.slot, {1, 2, s.stage, s.elapsed, s.estimate}, s.now);
  }
  printer.Finish(0, "disc 1 of 2  made in 0:42");
  EXPECT_EQ(log, (std::vector<std::string>{
                     "recorder 0: disc 1 of 2  copying       0%  0:00 / 1:40\n",
                     "recorder 2: disc 1 of 2  copying           0:00\n",
                     "recorder 0: disc 1 of 2  copying      60%  1:00 / 1:40\n",
                     "recorder 0: disc 1 of 2  writing           0:00\n",
                     "recorder 2: disc 1 of 2  copying           0:30\n",
                     "recorder 0: disc 1 of 2  made in 0:42\n"}));
}

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

TEST(CliTablesTest, SizesAreReadAsTheLibraryReadsThem) {
  EXPECT_EQ(ParseSizeText("  +123abc"), 123);
  EXPECT_EQ(ParseSizeText("-5"), -5);
  EXPECT_EQ(ParseSizeText("abc"), 0);
}

}  // namespace
}  // namespace tessaline_cli
