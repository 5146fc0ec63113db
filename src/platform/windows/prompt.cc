// The user prompt on Windows: a modal message box with an OK button, and
// the dispatch of one pending window message.
#include "platform/windows/win32.h"
#include "platform/windows/windows_backends.h"

namespace tessaline::platform::windows {
namespace {

class MessageBoxPrompt final : public Prompt {
 public:
  // No owner window; an empty caption lets the system choose its own.
  void Show(const std::wstring& text, const std::wstring& caption) override {
    ::MessageBoxW(nullptr, text.c_str(),
                  caption.empty() ? nullptr : caption.c_str(), MB_OK);
  }

  void PumpOneMessage() override {
    MSG message;
    if (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      ::TranslateMessage(&message);
      ::DispatchMessageW(&message);
    }
  }
};

}  // namespace

std::shared_ptr<Prompt> MakePrompt() {
  return std::make_shared<MessageBoxPrompt>();
}

}  // namespace tessaline::platform::windows
