// Helpers shared by the burn code: the diagnostic lines, the client name
// every writer and eraser carries, and the scope guard of an advised sink.
#ifndef TESSALINE_BURN_DIAGNOSTICS_H_
#define TESSALINE_BURN_DIAGNOSTICS_H_

#include <cstdint>
#include <memory>
#include <string>

#include "burn/erase.h"
#include "platform/compiler.h"
#include "platform/disc.h"
#include "platform/platform.h"

namespace tessaline::burn {

inline constexpr wchar_t kClientName[] = L"Kiro Media Creation";

// printf into a string. The burn code's lines use only the C formats; a
// 64-bit value is printed with "%lld"/"%llx" where the lines show %I64d and
// %I64x, and wide strings are passed as UTF-8 with "%s".
std::string Format(TESSALINE_PRINTF_FORMAT const char* format, ...)
    TESSALINE_PRINTF_LIKE(1, 2);

// Writes one diagnostic line, byte for byte.
void Say(const platform::Platform& platform, const std::string& text);

// "%02d:%02d:%02d" of the hours, minutes and seconds between two system
// times; whole days are dropped.
std::string Hms(std::uint64_t start, std::uint64_t end);

// Keeps a sink advised on a data writer or eraser until Unadvise or the end
// of the scope, so an exception leaving the writer still unadvises it.
template <typename Format, typename Sink>
class AdvisedSink {
 public:
  AdvisedSink(std::shared_ptr<Format> format, std::shared_ptr<Sink> sink)
      : format_(std::move(format)) {
    if (format_ && platform::Succeeded(format_->Advise(sink, &cookie_))) {
      advised_ = true;
    }
  }
  ~AdvisedSink() { Unadvise(); }
  AdvisedSink(const AdvisedSink&) = delete;
  AdvisedSink& operator=(const AdvisedSink&) = delete;

  void Unadvise() {
    if (advised_) format_->Unadvise(cookie_);
    advised_ = false;
  }

 private:
  std::shared_ptr<Format> format_;
  std::uint32_t cookie_ = 0;
  bool advised_ = false;
};

}  // namespace tessaline::burn

#endif  // TESSALINE_BURN_DIAGNOSTICS_H_
