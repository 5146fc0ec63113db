// The host's text: UTF-8 on its side, the library's wide text on the other.
#ifndef TESSALINE_TOOLS_TESSALINE_HOST_TEXT_H_
#define TESSALINE_TOOLS_TESSALINE_HOST_TEXT_H_

#include <string>

namespace tessaline_cli {

// Wide text is UTF-16 where wchar_t has 16 bits, UTF-32 where it has 32.
// What cannot be converted becomes U+FFFD.
std::wstring Wide(const std::string& text);
std::string Narrow(const std::wstring& text);

}  // namespace tessaline_cli

#endif  // TESSALINE_TOOLS_TESSALINE_HOST_TEXT_H_
