#include "cli_progress.h"

#include <algorithm>
#include <cstdio>
#include <utility>

namespace tessaline_cli {
namespace {

constexpr int kMinBarWidth = 5;
constexpr int kBlock = 3;  // the moving block of a bar without estimate
constexpr const char* kClearToEnd = "\x1b[K";

int Percent(const ProgressView& view) {
  if (view.estimate <= 0) return -1;
  const std::int64_t done =
      std::clamp<std::int64_t>(view.elapsed, 0, view.estimate);
  return static_cast<int>(done * 100 / view.estimate);
}

std::string Bar(const ProgressView& view, int width, bool moving_block) {
  std::string bar(static_cast<std::size_t>(width), '.');
  const int percent = Percent(view);
  if (percent >= 0) {
    const int filled = percent * width / 100;
    std::fill_n(bar.begin(), filled, '#');
    return bar;
  }
  std::fill(bar.begin(), bar.end(), ' ');
  if (!moving_block) return bar;
  // A block that goes to and fro, one step a second.
  const int span = width - kBlock;
  const std::int64_t period = 2 * static_cast<std::int64_t>(span);
  const std::int64_t step = std::max<std::int64_t>(view.elapsed, 0) % period;
  const auto position = static_cast<int>(step <= span ? step : period - step);
  std::fill_n(bar.begin() + position, kBlock, '#');
  return bar;
}

}  // namespace

const char* StageName(Stage stage) {
  switch (stage) {
    case Stage::kStarting:
      return "starting";
    case Stage::kCopying:
      return "copying";
    case Stage::kBootImage:
      return "boot image";
    case Stage::kErasing:
      return "erasing";
    case Stage::kWriting:
      return "writing";
    case Stage::kVerifying:
      return "verifying";
    case Stage::kFinishing:
      return "finishing";
  }
  return "";
}

std::string FormatDuration(std::int64_t seconds) {
  if (seconds < 0) seconds = 0;
  char text[32];
  const std::int64_t hours = seconds / 3600;
  const auto minutes = static_cast<int>(seconds / 60 % 60);
  const auto rest = static_cast<int>(seconds % 60);
  if (hours > 0) {
    std::snprintf(text, sizeof text, "%lld:%02d:%02d",
                  static_cast<long long>(hours), minutes, rest);
  } else {
    std::snprintf(text, sizeof text, "%d:%02d", minutes, rest);
  }
  return text;
}

std::string FormatProgressLine(const ProgressView& view, int bar_width,
                               bool moving_block) {
  char head[64];
  std::snprintf(head, sizeof head, "disc %d of %u  %-10s  ", view.disc,
                view.disc_count, StageName(view.stage));
  std::string line = head;
  if (bar_width > 0) {
    line += '[';
    line += Bar(view, std::max(bar_width, kMinBarWidth), moving_block);
    line += "]  ";
  }
  const int percent = Percent(view);
  if (percent >= 0) {
    char share[16];
    std::snprintf(share, sizeof share, "%3d%%  ", percent);
    line += share;
    line += FormatDuration(view.elapsed);
    line += " / ";
    line += FormatDuration(view.estimate);
  } else {
    line += "      ";
    line += FormatDuration(view.elapsed);
  }
  return line;
}

DiscProgress::DiscProgress(std::int32_t disc, std::uint32_t disc_count,
                           std::uint64_t now_ms)
    : disc_(disc),
      disc_count_(disc_count),
      started_ms_(now_ms),
      base_ms_(now_ms) {}

void DiscProgress::Enter(Stage stage, std::uint64_t now_ms) {
  if (stage == stage_) return;
  stage_ = stage;
  base_elapsed_ = 0;
  base_ms_ = now_ms;
  estimate_ = 0;
}

void DiscProgress::Apply(std::int32_t code, std::int64_t first,
                         std::int64_t second, std::uint64_t now_ms) {
  Stage stage = stage_;
  bool timed = false;  // the report carries the stage's own times
  switch (code) {
    case tessaline::kStatusAssembling:
      stage = Stage::kCopying;
      timed = first != 0 || second != 0;
      break;
    case tessaline::kStatusContentReady:
      stage = Stage::kBootImage;
      break;
    case tessaline::kStatusMakingBootImage:
      stage = Stage::kBootImage;
      timed = first != 0;
      break;
    case tessaline::kStatusWritingStarts:
    case tessaline::kStatusInitializingHardware:
    case tessaline::kStatusCalibratingPower:
      stage = Stage::kWriting;
      break;
    case tessaline::kStatusErasing:
      stage = Stage::kErasing;
      timed = true;
      break;
    case tessaline::kStatusWriting:
      stage = Stage::kWriting;
      timed = true;
      break;
    case tessaline::kStatusVerifying:
      stage = Stage::kVerifying;
      timed = first != 0 || second != 0;
      break;
    case tessaline::kStatusDiscFinished:
      stage = Stage::kFinishing;
      break;
    default:
      return;
  }
  Enter(stage, now_ms);
  if (timed) {
    base_elapsed_ = first;
    estimate_ = std::max<std::int64_t>(second, 0);
    base_ms_ = now_ms;
  }
}

ProgressView DiscProgress::View(std::uint64_t now_ms) const {
  ProgressView view;
  view.disc = disc_;
  view.disc_count = disc_count_;
  view.stage = stage_;
  view.estimate = estimate_;
  const auto since = static_cast<std::int64_t>(
      now_ms >= base_ms_ ? (now_ms - base_ms_) / 1000 : 0);
  view.elapsed = base_elapsed_ + since;
  if (estimate_ > 0) {
    view.elapsed = std::max(base_elapsed_, std::min(view.elapsed, estimate_));
  }
  return view;
}

std::int64_t DiscProgress::TotalSeconds(std::uint64_t now_ms) const {
  return static_cast<std::int64_t>(
      now_ms >= started_ms_ ? (now_ms - started_ms_) / 1000 : 0);
}

ProgressPrinter::ProgressPrinter(Writer write, bool terminal, int bar_width,
                                 std::vector<std::string> labels)
    : write_(std::move(write)), terminal_(terminal), bar_width_(bar_width) {
  if (labels.empty()) labels.emplace_back();
  for (std::string& label : labels) {
    slots_.emplace_back();
    slots_.back().label = std::move(label);
  }
}

void ProgressPrinter::Show(std::size_t slot, const ProgressView& view,
                           std::uint64_t now_ms) {
  Slot& s = slots_.at(slot);
  const std::string line =
      s.label + FormatProgressLine(view, terminal_ ? bar_width_ : 0, terminal_);
  if (terminal_) {
    if (line == s.line) return;
    Erase();
    s.line = line;
    Draw();
    return;
  }
  // A log reader wants each stage, and now and then how far it got.
  const bool news = !s.printed || view.disc != s.disc || view.stage != s.stage;
  if (!news && (now_ms < s.printed_ms + kQuietMs || line == s.line)) return;
  write_(line + "\n");
  s.printed = true;
  s.line = line;
  s.disc = view.disc;
  s.stage = view.stage;
  s.printed_ms = now_ms;
}

void ProgressPrinter::Erase() {
  if (!terminal_ || drawn_ == 0) return;
  write_("\x1b[" + std::to_string(drawn_) + "A\r\x1b[J");
  drawn_ = 0;
}

void ProgressPrinter::Draw() {
  if (!terminal_) return;
  std::string text;
  for (const Slot& s : slots_) {
    if (s.line.empty()) continue;
    text += s.line + kClearToEnd + "\n";
    ++drawn_;
  }
  if (!text.empty()) write_(text);
}

void ProgressPrinter::Message(std::string_view line) {
  Erase();
  write_(std::string(line) + "\n");
  Draw();
}

void ProgressPrinter::Finish(std::size_t slot, std::string_view line) {
  Erase();
  Slot& s = slots_.at(slot);
  s.line.clear();
  s.printed = false;
  write_(s.label + std::string(line) + "\n");
  Draw();
}

}  // namespace tessaline_cli
