#include "creator/disc_size.h"

#include <limits>

namespace tessaline {
namespace {

constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();
constexpr std::int64_t kReserve = 0x1400000;

bool IsWhiteSpace(wchar_t c) { return c == L' ' || (c >= L'\t' && c <= L'\r'); }

}  // namespace

std::int64_t ReadSizeText(const std::wstring& text) {
  std::size_t i = 0;
  while (i < text.size() && IsWhiteSpace(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == L'+' || text[i] == L'-')) {
    negative = text[i] == L'-';
    ++i;
  }
  // Accumulated as a negative number, whose range holds every magnitude up
  // to the limit of either sign.
  std::int64_t value = 0;
  bool overflow = false;
  for (; i < text.size() && text[i] >= L'0' && text[i] <= L'9'; ++i) {
    const int digit = text[i] - L'0';
    if (value < (kMin + digit) / 10) {
      overflow = true;
    } else {
      value = value * 10 - digit;
    }
  }
  if (negative) return overflow ? kMin : value;
  return (overflow || value == kMin) ? kMax : -value;
}

std::int64_t BytesNeeded(const std::wstring& size) {
  const std::int64_t bytes = ReadSizeText(size);
  if (bytes <= 0) return kReserve;
  if (bytes > (kMax - kReserve) / 2) return kMax;
  return 2 * bytes + kReserve;
}

std::int32_t MegabytesNeeded(const std::wstring& size) {
  const std::int64_t bytes = ReadSizeText(size);
  if (bytes <= 0) return 20;
  // 2 * bytes / 1024 / 1024, rounded down, without forming 2 * bytes.
  const std::int64_t megabytes = bytes / (512 * 1024) + 20;
  constexpr std::int64_t kLimit = std::numeric_limits<std::int32_t>::max();
  return static_cast<std::int32_t>(megabytes > kLimit ? kLimit : megabytes);
}

}  // namespace tessaline
