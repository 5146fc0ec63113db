#include "support/core/status_log.h"

namespace tessaline::testing {

namespace {
bool IsFinal(std::int32_t code) { return code >= 10 && code <= 14; }
}  // namespace

std::ostream& operator<<(std::ostream& out, const StatusReport& report) {
  return out << "(" << report.code << ", " << report.first << ", "
             << report.second << ")";
}

void StatusLog::Callback(std::int32_t code, std::intptr_t first,
                         std::intptr_t second, void* context) {
  auto* log = static_cast<StatusLog*>(context);
  StatusReport report{code, first, second};
  std::function<void(const StatusReport&)> hook;
  {
    std::lock_guard<std::mutex> lock(log->mutex_);
    if (code == 12) {
      if (first != 0) log->failure_ = reinterpret_cast<const wchar_t*>(first);
      report.first = 0;  // the address means nothing after the call
    }
    log->reports_.push_back(report);
    hook = log->hook_;
  }
  if (hook) hook(report);
  std::lock_guard<std::mutex> lock(log->mutex_);
  log->changed_.notify_all();
}

std::vector<StatusReport> StatusLog::Reports() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return reports_;
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
    for (const auto& report : reports_) {
      if (IsFinal(report.code)) final = report;
    }
    return final.code != 0;
  });
  return final;
}

std::wstring StatusLog::FailureText() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return failure_;
}

void StatusLog::SetHook(std::function<void(const StatusReport&)> hook) {
  std::lock_guard<std::mutex> lock(mutex_);
  hook_ = std::move(hook);
}

void StatusLog::Write(const std::string& text) {
  std::lock_guard<std::mutex> lock(mutex_);
  text_ += text;
}

std::string StatusLog::Text() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return text_;
}

void StatusLog::Clear() {
  std::lock_guard<std::mutex> lock(mutex_);
  text_.clear();
}

void StatusLog::Show(const std::wstring& text, const std::wstring& caption) {
  std::function<void(int)> hook;
  int count = 0;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    messages_.push_back({text, caption});
    count = static_cast<int>(messages_.size());
    hook = on_show_;
  }
  if (hook) hook(count);
}

int StatusLog::Count() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return static_cast<int>(messages_.size());
}

std::vector<PromptMessage> StatusLog::Messages() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return messages_;
}

void StatusLog::SetOnShow(std::function<void(int)> hook) {
  std::lock_guard<std::mutex> lock(mutex_);
  on_show_ = std::move(hook);
}

}  // namespace tessaline::testing
