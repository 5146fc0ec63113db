#include "platform/udf/cs0.h"

#include <algorithm>
#include <cstring>

#include "platform/text.h"

namespace tessaline::platform::udf {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

bool FitsEightBits(const std::u32string& text, std::size_t count) {
  return std::all_of(text.begin(), text.begin() + count,
                     [](char32_t c) { return c < 0x100; });
}

std::size_t Units(char32_t c) { return c >= 0x10000 ? 2 : 1; }

void PutUnit(std::uint8_t* out, char16_t unit) {
  out[0] = static_cast<std::uint8_t>(unit >> 8);
  out[1] = static_cast<std::uint8_t>(unit);
}

// Writes `count` characters of `text` in the given compression.
std::size_t Encode(const std::u32string& text, std::size_t count,
                   bool eight_bits, std::uint8_t* out) {
  if (count == 0) return 0;
  std::size_t size = 0;
  out[size++] = eight_bits ? 8 : 16;
  for (std::size_t i = 0; i < count; ++i) {
    const char32_t c = text[i];
    if (eight_bits) {
      out[size++] = static_cast<std::uint8_t>(c);
    } else if (c >= 0x10000) {
      PutUnit(out + size,
              static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10)));
      PutUnit(out + size + 2,
              static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF)));
      size += 4;
    } else {
      PutUnit(out + size, static_cast<char16_t>(c));
      size += 2;
    }
  }
  return size;
}

}  // namespace

std::u32string CodePoints(const std::wstring& text) {
  std::u32string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    char32_t c = static_cast<char32_t>(text[i]);
    if constexpr (sizeof(wchar_t) == 2) {
      if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size()) {
        const char32_t low = static_cast<char32_t>(text[i + 1]);
        if (low >= 0xDC00 && low <= 0xDFFF) {
          c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
          ++i;
        }
      }
    }
    if ((c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF) c = kReplacement;
    out.push_back(c);
  }
  return out;
}

std::u32string CodePointsOfUtf8(const std::string& text) {
  return CodePoints(FromUtf8(text));
}

std::size_t Cs0Size(const std::u32string& text) {
  if (text.empty()) return 0;
  if (FitsEightBits(text, text.size())) return 1 + text.size();
  std::size_t units = 0;
  for (char32_t c : text) units += Units(c);
  return 1 + 2 * units;
}

std::size_t EncodeCs0(const std::u32string& text, std::uint8_t* out) {
  return Encode(text, text.size(), FitsEightBits(text, text.size()), out);
}

void PutDstring(std::uint8_t* field, std::size_t field_size,
                const std::u32string& text) {
  std::memset(field, 0, field_size);
  const std::size_t room = field_size - 1;  // the last byte is the length
  std::size_t count = std::min(text.size(), room - 1);
  bool eight_bits = FitsEightBits(text, count);
  if (!eight_bits) {
    count = 0;
    for (std::size_t bytes = 1; count < text.size(); ++count) {
      bytes += 2 * Units(text[count]);
      if (bytes > room) break;
    }
  }
  const std::size_t size = Encode(text, count, eight_bits, field);
  field[field_size - 1] = static_cast<std::uint8_t>(size);
}

}  // namespace tessaline::platform::udf
