// The progress line: stages from the job's reports, bar and times, and how
// it is drawn on a terminal and in a log.
#include "cli_progress.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tessaline_cli {
namespace {

TEST(CliProgressTest, LineShowsStageBarShareAndTimes) {
  EXPECT_EQ(FormatDuration(59), "0:59");
  EXPECT_EQ(FormatDuration(3599), "59:59");
  EXPECT_EQ(FormatDuration(90061), "25:01:01");
  EXPECT_EQ(FormatDuration(-5), "0:00");

  EXPECT_EQ(FormatProgressLine({2, 3, Stage::kWriting, 9, 30}, 20, true),
            "disc 2 of 3  writing     [######..............]   30%  0:09 / "
            "0:30");
  // Running late never draws past the end of the bar.
  EXPECT_EQ(FormatProgressLine({2, 3, Stage::kWriting, 45, 30}, 10, false),
            "disc 2 of 3  writing     [##########]  100%  0:45 / 0:30");

  // Without an estimate a block moves to the far end (8 - 3 steps) and back
  // on terminals; logs get an empty bar.
  const std::vector<std::pair<std::int64_t, std::string>> blocks = {
      {0, "[###     ]        0:00"},
      {5, "[     ###]        0:05"},
      {6, "[    ### ]        0:06"}};
  for (const auto& [elapsed, bar] : blocks) {
    EXPECT_EQ(
        FormatProgressLine({1, 3, Stage::kBootImage, elapsed, 0}, 8, true),
        "disc 1 of 3  boot image  " + bar);
  }
  EXPECT_EQ(FormatProgressLine({1, 3, Stage::kBootImage, 6, 0}, 8, false),
            "disc 1 of 3  boot image  [        ]        0:06");
}

TEST(CliProgressTest, StagesFollowTheReportsOfABootDisc) {
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
}

TEST(CliProgressTest, TimeRunsOnBetweenReportsButNotPastTheEstimate) {
  DiscProgress progress(2, 3, 0);
  progress.Apply(tessaline::kStatusWriting, 10, 40, 5000);
  EXPECT_EQ(progress.View(8500).elapsed, 13);
  EXPECT_EQ(progress.View(8500).estimate, 40);
  EXPECT_EQ(progress.View(500000).elapsed, 40);
  // A report later than its estimate is shown as it is.
  progress.Apply(tessaline::kStatusWriting, 45, 40, 9000);
  EXPECT_EQ(progress.View(9000).elapsed, 45);

  // A stage without times counts from its start; a new stage starts anew.
  progress.Apply(tessaline::kStatusDiscFinished, 0, 0, 10000);
  EXPECT_EQ(progress.View(16000).elapsed, 6);
  EXPECT_EQ(progress.View(16000).estimate, 0);
  EXPECT_EQ(progress.TotalSeconds(16000), 16);
}

TEST(CliProgressTest, ThePlainLogGetsALineOnlyWhenSomethingChanged) {
  std::vector<std::string> written;
  ProgressPrinter printer(
      [&](std::string_view text) { written.emplace_back(text); }, false, 10);
  // Same tenth and stage; next tenth; new stage; nine, then ten seconds on.
  for (const ProgressView& view :
       std::vector<ProgressView>{{1, 2, Stage::kCopying, 0, 100},
                                 {1, 2, Stage::kCopying, 5, 100},
                                 {1, 2, Stage::kCopying, 10, 100},
                                 {1, 2, Stage::kWriting, 0, 0},
                                 {1, 2, Stage::kWriting, 9, 0},
                                 {1, 2, Stage::kWriting, 10, 0}}) {
    printer.Show(view);
  }
  printer.Message("EraseMedia succeeded for drive index 0");
  printer.Finish("disc 1 of 2  made in 0:42");
  EXPECT_EQ(written,
            (std::vector<std::string>{
                "disc 1 of 2  copying     [..........]    0%  0:00 / 1:40\n",
                "disc 1 of 2  copying     [#.........]   10%  0:10 / 1:40\n",
                "disc 1 of 2  writing     [          ]        0:00\n",
                "disc 1 of 2  writing     [          ]        0:10\n",
                "EraseMedia succeeded for drive index 0\n",
                "disc 1 of 2  made in 0:42\n"}));
  // The next disc starts its log afresh.
  printer.Show(ProgressView{2, 2, Stage::kCopying, 0, 0});
  EXPECT_EQ(written.size(), 7u);
}

TEST(CliProgressTest, TheTerminalLineIsRedrawnInPlaceAroundMessages) {
  std::string screen;
  ProgressPrinter printer([&](std::string_view text) { screen += text; }, true,
                          10);
  const ProgressView view{1, 1, Stage::kWriting, 3, 10};
  const std::string line = FormatProgressLine(view, 10, true);
  printer.Show(view);
  printer.Show(view);  // unchanged: nothing drawn
  printer.Message("Image ready to write");
  printer.Finish("disc 1 of 1  made in 0:12");
  printer.Message("all discs are made");  // no line left to redraw
  EXPECT_EQ(screen, "\r" + line + "\x1b[K" + "\r\x1b[KImage ready to write\n" +
                        line + "\r\x1b[Kdisc 1 of 1  made in 0:12\n" +
                        "all discs are made\n");
}

}  // namespace
}  // namespace tessaline_cli
