#include "support/core/status_log.h"

#include <algorithm>

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
    if (report.code != 8 || codes.empty() || codes.back() != 8)
      codes.push_back(report.code);
  }
  return codes;
}

int StatusLog::FinalReports() const {
  const auto reports = Reports();
  return static_cast<int>(std::count_if(
      reports.begin(), reports.end(), [](auto& r) { return IsFinal(r.code); }));
}

StatusReport StatusLog::WaitForFinal() {
  std::unique_lock<std::mutex> lock(mutex_);
  const auto final = [&] {
    return std::find_if(reports_.begin(), reports_.begin() + delivered_,
                        [](auto& r) { return IsFinal(r.code); });
  };
  changed_.wait(lock, [&] { return final() != reports_.begin() + delivered_; });
  return *final();
}

void StatusLog::Show(const std::wstring& text, const std::wstring& caption) {
  const auto [hook, count] = Locked([&] {
    messages_.push_back({text, caption});
    return std::pair(on_show_, static_cast<int>(messages_.size()));
  });
  if (hook) hook(count);
}

}  // namespace tessaline::testing
