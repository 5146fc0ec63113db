#include "support/core/recording_ui.h"

namespace tessaline::testing {

void CapturingConsole::Write(const std::string& text) {
  std::lock_guard<std::mutex> lock(mutex_);
  writes_.push_back(text);
}

std::string CapturingConsole::Text() const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::string all;
  for (const auto& w : writes_) all += w;
  return all;
}

std::vector<std::string> CapturingConsole::Writes() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return writes_;
}

void CapturingConsole::Clear() {
  std::lock_guard<std::mutex> lock(mutex_);
  writes_.clear();
}

void CountingPrompt::Show(const std::wstring& text,
                          const std::wstring& caption) {
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

void CountingPrompt::PumpOneMessage() {
  std::lock_guard<std::mutex> lock(mutex_);
  ++pumps_;
}

int CountingPrompt::Count() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return static_cast<int>(messages_.size());
}

int CountingPrompt::Pumps() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return pumps_;
}

std::vector<PromptMessage> CountingPrompt::Messages() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return messages_;
}

void CountingPrompt::SetOnShow(std::function<void(int)> hook) {
  std::lock_guard<std::mutex> lock(mutex_);
  on_show_ = std::move(hook);
}

}  // namespace tessaline::testing
