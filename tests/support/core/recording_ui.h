// A console that keeps what the library prints, and a prompt that counts
// and records the messages it is shown, returning at once.
#ifndef TESSALINE_TESTS_SUPPORT_CORE_RECORDING_UI_H_
#define TESSALINE_TESTS_SUPPORT_CORE_RECORDING_UI_H_

#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace tessaline::testing {

class CapturingConsole : public platform::Console {
 public:
  void Write(const std::string& text) override;
  // Everything written, concatenated.
  std::string Text() const;
  // Each Write call's text, in order.
  std::vector<std::string> Writes() const;
  void Clear();

 private:
  mutable std::mutex mutex_;
  std::vector<std::string> writes_;
};

struct PromptMessage {
  std::wstring text;
  std::wstring caption;
};

class CountingPrompt : public platform::Prompt {
 public:
  void Show(const std::wstring& text, const std::wstring& caption) override;
  void PumpOneMessage() override;

  int Count() const;
  int Pumps() const;
  std::vector<PromptMessage> Messages() const;
  // Runs on every Show after it is recorded (for example to put a disc back).
  void SetOnShow(std::function<void(int count)> hook);

 private:
  mutable std::mutex mutex_;
  std::vector<PromptMessage> messages_;
  int pumps_ = 0;
  std::function<void(int)> on_show_;
};

}  // namespace tessaline::testing

#endif  // TESSALINE_TESTS_SUPPORT_CORE_RECORDING_UI_H_
