#include "support/core/status_log.h"

namespace tessaline::testing {

namespace {
bool IsFinal(std::int32_t code) { return code >= 10 && code <= 14; }
}  // namespace

void StatusLog::Callback(std::int32_t code, std::intptr_t first,
                         std::intptr_t second, void* context) {
  auto* log = static_cast<StatusLog*>(context);
  StatusReport report{code, first, second};
  const auto hook = log->Locked([&] {
    if (code == 12) {
      if (first != 0) log->failure_ = reinterpret_cast<const wchar_t*>(first);
      report.first = 0;  // the address means nothing after the call
    }
    log->reports_.push_back(report);
    return log->hook_;
  });
  if (hook) hook(report);
  // The last touch of the log: a waiter may end it as soon as it sees the
  // report delivered.
  log->Locked([&] {
    ++log->delivered_;
    log->changed_.notify_all();
  });
}

std::vector<std::int32_t> StatusLog::Codes() const {
  std::vector<std::int32_t> codes;
  for (const auto& report : Reports()) {
    if (report.code != 8 || codes.empty() || codes.back() != 8) {
      codes.push_back(report.code);
    }
  }
  return codes;
}

int StatusLog::FinalReports() const {
  int count = 0;
  for (const auto& report : Reports()) count += IsFinal(report.code) ? 1 : 0;
  return count;
}

StatusReport StatusLog::WaitForFinal() {
  std::unique_lock<std::mutex> lock(mutex_);
  StatusReport final;
  changed_.wait(lock, [&] {
    for (std::size_t i = 0; i < delivered_; ++i) {
      if (IsFinal(reports_[i].code)) final = reports_[i];
    }
    return final.code != 0;
  });
  return final;
}

void StatusLog::Show(const std::wstring& text, const std::wstring& caption) {
  const auto [hook, count] = Locked([&] {
    messages_.push_back({text, caption});
    return std::pair(on_show_, static_cast<int>(messages_.size()));
  });
  if (hook) hook(count);
}

}  // namespace tessaline::testing
