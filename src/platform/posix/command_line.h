// Splitting of a Windows command line into arguments, so that the one
// command line the library builds for a child process reaches the child
// with the same arguments on POSIX as on Windows.
#ifndef TESSALINE_PLATFORM_POSIX_COMMAND_LINE_H_
#define TESSALINE_PLATFORM_POSIX_COMMAND_LINE_H_

#include <string>
#include <vector>

namespace tessaline::platform::posix {

// The arguments that CommandLineToArgvW gives for `command_line`, program
// name first:
// - the program name runs to the first blank, or, when it starts with a
//   double quote, to the next double quote; backslashes mean nothing in it;
// - the other arguments are separated by blanks (space, tab) outside
//   quotes; double quotes group; 2n backslashes before a double quote give
//   n backslashes and the quote groups, 2n+1 give n backslashes and a
//   literal quote; backslashes before anything else are literal; inside
//   quotes, "" gives one literal quote and ends the quoted part.
// An empty command line gives no arguments.
std::vector<std::wstring> SplitCommandLine(const std::wstring& command_line);

}  // namespace tessaline::platform::posix

#endif  // TESSALINE_PLATFORM_POSIX_COMMAND_LINE_H_
