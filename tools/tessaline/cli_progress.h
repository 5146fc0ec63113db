// The progress line of the disc being made: the stage the writer job's
// reports tell, a bar, elapsed and estimated time. On a terminal the line is
// redrawn in place; elsewhere it is printed as plain lines, one a stage and
// at most one every ten seconds.
#ifndef TESSALINE_TOOLS_TESSALINE_CLI_PROGRESS_H_
#define TESSALINE_TOOLS_TESSALINE_CLI_PROGRESS_H_

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "tessaline/status_codes.h"

namespace tessaline_cli {

enum class Stage {
  kStarting,
  kCopying,
  kBootImage,
  kErasing,
  kWriting,
  kVerifying,
  kFinishing,
};

const char* StageName(Stage stage);

// "0:07", "12:34", "1:02:03"; negative times show as 0:00.
std::string FormatDuration(std::int64_t seconds);

struct ProgressView {
  std::int32_t disc = 0;
  std::uint32_t disc_count = 0;
  Stage stage = Stage::kStarting;
  std::int64_t elapsed = 0;   // seconds in this stage
  std::int64_t estimate = 0;  // estimated total seconds; 0 = unknown
};

// "disc 2 of 3  writing     [######..............]  30%  0:09 / 0:30".
// Without an estimate there is no percentage, and the bar is empty or, with
// `moving_block`, shows a block that moves with the elapsed seconds. A
// `bar_width` of 0 leaves the bar out.
std::string FormatProgressLine(const ProgressView& view, int bar_width,
                               bool moving_block);

// Follows one disc's non-final reports. Times are the host's milliseconds
// on a steady clock.
class DiscProgress {
 public:
  DiscProgress(std::int32_t disc, std::uint32_t disc_count,
               std::uint64_t now_ms);

  // Codes 1 to 9 and 15; other codes are ignored.
  void Apply(std::int32_t code, std::int64_t first, std::int64_t second,
             std::uint64_t now_ms);
  // The line as it stands at `now_ms`: the elapsed time runs on between
  // reports (never past the estimate).
  ProgressView View(std::uint64_t now_ms) const;
  // Elapsed seconds since the disc was started.
  std::int64_t TotalSeconds(std::uint64_t now_ms) const;

 private:
  void Enter(Stage stage, std::uint64_t now_ms);

  std::int32_t disc_;
  std::uint32_t disc_count_;
  std::uint64_t started_ms_;
  Stage stage_ = Stage::kStarting;
  std::int64_t base_elapsed_ = 0;  // seconds at the last report
  std::uint64_t base_ms_;          // when that report came
  std::int64_t estimate_ = 0;
};

// Prints the progress lines of one or more recorders, each on its own line
// and prefixed by its label, and messages through `write`.
class ProgressPrinter {
 public:
  using Writer = std::function<void(std::string_view)>;

  // One slot per recorder; a label ("recorder 2  ") leads each of its lines.
  ProgressPrinter(Writer write, bool terminal, int bar_width,
                  std::vector<std::string> labels);

  // Terminal: redraws the slots' lines in place, below everything else.
  // Plain (a log, a pipe): a line without bar when the slot enters another
  // stage or disc, else at most one line every 10 s of `now_ms`, the
  // host's steady clock in milliseconds.
  void Show(std::size_t slot, const ProgressView& view, std::uint64_t now_ms);
  // A line of its own (a message, a diagnostic line of the library), above
  // the progress lines.
  void Message(std::string_view line);
  // Ends the slot's progress line and prints its final line.
  void Finish(std::size_t slot, std::string_view line);

  static constexpr std::uint64_t kQuietMs = 10000;

 private:
  struct Slot {
    std::string label;
    std::string line;  // the progress line, empty when none is shown
    bool printed = false;
    Stage stage = Stage::kStarting;
    std::int32_t disc = 0;
    std::uint64_t printed_ms = 0;
  };

  // Terminal: takes the progress lines off the screen and puts them back.
  void Erase();
  void Draw();

  Writer write_;
  bool terminal_;
  int bar_width_;
  std::vector<Slot> slots_;
  std::size_t drawn_ = 0;  // progress lines on the screen
};

}  // namespace tessaline_cli

#endif  // TESSALINE_TOOLS_TESSALINE_CLI_PROGRESS_H_
