// What the library tells the host: the reports of a status callback (pass
// Callback with the log as its context), its text and its messages.
#ifndef TESSALINE_TESTS_SUPPORT_CORE_STATUS_LOG_H_
#define TESSALINE_TESTS_SUPPORT_CORE_STATUS_LOG_H_

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace tessaline::testing {

struct StatusReport {
  std::int32_t code = 0;
  std::intptr_t first = 0;  // 0 for code 12, whose text is kept apart
  std::intptr_t second = 0;
  bool operator==(const StatusReport&) const = default;
};

struct PromptMessage {
  std::wstring text;
  std::wstring caption;
};

class StatusLog : public platform::Console, public platform::Prompt {
  template <typename Action>
  auto Locked(Action action) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return action();
  }

 public:
  static void Callback(std::int32_t code, std::intptr_t first,
                       std::intptr_t second, void* context);
  std::vector<StatusReport> Reports() const {
    return Locked([&] { return reports_; });
  }
  // The codes in order, a run of write progress reports (8) counted once.
  std::vector<std::int32_t> Codes() const;
  int FinalReports() const;  // of the final codes 10 to 14
  // Waits until a final report's callback has returned and gives it.
  StatusReport WaitForFinal();
  // The text of the failure (code 12), read during the call.
  std::wstring FailureText() const {
    return Locked([&] { return failure_; });
  }
  // Runs inside the callback, after the report is recorded.
  void SetHook(std::function<void(const StatusReport&)> hook) {
    Locked([&] { hook_ = std::move(hook); });
  }

  void Write(const std::string& text) override {
    Locked([&] { text_ += text; });
  }
  std::string Text() const {
    return Locked([&] { return text_; });
  }

  void Show(const std::wstring& text, const std::wstring& caption) override;
  void PumpOneMessage() override {}
  int Count() const {
    return Locked([&] { return static_cast<int>(messages_.size()); });
  }
  std::vector<PromptMessage> Messages() const {
    return Locked([&] { return messages_; });
  }
  // Runs on every Show after it is recorded (to put a disc back, say).
  void SetOnShow(std::function<void(int count)> hook) {
    Locked([&] { on_show_ = std::move(hook); });
  }

 private:
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<StatusReport> reports_;
  std::size_t delivered_ = 0;  // reports whose callback has returned
  std::wstring failure_;
  std::function<void(const StatusReport&)> hook_;
  std::string text_;
  std::vector<PromptMessage> messages_;
  std::function<void(int)> on_show_;
};

}  // namespace tessaline::testing

#endif  // TESSALINE_TESTS_SUPPORT_CORE_STATUS_LOG_H_
