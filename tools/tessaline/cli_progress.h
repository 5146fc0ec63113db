// The progress line of the disc being made: the stage the writer job's
// reports tell, a bar, elapsed and estimated time. On a terminal the line is
// redrawn in place; elsewhere it is printed as plain lines, only when it
// says something new.
#ifndef TESSALINE_TOOLS_TESSALINE_CLI_PROGRESS_H_
#define TESSALINE_TOOLS_TESSALINE_CLI_PROGRESS_H_

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

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
// `moving_block`, shows a block that moves with the elapsed seconds.
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

// Prints progress lines and messages through `write`.
class ProgressPrinter {
 public:
  using Writer = std::function<void(std::string_view)>;

  ProgressPrinter(Writer write, bool terminal, int bar_width);

  // Terminal: redraws the line in place. Plain: prints it when the stage
  // changed, the bar passed another tenth or ten more seconds went by
  // since the last printed line.
  void Show(const ProgressView& view);
  // A line of its own (a message, a diagnostic line of the library); on a
  // terminal the progress line is cleared first and drawn again after it.
  void Message(std::string_view line);
  // Ends the disc's progress line and prints its final line.
  void Finish(std::string_view line);

 private:
  void ClearLine();

  Writer write_;
  bool terminal_;
  int bar_width_;
  std::string drawn_;  // the progress line on the screen, if any
  bool printed_any_ = false;
  Stage printed_stage_ = Stage::kStarting;
  std::int64_t printed_tenth_ = -1;
  std::int64_t printed_elapsed_ = 0;
  std::int32_t printed_disc_ = 0;
};

}  // namespace tessaline_cli

#endif  // TESSALINE_TOOLS_TESSALINE_CLI_PROGRESS_H_
