// The progress line: stages from the job's reports, bar and times, and how
// the lines of one or more recorders are drawn on a terminal and in a log.
#include "cli_progress.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tessaline_cli {
namespace {

TEST(CliProgressTest, LineShowsStageBarShareAndTimes) {
  EXPECT_EQ(FormatProgressLine({2, 3, Stage::kWriting, 9, 30}, 20, true),
            "disc 2 of 3  writing     [######..............]   30%  0:09 / "
            "0:30");
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

TEST(CliProgressTest, TheTerminalRedrawsEachRecordersLineInPlace) {
  std::string screen;
  ProgressPrinter printer([&](std::string_view text) { screen += text; }, true,
                          10, {"a ", "b "});
  const ProgressView view{1, 1, Stage::kWriting, 3, 10};
  const std::string line = FormatProgressLine(view, 10, true) + "\x1b[K\n";
  printer.Show(0, view, 0);
  printer.Show(0, view, 0);  // unchanged: nothing drawn
  printer.Show(1, view, 0);
  printer.Message("Image ready to write");
  printer.Finish(0, "made");
  EXPECT_EQ(screen, "a " + line + "\x1b[1A\r\x1b[J" + "a " + line + "b " +
                        line + "\x1b[2A\r\x1b[JImage ready to write\n" + "a " +
                        line + "b " + line + "\x1b[2A\r\x1b[Ja made\nb " +
                        line);
}

}  // namespace
}  // namespace tessaline_cli
