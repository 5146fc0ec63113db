#include "burn/diagnostics.h"

#include <cstdarg>
#include <cstdio>
#include <vector>

namespace tessaline::burn {

std::string Format(const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list again;
  va_copy(again, args);
  int size = std::vsnprintf(nullptr, 0, format, args);
  va_end(args);
  std::string text;
  if (size > 0) {
    std::vector<char> buffer(static_cast<std::size_t>(size) + 1);
    std::vsnprintf(buffer.data(), buffer.size(), format, again);
    text.assign(buffer.data(), static_cast<std::size_t>(size));
  }
  va_end(again);
  return text;
}

void Say(const platform::Platform& platform, const std::string& text) {
  platform.console->Write(text);
}

std::string Hms(std::uint64_t start, std::uint64_t end) {
  ElapsedParts parts = SplitElapsed(start, end);
  return Format("%02d:%02d:%02d", parts.hours, parts.minutes, parts.seconds);
}

}  // namespace tessaline::burn
