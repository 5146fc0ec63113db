// Text conversions and formatting shared by the core. Pure C++.
#ifndef TESSALINE_PLATFORM_TEXT_H_
#define TESSALINE_PLATFORM_TEXT_H_

#include <cstdint>
#include <string>

namespace tessaline::platform {

// UTF-8 from wide text (UTF-16 where wchar_t has 16 bits, UTF-32 where it
// has 32). Invalid code units become U+FFFD.
std::string ToUtf8(const std::wstring& text);
// Wide text from UTF-8. Invalid sequences become U+FFFD.
std::wstring FromUtf8(const std::string& text);

// Appends one Unicode code point to wide text, as a surrogate pair where
// wchar_t has 16 bits.
void AppendCodePoint(std::wstring& out, char32_t c);

// Joins a folder and a name with one separator, whatever the folder ends
// with.
inline std::wstring JoinPath(const std::wstring& folder, wchar_t separator,
                             const std::wstring& name) {
  std::wstring path;
  path.reserve(folder.size() + 1 + name.size());
  path.append(folder).push_back(separator);
  path.append(name);
  return path;
}

}  // namespace tessaline::platform

#endif  // TESSALINE_PLATFORM_TEXT_H_
